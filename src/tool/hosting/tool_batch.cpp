// Batch mode: a request line is read exactly (one JSON object of strings and booleans,
// each field once, no NUL), given to its command by the fields its rows name, and
// answered by the same handler as the command line, always in JSON.
#include "hosting/tool_batch.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>

#include "hosting/tool_commands.h"
#include "hosting/tool_parse.h"
#include "text/joined.h"

namespace rdplaunch {

namespace {

using Member = std::variant<std::string, bool>;

// The caller's own name for a request, given back in its answer.
constexpr std::string_view kIdField = "id";

// Nothing of a request is ever repeated in a message: a field is named only when it is one
// the command takes, never by a name it was given.
struct RequestReader : nlohmann::json::json_sax_t {
  std::map<std::string, Member> members;
  std::string error;
  std::string name;  // of the member whose value comes next
  int depth = 0;
  bool idRepeated = false;  // then no "id" is given back: the caller's and this reader's could differ

  bool Refuse(std::string why) {
    if (error.empty()) error = std::move(why);
    return false;
  }
  bool Value(Member value) {
    if (depth != 1) return Refuse("the request is not one JSON object in UTF-8");
    if (!members.emplace(name, std::move(value)).second) {
      idRepeated = idRepeated || name == kIdField;
      return Refuse("the request gives a field twice");
    }
    return true;
  }
  bool null() override { return Refuse("a field of the request is null"); }
  bool boolean(bool value) override { return Value(value); }
  bool number_integer(number_integer_t) override { return Refuse("a field of the request is a number"); }
  bool number_unsigned(number_unsigned_t) override { return Refuse("a field of the request is a number"); }
  bool number_float(number_float_t, const string_t&) override { return Refuse("a field of the request is a number"); }
  bool string(string_t& value) override {
    if (value.find('\0') != std::string::npos) return Refuse("the request holds a NUL character");
    return Value(std::move(value));
  }
  bool binary(binary_t&) override { return Refuse("the request is not one JSON object in UTF-8"); }
  bool start_object(std::size_t) override { return ++depth == 1 || Refuse("a field of the request is an object"); }
  bool key(string_t& given) override {
    if (given.find('\0') != std::string::npos) return Refuse("the request holds a NUL character");
    name = std::move(given);
    return true;
  }
  bool end_object() override { return --depth >= 0; }
  bool start_array(std::size_t) override { return Refuse("a field of the request is an array"); }
  bool end_array() override { return false; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return Refuse("the request is not one JSON object in UTF-8");
  }
};

Answer Refused(std::string_view why) { return Answer::Failure(kExitUsage, why); }

// A field's name in quotes.
std::string Quoted(std::string_view field) { return Joined({"\"", field, "\""}); }

// What a command's rows make of the members: its values from their fields in order, its
// options from theirs; any other member is refused.
std::variant<Given, Answer> GivenBy(const CommandRow& command, std::map<std::string, Member>& members) {
  Given given;
  for (const Parameter& value : command.values) {
    const auto found = members.find(std::string(value.field));
    if (found == members.end()) return Refused("the request has no " + Quoted(value.field));
    std::string* text = std::get_if<std::string>(&found->second);
    if (text == nullptr) return Refused(Quoted(value.field) + " must be a string");
    given.push_back({&value, {std::move(*text)}});
    members.erase(found);
  }
  for (const Parameter& option : command.options) {
    const auto found = option.field.empty() ? members.end() : members.find(std::string(option.field));
    if (found == members.end()) continue;
    const std::string field = Quoted(option.field);
    if (option.count == 0) {
      const bool* flag = std::get_if<bool>(&found->second);
      if (flag == nullptr) return Refused(field + " is true or false");
      if (*flag) given.push_back({&option, {}});
    } else {
      std::string* text = std::get_if<std::string>(&found->second);
      if (text == nullptr || text->empty()) return Refused(field + " must be a string that is not empty");
      given.push_back({&option, {std::move(*text)}});
    }
    members.erase(found);
  }
  if (!members.empty()) return Refused("the request has a field that " + std::string(command.name) + " does not take");
  if (std::string missing = MissingNeed(command, given); !missing.empty()) return Refused(missing);
  return given;
}

Answer OverlongAnswer() { return Refused("the request is longer than " + std::to_string(kMaxRequestBytes) + " bytes"); }

// The answer to a request as the reader took it, whose "id" is already taken out.
Answer AnswerMembers(RequestReader& reader) {
  if (!reader.error.empty()) return Refused(reader.error);
  const auto command = reader.members.find("command");
  const std::string* name = command == reader.members.end() ? nullptr : std::get_if<std::string>(&command->second);
  if (name == nullptr) return Refused("the request has no \"command\" string");
  const CommandRow* row = FindCommand(*name);
  if (row == nullptr || !row->inBatch) {
    std::string commands;
    for (const CommandRow* c : CommandTable()) {
      if (c->inBatch) commands += (commands.empty() ? "\"" : " or \"") + std::string(c->name) + "\"";
    }
    return Refused("the command of a request is " + commands);
  }
  reader.members.erase(command);
  auto given = GivenBy(*row, reader.members);
  if (Answer* refused = std::get_if<Answer>(&given)) return std::move(*refused);
  return RunRequest(*row, std::get<Given>(given));
}

}  // namespace

Answer AnswerRequest(std::string_view line) {
  if (line.size() > kMaxRequestBytes) return OverlongAnswer();
  // The JSON library would take a raw NUL for the end of its input, and would skip a byte
  // order mark that a caller's own JSON reader refuses: both would read another request.
  if (line.find('\0') != std::string_view::npos) return Refused("the request holds a NUL character");
  if (line.starts_with("\xEF\xBB\xBF")) return Refused("the request starts with a byte order mark");
  RequestReader reader;
  nlohmann::json::sax_parse(line, &reader);
  // The id goes back with any answer, a refusal included, whenever it was read as one string.
  std::optional<std::string> id;
  if (const auto found = reader.members.find(std::string(kIdField)); found != reader.members.end()) {
    std::string* text = std::get_if<std::string>(&found->second);
    if (text == nullptr) return Refused("\"id\" must be a string");
    if (!reader.idRepeated) id = std::move(*text);
    reader.members.erase(found);
  }
  Answer answer = AnswerMembers(reader);
  answer.id = std::move(id);
  return answer;
}

// A line is read a piece at a time, so an overlong one is skipped without being held. A
// failure to read is not the end of the input: it is said, and the exit code is 3.
int RunBatch(int input, std::ostream& out) {
  std::string line;
  bool overlong = false;
  const auto answer = [&](const Answer& a) {
    out << AnswerJson(a) << '\n' << std::flush;
    return static_cast<bool>(out);
  };
  const auto answerLine = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const Answer reply = overlong ? OverlongAnswer() : AnswerRequest(line);
    std::fill(line.begin(), line.end(), '\0');  // it may hold a password
    line.clear();
    overlong = false;
    return answer(reply);
  };
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(input, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      answer(Answer::Failure(kExitFileError, std::string("cannot read standard input: ") + std::strerror(errno)));
      return kExitFileError;
    }
    if (count == 0) break;
    for (ssize_t i = 0; i < count; ++i) {
      const char c = buffer[i];
      if (c != '\n') {
        if (line.size() <= kMaxRequestBytes) {  // one more: a CR before the line end
          line += c;
        } else {
          overlong = true;
        }
      } else if (!answerLine()) {
        return kExitFileError;
      }
    }
  }
  std::fill(buffer, buffer + sizeof buffer, '\0');
  if ((!line.empty() || overlong) && !answerLine()) return kExitFileError;
  return kExitDone;
}

}  // namespace rdplaunch
