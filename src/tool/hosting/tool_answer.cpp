// Rendering rdplaunch-name's answers.
#include "hosting/tool_answer.h"

#include <algorithm>

#include "hosting/tool_text.h"

namespace rdplaunch {

Answer Answer::Failure(int exitCode, std::string_view message) {
  Answer answer;
  answer.exitCode = exitCode;
  answer.error = message;
  return answer;
}

Answer& Answer::Refusal(std::string label, std::string reason) {
  exitCode = kExitRefused;
  Json("error", reason);
  return Sentence("reason", std::move(label), std::move(reason));
}

Answer& Answer::Json(std::string key, AnswerValue value) { return Both(std::move(key), {}, std::move(value)); }
Answer& Answer::Text(std::string label, AnswerValue value) { return Both({}, std::move(label), std::move(value)); }
Answer& Answer::Both(std::string key, std::string label, AnswerValue value) {
  fields.push_back({std::move(key), std::move(label), std::move(value), false});
  return *this;
}
Answer& Answer::Sentence(std::string key, std::string label, AnswerValue value) {
  fields.push_back({std::move(key), std::move(label), std::move(value), true});
  return *this;
}

namespace {

std::string JsonOf(const AnswerValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return JsonString(*text);
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
  if (const auto* number = std::get_if<long long>(&value)) return std::to_string(*number);
  if (const auto* records = std::get_if<std::vector<AnswerRecord>>(&value)) {
    std::string json;
    for (const AnswerRecord& record : *records) {
      JsonObject object;
      for (const auto& [key, text] : record) object.Text(key, text);
      json += (json.empty() ? "" : ", ") + object.Json();
    }
    return "[" + json + "]";
  }
  if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
    std::string json;
    for (const std::string& item : *list) json += (json.empty() ? "" : ", ") + JsonString(item);
    return "[" + json + "]";
  }
  return "null";
}

std::string TextOf(const AnswerValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return PrintableText(*text);
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "yes" : "no";
  if (const auto* number = std::get_if<long long>(&value)) return std::to_string(*number);
  if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
    std::string text;
    for (const std::string& item : *list) text += (text.empty() ? "" : ", ") + PrintableText(item);
    return text.empty() ? "nothing" : text;
  }
  return "none";
}

}  // namespace

std::string_view FailureCode(int exitCode) {
  for (const ExitCodeRow& row : kExitCodes) {
    if (row.code == exitCode) return row.failure;
  }
  return "internal";
}

std::string AnswerJson(const Answer& answer) {
  JsonObject json;
  if (answer.id) json.Text("id", *answer.id);
  const std::string_view failure = FailureCode(answer.exitCode);
  json.Bool("ok", failure.empty());
  if (!failure.empty()) json.Text("code", std::string(failure));
  if (!answer.error.empty()) return json.Bool("valid", false).Text("error", answer.error).Json();
  for (const AnswerField& field : answer.fields) {
    if (!field.key.empty()) json.Raw(field.key, JsonOf(field.value));
  }
  return json.Json();
}

// Labelled lines show their values in one column, one space after the longest label.
std::string AnswerText(const Answer& answer) {
  std::size_t width = 0;
  for (const AnswerField& field : answer.fields) {
    if (!field.sentence) width = std::max(width, field.label.size());
  }
  std::string text = answer.headline.empty() ? "" : PrintableText(answer.headline) + "\n";
  for (const AnswerField& field : answer.fields) {
    if (field.label.empty()) continue;
    const std::string padding = field.sentence ? " " : std::string(width - field.label.size() + 1, ' ');
    text += field.label + ":" + padding + TextOf(field.value) + "\n";
  }
  return text + answer.bytes;
}

int Deliver(const Answer& answer, bool json, std::ostream& out, std::ostream& err) {
  if (json) {
    out << AnswerJson(answer) << '\n';
  } else {
    out << AnswerText(answer);
    for (const std::string* message : {&answer.notice, &answer.error}) {
      if (!message->empty()) err << "rdplaunch-name: " << PrintableText(*message) << '\n' << std::flush;
    }
  }
  out.flush();
  if (!out) err << "rdplaunch-name: cannot write the answer to standard output\n" << std::flush;
  return out && err ? answer.exitCode : kExitFileError;
}

}  // namespace rdplaunch
