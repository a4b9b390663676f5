// Composing the failure box text and the fallback text.
#include "failure/failure_text.h"

#include <array>

#include "name/launch_name.h"

namespace rdplaunch {

namespace {

struct IoMessage {
  std::int32_t code;
  const char* message;
};

// Codes are compared as plain numbers: Windows' 3 (path not found) reads
// "Invalid filename", and codes without an entry show their number.
constexpr std::array kIoMessages{
    IoMessage{2, "File not found"},
    IoMessage{3, "Invalid filename"},
    IoMessage{4, "Too many open files"},
    IoMessage{5, "File access denied"},
    IoMessage{100, "Read beyond end of file"},
    IoMessage{101, "Disk full"},
    IoMessage{106, "Invalid numeric input"},
};

// Appends what fits, leaving room for the terminating zero.
template <std::size_t Capacity>
void Append(char (&buffer)[Capacity], std::size_t& length, std::string_view piece) {
  for (const char c : piece) {
    if (length + 1 >= Capacity) break;
    buffer[length++] = c;
  }
  buffer[length] = '\0';
}

void HexDigits(std::uint32_t value, char (&digits)[9]) {
  constexpr char kHex[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i) {
    digits[i] = kHex[value & 0xF];
    value >>= 4;
  }
  digits[8] = '\0';
}

}  // namespace

std::string IoErrorMessage(std::int32_t code) {
  for (const IoMessage& entry : kIoMessages) {
    if (entry.code == code) return entry.message;
  }
  return "I/O error " + std::to_string(code);
}

// The file name part, cut where the launcher's parser cuts it (so that a name run from
// an alternate data stream is masked like any other), at most 260 characters.
void TakeModuleName(std::string_view modulePath, ModuleName& name) {
  name.length = 0;
  Append(name.bytes, name.length, FileNamePart(modulePath).substr(0, kModuleNameLimit));
}

// The launcher's own file name carries the user's password. Failure boxes end up in
// screenshots, so that field is shown as "***".
void MaskPasswordField(ModuleName& name) {
  const TextRange field = PasswordField(name.View());
  if (field.Empty()) return;
  char tail[sizeof name.bytes]{};
  std::size_t tailLength = 0;
  Append(tail, tailLength, name.View().substr(field.end));
  name.length = field.start;
  Append(name.bytes, name.length, kMaskedPassword);
  Append(name.bytes, name.length, std::string_view(tail, tailLength));
}

// "Exception <class> in module <module> at <offset>.\r\n<message><period>\r\n", cut to
// 1024 characters. The period is added only when the message lacks one.
void FormatFailureText(std::string_view className, std::string_view moduleName, std::uint32_t offset,
                       std::string_view message, FailureText& text) {
  char offsetDigits[9];
  HexDigits(offset, offsetDigits);
  const bool addPeriod = !message.empty() && message.back() != '.';
  text.length = 0;
  for (const std::string_view piece :
       {std::string_view("Exception "), className, std::string_view(" in module "), moduleName,
        std::string_view(" at "), std::string_view(offsetDigits), std::string_view(".\r\n"), message,
        std::string_view(addPeriod ? "." : ""), std::string_view("\r\n")}) {
    Append(text.bytes, text.length, piece);
  }
}

// The module is the one that holds the failure address; when none does, the failure is
// attributed to the launcher itself at the address minus the usual code start 0x1000.
void ComposeFailureText(Platform& platform, std::string_view className, std::string_view message,
                        std::uintptr_t address, FailureText& text) {
  ModulePath ownPath;
  std::uintptr_t ownBase = 0;
  platform.OwnModule(ownPath, ownBase);

  ModulePath modulePath;
  std::uintptr_t base = 0;
  std::uintptr_t offset = 0;
  bool isOwnModule = false;
  if (platform.ModuleContaining(address, modulePath, base) && modulePath.length > 0) {
    offset = address - base;
    isOwnModule = base == ownBase;
  } else {
    modulePath = ownPath;
    offset = address == 0 ? 0 : address - 0x1000;
    isOwnModule = true;
  }

  ModuleName name;
  TakeModuleName(modulePath.View(), name);
  if (isOwnModule) MaskPasswordField(name);
  FormatFailureText(className, name.View(), static_cast<std::uint32_t>(offset), message, text);
}

// The number stands right-aligned with its last digit at position 16, the address in
// eight uppercase hexadecimal digits with its last digit at position 28.
void FormatRuntimeErrorText(int number, std::uintptr_t address, RuntimeErrorText& text) {
  unsigned value = static_cast<unsigned>(number < 0 ? 0 : number) % 1000;
  int position = 16;
  do {
    text.bytes[position--] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && position >= 14);
  char digits[9];
  HexDigits(static_cast<std::uint32_t>(address), digits);
  for (int i = 0; i < 8; ++i) text.bytes[21 + i] = digits[i];
}

}  // namespace rdplaunch
