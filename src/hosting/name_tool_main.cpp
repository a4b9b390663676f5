// rdplaunch-name: makes launcher names for the hosting service and tells support staff
// what the launcher would do with a given file. The commands are in tool_commands.cpp.
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "hosting/tool_batch.h"
#include "hosting/tool_commands.h"
#include "hosting/tool_text.h"

namespace {

// Prints an answer as --json or the command asked; an answer that cannot be written (a
// full disk, a closed pipe) is a failure too.
int Emit(const rdplaunch::ParsedCommandLine& parsed, const rdplaunch::Answer& answer) {
  if (parsed.json || (parsed.jsonErrors && !answer.error.empty())) {
    std::cout << answer.json << '\n';
  } else {
    std::cout << answer.text;
    if (!answer.error.empty()) std::cerr << "rdplaunch-name: " << rdplaunch::PrintableText(answer.error) << '\n';
  }
  std::cout.flush();
  if (std::cout) return answer.exitCode;
  std::cerr << "rdplaunch-name: cannot write the answer to standard output\n";
  return answer.exitCode != rdplaunch::kExitDone ? answer.exitCode : rdplaunch::kExitFileError;
}

}  // namespace

// A library error reported by exception ends like any other: a message and exit code 3,
// never an abort.
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
  try {
    if (parsed.error.empty() && parsed.command->name == "batch") return rdplaunch::RunBatch(std::cin, std::cout);
    return Emit(parsed, rdplaunch::RunCommand(parsed));
  } catch (const std::exception& failure) {
    return Emit(parsed, rdplaunch::Answer::Failure(rdplaunch::kExitFileError, failure.what()));
  }
}
