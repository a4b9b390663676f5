// rdplaunch-name: makes launcher names for the hosting service and tells support staff
// what the launcher would do with a given file. The commands are command_*.cpp, their table
// tool_commands.cpp, the command line's parser tool_parse.cpp, batch mode tool_batch.cpp.
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "hosting/tool_answer.h"
#include "hosting/tool_batch.h"
#include "hosting/tool_commands.h"
#include "hosting/tool_parse.h"

int main(int argc, char** argv) {
  using namespace rdplaunch;
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, answered by the exit code
  std::ios::sync_with_stdio(false);
  const ParsedCommandLine parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::cout << (parsed.command == nullptr ? HelpText() : CommandHelp(*parsed.command)) << std::flush;
    return std::cout ? kExitDone : kExitFileError;
  }
  if (parsed.command == nullptr && !parsed.batch && parsed.error.empty()) {  // no command at all
    std::cerr << HelpText() << std::flush;
    return std::cerr ? kExitUsage : kExitFileError;
  }
  if (parsed.batch && parsed.error.empty()) {
    const int exitCode = RunBatch(STDIN_FILENO, std::cout);
    if (exitCode != kExitDone) std::cerr << "rdplaunch-name: batch mode ended early\n" << std::flush;
    return exitCode;
  }
  const Answer answer = RunCommand(parsed);
  return Deliver(answer, parsed.json, std::cout, std::cerr);
}
