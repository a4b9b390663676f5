// Reading rdplaunch-name's command line by the command table, and running one request
// by its row: the one path every answer takes, from the command line and batch mode alike.
#pragma once

#include <string>
#include <vector>

#include "hosting/tool_answer.h"
#include "hosting/tool_commands.h"

namespace rdplaunch {

// What an option given without the option it needs says, or nothing: the same rule for
// the command line and batch requests.
std::string MissingNeed(const CommandRow& command, const Request& request);

struct ParsedCommandLine {
  Request request;
  const CommandRow* command = nullptr;
  bool help = false;
  bool batch = false;       // batch mode: requests come on standard input
  bool json = false;        // answer in JSON (--json among the command's options)
  bool jsonErrors = false;  // errors in JSON too: --json stood anywhere
  std::string error;        // wrong usage; never one of the arguments, which may be a password
};

// A command's values come first and are values whatever they start with ("--" may stand
// before them), then its options, each once.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Runs a request: wrong usage is answered as such, and so is a library's failure (out of
// memory included), so that no request ends the process.
Answer RunCommand(const ParsedCommandLine& parsed);
Answer RunRequest(const CommandRow& command, const Request& request);

}  // namespace rdplaunch
