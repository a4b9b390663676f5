// Code page 1251 text. The launcher's Russian texts are written readably in the
// UTF-8 source and turned into the code page 1251 bytes that Windows shows, at
// compile time ("Текст"_cp1251), so no hand-written byte escapes are needed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rdplaunch {

// Unicode code points of the bytes 0x80..0xFF; 0 marks the one unassigned byte (0x98).
inline constexpr char16_t kCp1251UpperHalf[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0: А..
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0: а..
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443,
    0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

inline constexpr char32_t kNotACodePoint = 0xFFFFFFFF;

// The code page 1251 byte of a code point, or nothing when the code page has none.
constexpr std::optional<unsigned char> Cp1251ByteOf(char32_t codePoint) {
  if (codePoint < 0x80) return static_cast<unsigned char>(codePoint);
  for (unsigned i = 0; i < 128; ++i) {
    if (kCp1251UpperHalf[i] != 0 && kCp1251UpperHalf[i] == codePoint) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

// Decodes the UTF-8 sequence at pos and moves pos past it; kNotACodePoint when it is
// malformed. An overlong form (0xC0 0xAF for '/'), a surrogate or a value past U+10FFFF
// is malformed too: each character has exactly one encoding, so no check on the decoded
// text can be slipped past.
constexpr char32_t NextUtf8CodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t codePoint = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    codePoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    codePoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    codePoint = lead & 0x07;
  } else {
    return kNotACodePoint;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size()) return kNotACodePoint;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80) return kNotACodePoint;
    codePoint = (codePoint << 6) | (next & 0x3F);
    ++pos;
  }
  constexpr char32_t kSmallestOfLength[] = {0, 0x80, 0x800, 0x10000};
  if (codePoint < kSmallestOfLength[extra] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return kNotACodePoint;
  }
  return codePoint;
}

// A string literal used as a template argument, so that its conversion happens once, at compile time.
template <std::size_t N>
struct Utf8Literal {
  char text[N]{};
  consteval Utf8Literal(const char (&literal)[N]) {  // NOLINT(google-explicit-constructor)
    for (std::size_t i = 0; i < N; ++i) text[i] = literal[i];
  }
};

template <std::size_t N>
struct Cp1251Bytes {
  char bytes[N]{};
  std::size_t size = 0;
};

template <Utf8Literal Source>
consteval auto ConvertLiteralToCp1251() {
  constexpr std::size_t kCapacity = sizeof(Source.text);
  Cp1251Bytes<kCapacity> result;
  const std::string_view text(Source.text, kCapacity - 1);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = Cp1251ByteOf(NextUtf8CodePoint(text, pos));
    if (!byte) throw "character has no code page 1251 byte";  // a compile error in a constant expression
    result.bytes[result.size++] = static_cast<char>(*byte);
  }
  return result;
}

template <Utf8Literal Source>
inline constexpr auto kCp1251Storage = ConvertLiteralToCp1251<Source>();

// "Удаленное подключение"_cp1251 is a std::string_view of the code page 1251 bytes.
template <Utf8Literal Source>
constexpr std::string_view operator""_cp1251() {
  return std::string_view(kCp1251Storage<Source>.bytes, kCp1251Storage<Source>.size);
}

// Run-time conversions, for tools and tests that deal with UTF-8 text.
std::optional<std::string> Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view bytes);

// UTF-16 little-endian bytes of code page 1251 text (the unassigned byte 0x98 becomes U+FFFD).
std::string Cp1251ToUtf16Le(std::string_view bytes);
// UTF-16LE text (without byte order mark) as UTF-8.
std::string Utf16LeToUtf8(std::string_view bytes);

}  // namespace rdplaunch
