// Run-time conversion between UTF-8 and code page 1251.
#include "text/cp1251.h"

namespace rdplaunch {

std::optional<std::string> Utf8ToCp1251(std::string_view utf8) {
  std::string result;
  result.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto byte = Cp1251ByteOf(NextUtf8CodePoint(utf8, pos));
    if (!byte) return std::nullopt;
    result.push_back(static_cast<char>(*byte));
  }
  return result;
}

namespace {

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

char16_t CodePointOf(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x80) return byte;
  const char16_t codePoint = kCp1251UpperHalf[byte - 0x80];
  return codePoint != 0 ? codePoint : 0xFFFD;
}

}  // namespace

// The unassigned byte 0x98 becomes U+FFFD, so that the result is always valid UTF-8.
std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string result;
  for (const char c : bytes) AppendUtf8(result, CodePointOf(c));
  return result;
}

std::string Cp1251ToUtf16Le(std::string_view bytes) {
  std::string result;
  result.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const char16_t codePoint = CodePointOf(c);
    result.push_back(static_cast<char>(codePoint & 0xFF));
    result.push_back(static_cast<char>(codePoint >> 8));
  }
  return result;
}

}  // namespace rdplaunch
