// The signed message of a connection file.
#include "signing/signed_message.h"

#include "rdpfile/connection_file.h"
#include "rdpfile/settings.h"
#include "rdpfile/signed_file.h"
#include "text/cp1251.h"

namespace rdplaunch {

SignedSettings SignedSettingsOf(const std::vector<std::string>& fileLines) {
  SignedSettings signedSettings;
  for (const Setting& setting : kSettings) {
    if (!setting.Secure()) continue;
    for (const std::string& line : fileLines) {
      if (!LineSets(line, setting)) continue;
      if (!signedSettings.scope.empty()) signedSettings.scope += ',';
      signedSettings.scope += setting.scopeName;
      signedSettings.lines.push_back(line);
      break;
    }
  }
  return signedSettings;
}

std::string SignedMessage(const SignedSettings& settings) {
  std::string message;
  for (const std::string& line : settings.lines) message += line + std::string(kLineEnd);
  message += std::string(kSignScopePrefix) + settings.scope + std::string(kLineEnd);
  std::string utf16 = Cp1251ToUtf16Le(message);
  utf16.append(2, '\0');
  return utf16;
}

}  // namespace rdplaunch
