// The text rdplaunch-name prints: printable UTF-8, JSON strings and objects, and launcher
// names with their password masked.
#pragma once

#include <string>
#include <string_view>

namespace rdplaunch {

// Valid UTF-8 for any bytes, safe on a terminal: a malformed byte and every C0 control
// (an escape sequence could retitle or rewrite the reader's terminal) show as the text
// \xHH; C1 controls, bidirectional controls, line and paragraph separators and the other
// format characters as \uXXXX.
std::string PrintableText(std::string_view bytes);

// A JSON string literal of any bytes: malformed bytes first become the text \xHH, so the
// answer is valid UTF-8.
std::string JsonString(std::string_view bytes);

// One JSON object, built member by member in order.
class JsonObject {
 public:
  JsonObject& Text(std::string_view key, std::string_view value);
  JsonObject& Bool(std::string_view key, bool value);
  JsonObject& Raw(std::string_view key, std::string_view json);  // an object or array made elsewhere
  std::string Json() const { return members_.empty() ? "{}" : "{" + members_ + "}"; }

 private:
  JsonObject& Member(std::string_view key, std::string_view json);
  std::string members_;
};

// A launcher name (or a path ending in one) with its password field, between the second
// and third '$', shown as "***", as the launcher's own failure box shows it.
std::string MaskedLaunchName(std::string_view name);

}  // namespace rdplaunch
