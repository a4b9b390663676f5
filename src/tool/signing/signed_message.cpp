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

std::string SignedMessageOfUtf16Le(std::span<const std::string> lines, std::string_view scope) {
  const std::string lineEnd = Cp1251ToUtf16Le(kLineEnd);
  std::string message;
  for (const std::string& line : lines) message.append(line).append(lineEnd);
  message.append(Cp1251ToUtf16Le(kSignScopePrefix)).append(scope).append(lineEnd);
  message.append(2, '\0');
  return message;
}

std::string SignedMessage(const SignedSettings& settings) {
  std::vector<std::string> lines;
  for (const std::string& line : settings.lines) lines.push_back(Cp1251ToUtf16Le(line));
  return SignedMessageOfUtf16Le(lines, Cp1251ToUtf16Le(settings.scope));
}

}  // namespace rdplaunch
