// rdplaunch-name's commands: one table row each (its values, its options, its usage line
// and its handler), the parser of a command line that the table drives, and the answers.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rdplaunch {

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFileError = 3;
inline constexpr int kExitPublisherNotChecked = 4;

// A command's request: its values in order and its options. An option with a value maps
// to its value (--sign to its two), a flag to nothing.
struct Request {
  std::string command;
  std::vector<std::string> values;
  std::map<std::string, std::vector<std::string>> options;

  bool Has(std::string_view option) const { return options.contains(std::string(option)); }
  std::string Option(std::string_view option, std::size_t index = 0) const;
};

// What a command answers: its exit code, the JSON object that --json and batch mode
// print, the text it prints otherwise, and its error message for standard error.
struct Answer {
  int exitCode = kExitDone;
  std::string json;
  std::string text;
  std::string error;

  static Answer Failure(int exitCode, std::string_view message);
};

struct OptionRow {
  std::string_view name;
  int values;              // 0 for a flag; --sign takes 2
  std::string_view needs;  // another option that must be given with it, or empty
};

struct CommandRow {
  std::string_view name;
  std::vector<std::string_view> values;  // the names of its values, in order
  std::vector<OptionRow> options;
  std::string_view usage;  // the rest of its usage line, after the values
  std::string_view help;   // what it does
  Answer (*handler)(const Request& request);
};

std::span<const CommandRow> CommandTable();
const CommandRow* FindCommand(std::string_view name);

// The whole help text, and one command's usage line, from the table.
std::string HelpText();
std::string UsageLine(const CommandRow& command);

struct ParsedCommandLine {
  Request request;
  const CommandRow* command = nullptr;
  bool help = false;
  bool json = false;        // answer in JSON (--json among the command's options)
  bool jsonErrors = false;  // errors in JSON too: --json stood anywhere
  std::string error;        // wrong usage; never one of the arguments, which may be a password
};

// A command's values come first and are values whatever they start with ("--" may stand
// before them), then its options, each once.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Runs a parsed request: wrong usage is answered as such.
Answer RunCommand(const ParsedCommandLine& parsed);

}  // namespace rdplaunch
