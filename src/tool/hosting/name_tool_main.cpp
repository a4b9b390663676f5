// rdplaunch-name: makes launcher names for the hosting service and tells support staff
// what the launcher would do with a given file. The commands are in tool_commands.cpp.
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "hosting/tool_answer.h"
#include "hosting/tool_commands.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, answered by the exit code
  std::ios::sync_with_stdio(false);
  const rdplaunch::ParsedCommandLine parsed =
      rdplaunch::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.help) {
    std::cout << rdplaunch::HelpText() << std::flush;
    return std::cout ? rdplaunch::kExitDone : rdplaunch::kExitFileError;
  }
  if (parsed.command == nullptr && parsed.error.empty()) {
    std::cerr << rdplaunch::HelpText();
    return rdplaunch::kExitUsage;
  }
  rdplaunch::ToolStreams streams{STDIN_FILENO, std::cout};
  const rdplaunch::Answer answer = rdplaunch::RunCommand(parsed, streams);
  return rdplaunch::Deliver(answer, parsed.json || (parsed.jsonErrors && !answer.error.empty()), std::cout, std::cerr);
}
