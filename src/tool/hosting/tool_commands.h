// rdplaunch-name's commands: one table row each, with its values and options as the command
// line and batch requests give them, what each option needs, its usage line, its help and
// its handler. Help, usage errors and both parsers come from these rows.
#pragma once

#include <iosfwd>
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

// Where a handler reads further input (batch mode) and writes answers of its own.
struct ToolStreams {
  int input;  // a file descriptor
  std::ostream& out;
};

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
  Answer (*handler)(const Request& request, ToolStreams& streams);
};

std::span<const CommandRow> CommandTable();
const CommandRow* FindCommand(std::string_view name);
const OptionRow* FindOption(const CommandRow& command, std::string_view name);

// The whole help text, and one command's usage line, from the table.
std::string HelpText();
std::string UsageLine(const CommandRow& command);

// What an option given without the option it needs says, or nothing: the same rule for
// the command line and batch requests.
std::string MissingNeed(const CommandRow& command, const Request& request);

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

// Runs a request: wrong usage is answered as such, and so is a library's failure (out of
// memory included), so that no request ends the process.
Answer RunCommand(const ParsedCommandLine& parsed, ToolStreams& streams);
Answer RunRequest(const CommandRow& command, const Request& request, ToolStreams& streams);

}  // namespace rdplaunch
