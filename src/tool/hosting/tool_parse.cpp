// Parsing rdplaunch-name's command line by the command table, and running a request.
#include "hosting/tool_parse.h"

#include <algorithm>
#include <exception>
#include <new>

namespace rdplaunch {

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
  Request& request = parsed.request;
  request.command = arguments[0];
  // An error is answered in JSON when "--json" stands anywhere, even where a value was
  // expected (too few values); an answer only when it stands among the options.
  parsed.jsonErrors = FindOption(command, kJsonOption) != nullptr &&
                      std::find(arguments.begin() + 1, arguments.end(), kJsonOption) != arguments.end();
  std::size_t i = 1;
  if (i < arguments.size() && arguments[i] == "--") ++i;
  for (; request.values.size() < command.values.size(); ++i) {
    if (i >= arguments.size()) {
      parsed.error = "wrong usage: " + UsageLine(command);
      return parsed;
    }
    request.values.push_back(arguments[i]);
  }
  for (; i < arguments.size(); ++i) {
    const std::string position = "argument " + std::to_string(i + 1);
    const OptionRow* option = FindOption(command, arguments[i]);
    if (option == nullptr) {
      parsed.error = position + " is not an option of " + std::string(command.name);
      return parsed;
    }
    const std::string name(option->name);
    if (request.Has(name)) {
      parsed.error = position + " gives " + name + " a second time";
      return parsed;
    }
    std::vector<std::string>& values = request.options[name];
    for (int v = 0; v < option->values; ++v) {
      if (++i >= arguments.size() || arguments[i].empty()) {
        parsed.error = name + " needs " + (option->values == 1 ? "a value" : "two values") + ", none of them empty";
        return parsed;
      }
      values.push_back(arguments[i]);
    }
  }
  parsed.error = MissingNeed(command, request);
  if (!parsed.error.empty()) return parsed;
  parsed.json = request.Has(kJsonOption);
  return parsed;
}

std::string MissingNeed(const CommandRow& command, const Request& request) {
  for (const OptionRow& option : command.options) {
    if (request.Has(option.name) && !option.needs.empty() && !request.Has(option.needs)) {
      return std::string(option.name) + " goes with " + std::string(option.needs) + ": " + UsageLine(command);
    }
  }
  for (const OptionRow& option : command.options) {
    if (option.required && !request.Has(option.name)) {
      return std::string(command.name) + " needs " + std::string(option.name) + ": " + UsageLine(command);
    }
  }
  return {};
}

Answer RunCommand(const ParsedCommandLine& parsed) {
  if (!parsed.error.empty()) return Answer::Failure(kExitUsage, parsed.error + "; see --help");
  if (parsed.command == nullptr) return Answer::Failure(kExitUsage, "wrong usage; see --help");
  return RunRequest(*parsed.command, parsed.request);
}

// A library's exception ends the request, never the process: out of memory included, so
// that one large request in a batch leaves the next one answered.
Answer RunRequest(const CommandRow& command, const Request& request) {
  try {
    return command.handler(request);
  } catch (const std::bad_alloc&) {
    return Answer::Failure(kExitFileError, "out of memory while answering the request");
  } catch (const std::exception&) {
    // Its text may name a file whose name holds a password: it is not shown.
    return Answer::Failure(kExitFileError, "the request failed inside a library");
  }
}

}  // namespace rdplaunch
