// What an rdplaunch-name command answers, as one value, and the one place that renders it:
// as text for a person, or as the JSON object of --json and batch mode.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace rdplaunch {

// rdplaunch-name's exit codes, each with one meaning; the help and the README's table are
// these rows.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFileError = 3;
inline constexpr int kExitPublisherNotChecked = 4;
inline constexpr int kExitToolFailure = 5;
struct ExitCodeRow {
  int code;
  std::string_view meaning;
  std::string_view failure;  // a failure's "code" in JSON answers; none where the answer is no failure
};
inline constexpr ExitCodeRow kExitCodes[] = {
    {kExitDone, "done", {}},
    {kExitRefused,
     "refused: a value, a certificate or a signature the rules do not allow (or the launcher would ask not to "
     "rename the file)",
     "refused"},
    {kExitUsage, "wrong usage", "usage"},
    {kExitFileError, "a file could not be read or written, the answer or the help included", "file"},
    {kExitPublisherNotChecked, "(verify) a valid signature whose publisher was not checked", {}},
    {kExitToolFailure, "the tool failed inside: memory ran out, or a library failed", "internal"},
};

// One object of a list in an answer (a connection file's name and text), as text members.
using AnswerRecord = std::vector<std::pair<std::string, std::string>>;
using AnswerValue =
    std::variant<std::string, bool, long long, std::nullptr_t, std::vector<std::string>, std::vector<AnswerRecord>>;

// One part of an answer: a JSON member (key), a text line (label), or both. The renderer
// lines up the values of labelled lines; a sentence label stands as it is.
struct AnswerField {
  std::string key;
  std::string label;
  AnswerValue value;
  bool sentence = false;
};

// Every JSON answer says "ok"; a failure (an exit code with a failure code) says its
// "code" and, in "error", why.
struct Answer {
  int exitCode = kExitDone;
  std::string headline;  // the text's first line; none when empty
  std::vector<AnswerField> fields;
  std::string bytes;   // printed as they are after the text lines (a connection file)
  std::string error;   // for standard error; in JSON {"ok": false, "code": ..., "valid": false, "error": ...}
  std::string notice;  // one line for standard error beside a text answer: what the text leaves out
  std::optional<std::string> id;  // a batch request's own "id", given back first

  static Answer Failure(int exitCode, std::string_view message);
  // A refusal that still tells what it found: "reason" in text and JSON, and "error" in JSON.
  Answer& Refusal(std::string label, std::string reason);
  Answer& Json(std::string key, AnswerValue value);
  Answer& Text(std::string label, AnswerValue value);
  Answer& Both(std::string key, std::string label, AnswerValue value);
  Answer& Sentence(std::string key, std::string label, AnswerValue value);  // "label: value", not lined up
};

// The failure code of an exit code ("refused", "usage", "file", "internal"), or none.
std::string_view FailureCode(int exitCode);
std::string AnswerJson(const Answer& answer);
std::string AnswerText(const Answer& answer);

// Writes the answer: JSON on out, or text on out and its error on err. An answer that
// cannot be written, its error included, is exit code 3, whatever it said.
int Deliver(const Answer& answer, bool json, std::ostream& out, std::ostream& err);

}  // namespace rdplaunch
