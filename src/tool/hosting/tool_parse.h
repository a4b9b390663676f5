// Reading rdplaunch-name's command line by the commands' rows, and running one request:
// the one path every answer takes, from the command line and batch mode alike.
#pragma once

#include <string>
#include <vector>

#include "hosting/tool_answer.h"
#include "hosting/tool_commands.h"

namespace rdplaunch {

// What an option given without the option it needs, or a command without a required one,
// says, or nothing: the same rule for the command line and batch requests.
std::string MissingNeed(const CommandRow& command, const Given& given);

struct ParsedCommandLine {
  const CommandRow* command = nullptr;
  Given given;
  bool help = false;
  bool batch = false;  // batch mode: requests come on standard input
  bool json = false;   // the output format: JSON, for the answer and its errors alike
  std::string error;   // wrong usage; never one of the arguments, which may be a password
};

// A command's values come first and are values whatever they start with ("--" may stand
// before them), then its options, each once.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Runs a request: wrong usage is answered as such, and so is a library's failure (out of
// memory included), so that no request ends the process.
Answer RunCommand(const ParsedCommandLine& parsed);
Answer RunRequest(const CommandRow& command, const Given& given);

}  // namespace rdplaunch
