// What an rdplaunch-name command answers, as one value, and the one place that renders it:
// as text for a person, or as the JSON object of --json and batch mode.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rdplaunch {

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFileError = 3;
inline constexpr int kExitPublisherNotChecked = 4;

// A JSON value made elsewhere (an array of objects).
struct RawJson {
  std::string json;
};
using AnswerValue = std::variant<std::string, bool, long long, std::nullptr_t, std::vector<std::string>, RawJson>;

// One part of an answer: a JSON member (key), a text line (label, which holds its own
// padding), or both.
struct AnswerField {
  std::string key;
  std::string label;
  AnswerValue value;
};

struct Answer {
  int exitCode = kExitDone;
  std::string headline;  // the text's first line; none when empty
  std::vector<AnswerField> fields;
  std::string bytes;  // printed as they are after the text lines (a connection file)
  std::string error;  // for standard error; in JSON {"valid": false, "error": ...}

  static Answer Failure(int exitCode, std::string_view message);
  Answer& Json(std::string key, AnswerValue value);
  Answer& Text(std::string label, AnswerValue value);
  Answer& Both(std::string key, std::string label, AnswerValue value);
};

std::string AnswerJson(const Answer& answer);
std::string AnswerText(const Answer& answer);

// Writes the answer: JSON on out, or text on out and its error on err. An answer that
// cannot be written, its error included, is exit code 3, whatever it said.
int Deliver(const Answer& answer, bool json, std::ostream& out, std::ostream& err);

}  // namespace rdplaunch
