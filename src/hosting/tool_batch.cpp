// Batch mode: requests are read with a JSON library, turned into the same requests the
// command line gives, and answered by the same handlers.
#include "hosting/tool_batch.h"

#include <nlohmann/json.hpp>

#include <string>

namespace rdplaunch {

namespace {

// The fields of each command's request, the command line's value or option each gives,
// and whether it must be there. Nothing of a request is ever echoed: a field name that is
// not listed is reported as such, never by its name.
struct Field {
  std::string_view name;
  std::string_view option;  // empty: the next value
  bool required;
  bool flag;  // true or false instead of a string
};

struct BatchCommand {
  std::string_view name;
  std::vector<Field> fields;
};

const BatchCommand kBatchCommands[] = {
    {"make",
     {{"key", {}, true, false},
      {"user", {}, true, false},
      {"password", {}, true, false},
      {"exe", "--exe", false, false},
      {"out", "--out", false, false}}},
    {"check", {{"name", {}, true, false}, {"show_password", "--show-password", false, true}}},
};

}  // namespace

namespace {

Answer OverlongAnswer() {
  return Answer::Failure(kExitUsage, "the request is longer than " + std::to_string(kMaxRequestBytes) + " bytes");
}

}  // namespace

Answer AnswerRequest(std::string_view line) {
  if (line.size() > kMaxRequestBytes) return OverlongAnswer();
  const nlohmann::json request = nlohmann::json::parse(line, nullptr, false);
  if (!request.is_object()) return Answer::Failure(kExitUsage, "the request is not one JSON object in UTF-8");
  const auto command = request.find("command");
  if (command == request.end() || !command->is_string()) {
    return Answer::Failure(kExitUsage, "the request has no \"command\" string");
  }
  const BatchCommand* batch = nullptr;
  for (const BatchCommand& c : kBatchCommands) {
    if (command->get_ref<const std::string&>() == c.name) batch = &c;
  }
  if (batch == nullptr) return Answer::Failure(kExitUsage, "the command of a request is \"make\" or \"check\"");

  std::vector<std::string> arguments{std::string(batch->name)};
  std::vector<std::string> options{"--json"};
  std::size_t known = 1;
  for (const Field& field : batch->fields) {
    const auto value = request.find(field.name);
    const std::string name(field.name);
    if (value == request.end()) {
      if (field.required) return Answer::Failure(kExitUsage, "the request has no \"" + name + "\"");
      continue;
    }
    ++known;
    if (field.flag) {
      if (!value->is_boolean()) return Answer::Failure(kExitUsage, "\"" + name + "\" is true or false");
      if (value->get<bool>()) options.emplace_back(field.option);
      continue;
    }
    if (!value->is_string()) return Answer::Failure(kExitUsage, "\"" + name + "\" must be a string");
    if (field.option.empty()) {
      arguments.push_back(value->get<std::string>());
    } else {
      options.emplace_back(field.option);
      options.push_back(value->get<std::string>());
    }
  }
  if (known != request.size()) {
    return Answer::Failure(kExitUsage, "the request has a field that " + std::string(batch->name) + " does not take");
  }
  // The values go first, after "--", so that they stay values whatever they start with.
  arguments.insert(arguments.begin() + 1, "--");
  arguments.insert(arguments.end(), options.begin(), options.end());
  ParsedCommandLine parsed = ParseCommandLine(arguments);
  return RunCommand(parsed);
}

// A line is read a piece at a time, so an overlong one is skipped without being held.
int RunBatch(std::istream& in, std::ostream& out) {
  std::string line;
  bool overlong = false;
  const auto answerLine = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const Answer answer = overlong ? OverlongAnswer() : AnswerRequest(line);
    std::fill(line.begin(), line.end(), '\0');  // it may hold a password
    line.clear();
    overlong = false;
    out << answer.json << '\n' << std::flush;
    return static_cast<bool>(out);
  };
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    if (c != '\n') {
      if (line.size() <= kMaxRequestBytes) {  // one more: a CR before the line end
        line += static_cast<char>(c);
      } else {
        overlong = true;
      }
    } else if (!answerLine()) {
      return kExitFileError;
    }
  }
  if ((!line.empty() || overlong) && !answerLine()) return kExitFileError;
  return kExitDone;
}

}  // namespace rdplaunch
