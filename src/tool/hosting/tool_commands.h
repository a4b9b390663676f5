// rdplaunch-name's commands: one table row each, with its values and options as the command
// line and batch requests give them, what each option needs, its usage line, its help and
// its handler. Help, usage errors and both parsers (tool_parse.h, tool_batch.h) come from
// these rows.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hosting/tool_answer.h"

namespace rdplaunch {

// A command's request: its values in order and its options. An option with a value maps
// to its value (--sign to its two), a flag to nothing.
struct Request {
  std::string command;
  std::vector<std::string> values;
  std::map<std::string, std::vector<std::string>> options;

  bool Has(std::string_view option) const { return options.contains(std::string(option)); }
  std::string Option(std::string_view option, std::size_t index = 0) const;
};

// Every option's name, once: the rows declare them, the handlers read them by these.
inline constexpr std::string_view kJsonOption = "--json";
inline constexpr std::string_view kHeaderOption = "--header";
inline constexpr std::string_view kExeOption = "--exe";
inline constexpr std::string_view kOutOption = "--out";
inline constexpr std::string_view kShowPasswordOption = "--show-password";
inline constexpr std::string_view kSignOption = "--sign";  // CERT KEY
inline constexpr std::string_view kChainOption = "--chain";
inline constexpr std::string_view kKeyPasswordFileOption = "--key-password-file";
inline constexpr std::string_view kCertOption = "--cert";
inline constexpr std::string_view kKeyOption = "--key";

struct ValueRow {
  std::string_view name;   // on the command line's usage line
  std::string_view field;  // in a batch request
};

struct OptionRow {
  std::string_view name;
  int values;              // 0 for a flag; --sign takes 2
  std::string_view needs;  // another option that must be given with it, or empty
  std::string_view field;  // its field in a batch request (a flag is true or false); empty: none
  bool required = false;   // the command cannot do without it
};

struct CommandRow {
  std::string_view name;
  std::vector<ValueRow> values;
  std::vector<OptionRow> options;
  std::string_view usage;  // the rest of its usage line, after the values
  std::string_view help;   // what it does
  bool inBatch;            // batch mode takes it as a request
  Answer (*handler)(const Request& request);
};

std::span<const CommandRow> CommandTable();
const CommandRow* FindCommand(std::string_view name);
const OptionRow* FindOption(const CommandRow& command, std::string_view name);

// The whole help text, and one command's usage line, from the table.
std::string HelpText();
std::string UsageLine(const CommandRow& command);

}  // namespace rdplaunch
