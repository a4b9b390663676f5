// Printable and JSON text for rdplaunch-name's answers.
#include "hosting/tool_text.h"

#include <unicode/uchar.h>

#include <cstdio>

#include "name/launch_name.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

std::string Escaped(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Calls piece(bytes, codePoint) for each well-formed character and malformed(byte) for
// each byte that is not part of one.
template <typename Piece, typename Malformed>
void ForEachCharacter(std::string_view bytes, Piece piece, Malformed malformed) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t start = pos;
    const char32_t codePoint = NextUtf8CodePoint(bytes, pos);
    if (codePoint == kNotACodePoint) {
      malformed(static_cast<unsigned char>(bytes[start]));
      pos = start + 1;
    } else {
      piece(bytes.substr(start, pos - start), codePoint);
    }
  }
}

// Characters that change how the rest of a line shows (bidirectional overrides and marks,
// which can make a terminal show another name) or that show as nothing: C0 and C1
// controls, the line and paragraph separators, every format character (general category
// Cf) and every default-ignorable code point (fillers, variation selectors, the combining
// grapheme joiner) of the Unicode version ICU carries, not a list kept by hand.
bool IsInvisibleOrControl(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) return true;
  const auto codePoint = static_cast<UChar32>(c);
  return u_charType(codePoint) == U_FORMAT_CHAR || u_hasBinaryProperty(codePoint, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

// \uXXXX, or a surrogate pair of them beyond the first plane (as JSON writes it).
std::string UnicodeEscape(char32_t c) {
  if (c < 0x10000) return Escaped("\\u%04X", static_cast<unsigned>(c));
  const char32_t v = c - 0x10000;
  return Escaped("\\u%04X", static_cast<unsigned>(0xD800 + (v >> 10))) +
         Escaped("\\u%04X", static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
}

}  // namespace

std::string PrintableText(std::string_view bytes) {
  std::string out;
  ForEachCharacter(
      bytes,
      [&](std::string_view piece, char32_t codePoint) {
        if (codePoint < 0x20 || codePoint == 0x7F) {
          out += Escaped("\\x%02X", static_cast<unsigned>(codePoint));
        } else if (IsInvisibleOrControl(codePoint)) {
          out += UnicodeEscape(codePoint);
        } else {
          out += piece;
        }
      },
      [&](unsigned char byte) { out += Escaped("\\x%02X", byte); });
  return out;
}

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  ForEachCharacter(
      bytes,
      [&](std::string_view piece, char32_t codePoint) {
        if (codePoint == '"' || codePoint == '\\') {
          out += '\\';
          out += piece;
        } else if (codePoint < 0x20 || codePoint == 0x7F) {
          out += Escaped("\\u%04x", static_cast<unsigned>(codePoint));
        } else if (IsInvisibleOrControl(codePoint)) {
          out += UnicodeEscape(codePoint);  // the same text to a JSON reader, and visible as it is
        } else {
          out += piece;
        }
      },
      [&](unsigned char byte) { out += Escaped("\\\\x%02X", byte); });
  return out + "\"";
}

JsonObject& JsonObject::Member(std::string_view key, std::string_view json) {
  if (!members_.empty()) members_ += ", ";
  members_ += JsonString(key) + ": ";
  members_ += json;
  return *this;
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value) { return Member(key, JsonString(value)); }
JsonObject& JsonObject::Bool(std::string_view key, bool value) { return Member(key, value ? "true" : "false"); }
JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) { return Member(key, json); }

std::string MaskedLaunchName(std::string_view path) {
  const TextRange field = PasswordField(path);
  if (field.Empty()) return std::string(path);
  return std::string(path.substr(0, field.start)) + std::string(kMaskedPassword) + std::string(path.substr(field.end));
}

}  // namespace rdplaunch
