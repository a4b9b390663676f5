// Printable and JSON text for rdplaunch-name's answers.
#include "hosting/tool_text.h"

#include <cstdio>

#include "text/cp1251.h"

namespace rdplaunch {

namespace {

std::string Escaped(const char* format, unsigned value) {
  char text[8];
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

}  // namespace

std::string PrintableText(std::string_view bytes) {
  std::string out;
  ForEachCharacter(
      bytes,
      [&](std::string_view piece, char32_t codePoint) {
        if (codePoint < 0x20 || codePoint == 0x7F) {
          out += Escaped("\\x%02X", static_cast<unsigned>(codePoint));
        } else if (codePoint >= 0x80 && codePoint < 0xA0) {
          out += Escaped("\\u%04X", static_cast<unsigned>(codePoint));
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
JsonObject& JsonObject::Number(std::string_view key, long long value) { return Member(key, std::to_string(value)); }
JsonObject& JsonObject::Null(std::string_view key) { return Member(key, "null"); }
JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) { return Member(key, json); }

// The same fields the launcher parses: a name without a second '$' has no password field,
// one without a third has it up to its end.
std::string MaskedLaunchName(std::string_view name) {
  const std::size_t folderEnd = name.find_last_of('/');
  const std::size_t nameStart = folderEnd == std::string_view::npos ? 0 : folderEnd + 1;
  const std::size_t first = name.find('$', nameStart);
  if (first == std::string_view::npos) return std::string(name);
  const std::size_t second = name.find('$', first + 1);
  if (second == std::string_view::npos) return std::string(name);
  const std::size_t third = name.find('$', second + 1);
  return std::string(name.substr(0, second + 1)) + "***" +
         std::string(third == std::string_view::npos ? std::string_view() : name.substr(third));
}

}  // namespace rdplaunch
