// The launcher's box texts, written readably and turned into code page 1251 at compile time.
#include "launch/texts.h"

#include "text/cp1251.h"

namespace rdplaunch {

std::string_view BoxCaption() { return "Удаленное подключение"_cp1251; }

// Line feed before carriage return, exactly as the hosting service's users know it.
std::string_view RenameMessage() { return "Пожалуйста не переименовывайте файл!\n\rСкачайте файл заново."_cp1251; }

std::string CredentialsMessage(std::string_view userName, std::string_view password) {
  constexpr std::string_view kBeforeUserName = "Для подключения используйте имя пользователя - "_cp1251;
  constexpr std::string_view kBeforePassword = " и пароль "_cp1251;
  std::string message(kBeforeUserName);
  message += userName;
  message += kBeforePassword;
  message += password;
  return message;
}

}  // namespace rdplaunch
