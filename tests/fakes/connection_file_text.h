// What the tests of signed connection files need of their text: UTF-16LE as the file holds
// it, and lines put in where a tampered file would carry them.
#pragma once

#include <string>
#include <string_view>

#include "text/cp1251.h"

namespace rdplaunch::testing {

// Code page 1251 text as a UTF-16LE connection file holds it.
inline std::string Utf16(std::string_view cp1251) { return Cp1251ToUtf16Le(cp1251); }

// The file with lines put in before its signscope line.
inline std::string InsertedBeforeScope(const std::string& file, std::string_view lines) {
  const std::size_t scope = file.find(Utf16("signscope:s:"));
  return file.substr(0, scope) + Utf16(lines) + file.substr(scope);
}

}  // namespace rdplaunch::testing
