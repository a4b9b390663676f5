// Parsing rdplaunch-name's command line by the commands' rows, and running a request.
#include "hosting/tool_parse.h"

#include <algorithm>
#include <exception>
#include <new>

namespace rdplaunch {

namespace {

bool Gives(const Given& given, std::string_view name) {
  return std::any_of(given.begin(), given.end(), [&](const auto& g) { return g.first->name == name; });
}

}  // namespace

// The output format is decided here alone: JSON when --json stands among the options, and
// for a command line that cannot be read that far, when it stands anywhere after the
// command, so that a caller that asked for JSON gets its usage error as JSON too.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  if (arguments.empty()) return parsed;
  if (arguments[0] == "--help" || arguments[0] == "-h") {
    parsed.help = true;
    return parsed;
  }
  if (arguments[0] == "batch") {
    parsed.batch = true;
    if (arguments.size() > 1) parsed.error = "batch takes no arguments: its requests come on standard input";
    return parsed;
  }
  parsed.command = FindCommand(arguments[0]);
  if (parsed.command == nullptr) {
    parsed.error = "no such command";
    return parsed;
  }
  const CommandRow& command = *parsed.command;
  const auto fail = [&](std::string error) {
    parsed.error = std::move(error);
    parsed.json = std::find(arguments.begin() + 1, arguments.end(), kJsonOption) != arguments.end();
    return parsed;
  };
  std::size_t i = 1;
  if (i < arguments.size() && arguments[i] == "--") ++i;
  for (const Parameter& value : command.values) {
    if (i >= arguments.size()) return fail("wrong usage: " + UsageLine(command));
    parsed.given.push_back({&value, {arguments[i++]}});
  }
  for (; i < arguments.size(); ++i) {
    const std::string position = "argument " + std::to_string(i + 1);
    if (arguments[i] == kJsonOption) {
      if (parsed.json) return fail(position + " gives " + std::string(kJsonOption) + " a second time");
      parsed.json = true;
      continue;
    }
    const Parameter* option = FindOption(command, arguments[i]);
    if (option == nullptr) return fail(position + " is not an option of " + std::string(command.name));
    const std::string name(option->name);
    if (Gives(parsed.given, name)) return fail(position + " gives " + name + " a second time");
    std::vector<std::string> values;
    for (int v = 0; v < option->count; ++v) {
      if (++i >= arguments.size() || arguments[i].empty()) {
        return fail(name + " needs " + (option->count == 1 ? "a value" : "two values") + ", none of them empty");
      }
      values.push_back(arguments[i]);
    }
    parsed.given.push_back({option, std::move(values)});
  }
  if (std::string missing = MissingNeed(command, parsed.given); !missing.empty()) return fail(std::move(missing));
  return parsed;
}

std::string MissingNeed(const CommandRow& command, const Given& given) {
  for (const Parameter& option : command.options) {
    if (!option.needs.empty() && Gives(given, option.name) && !Gives(given, option.needs)) {
      return std::string(option.name) + " goes with " + std::string(option.needs) + ": " + UsageLine(command);
    }
  }
  for (const Parameter& option : command.options) {
    if (option.required && !Gives(given, option.name)) {
      return std::string(command.name) + " needs " + std::string(option.name) + ": " + UsageLine(command);
    }
  }
  return {};
}

Answer RunCommand(const ParsedCommandLine& parsed) {
  if (!parsed.error.empty()) return Answer::Failure(kExitUsage, parsed.error + "; see --help");
  if (parsed.command == nullptr) return Answer::Failure(kExitUsage, "wrong usage; see --help");
  return RunRequest(*parsed.command, parsed.given);
}

// A library's exception ends the request, never the process: out of memory included, so
// that one large request in a batch leaves the next one answered.
Answer RunRequest(const CommandRow& command, const Given& given) {
  try {
    return command.run(given);
  } catch (const std::bad_alloc&) {
    return Answer::Failure(kExitToolFailure, "out of memory while answering the request");
  } catch (const std::exception&) {
    // Its text may name a file whose name holds a password: it is not shown.
    return Answer::Failure(kExitToolFailure, "the request failed inside a library");
  }
}

}  // namespace rdplaunch
