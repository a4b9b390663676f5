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
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
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

// A surrogate without its pair, or an odd last byte, becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string result;
  const auto unitAt = [&](std::size_t i) -> char32_t {
    return static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
  };
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size() && unitAt(i + 2) >= 0xDC00 && unitAt(i + 2) < 0xE000) {
      AppendUtf8(result, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00));
      i += 2;
    } else {
      AppendUtf8(result, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
  }
  if (i < bytes.size()) AppendUtf8(result, 0xFFFD);
  return result;
}

}  // namespace rdplaunch
