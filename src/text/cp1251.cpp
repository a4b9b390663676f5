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

}  // namespace

// The unassigned byte 0x98 becomes U+FFFD, so that the result is always valid UTF-8.
std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string result;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      result.push_back(c);
    } else {
      const char16_t codePoint = kCp1251UpperHalf[byte - 0x80];
      AppendUtf8(result, codePoint != 0 ? codePoint : 0xFFFD);
    }
  }
  return result;
}

}  // namespace rdplaunch
