// Parsing rdplaunch-name's command line by the commands' rows, and running a request.
#include "hosting/tool_parse.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <utility>

namespace rdplaunch {

namespace {

bool Gives(const Given& given, std::string_view name) {
  return std::any_of(given.begin(), given.end(), [&](const auto& g) { return g.first->name == name; });
}

bool IsHelp(const std::string& argument) { return argument == kHelpOption || argument == "-h"; }

// The option an argument names, and the value it gives after '=' (--out=DIR).
std::pair<const Parameter*, std::optional<std::string>> OptionIn(const CommandRow& command,
                                                                 const std::string& argument) {
  const std::size_t equals = argument.find('=');
  if (!argument.starts_with("--") || equals == std::string::npos) return {FindOption(command, argument), {}};
  return {FindOption(command, std::string_view(argument).substr(0, equals)), argument.substr(equals + 1)};
}

// The options whose values an option gives: itself, or those an older spelling stands for.
std::vector<const Parameter*> Targets(const CommandRow& command, const Parameter& option) {
  if (option.spells.empty()) return {&option};
  std::vector<const Parameter*> targets;
  for (std::string_view rest = option.spells; !rest.empty();) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    targets.push_back(FindOption(command, rest.substr(0, end)));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return targets;
}

}  // namespace

// The output format is decided here alone: JSON when --json stands among the options, and
// for a command line that cannot be read that far, when it stands anywhere after the
// command, so that a caller that asked for JSON gets its usage error as JSON too. Help is
// --help (or -h) where a command's first value or an option stands.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  if (arguments.empty()) return parsed;
  if (IsHelp(arguments[0])) {
    parsed.help = true;
    return parsed;
  }
  if (arguments[0] == "batch") {
    parsed.batch = true;
    if (arguments.size() > 1) parsed.error = "batch takes no arguments: its requests come on standard input";
    return parsed;
  }
  parsed.command = FindCommand(arguments[0] == "--version" ? "version" : arguments[0]);
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
  if (i < arguments.size() && IsHelp(arguments[i])) {
    parsed.help = true;
    return parsed;
  }
  if (i < arguments.size() && arguments[i] == "--") ++i;
  for (const Parameter& value : command.values) {
    if (i >= arguments.size()) return fail("wrong usage: " + UsageLine(command));
    parsed.given.push_back({&value, {arguments[i++]}});
  }
  for (; i < arguments.size(); ++i) {
    const std::string position = "argument " + std::to_string(i + 1);
    if (IsHelp(arguments[i])) {
      parsed.help = true;
      return parsed;
    }
    if (arguments[i] == kJsonOption) {
      if (parsed.json) return fail(position + " gives " + std::string(kJsonOption) + " a second time");
      parsed.json = true;
      continue;
    }
    auto [option, attached] = OptionIn(command, arguments[i]);
    if (option == nullptr) return fail(position + " is not an option of " + std::string(command.name));
    const std::string name(option->name);
    if (attached && option->count != 1) return fail(position + ": " + name + " takes no value after '='");
    std::vector<std::string> values;
    if (attached) values.push_back(std::move(*attached));
    while (static_cast<int>(values.size()) < option->count && i + 1 < arguments.size()) {
      values.push_back(arguments[++i]);
    }
    if (static_cast<int>(values.size()) < option->count ||
        std::any_of(values.begin(), values.end(), [](const std::string& v) { return v.empty(); })) {
      return fail(name + " needs " + (option->count == 1 ? "a value" : "two values") + ", none of them empty");
    }
    const std::vector<const Parameter*> targets = Targets(command, *option);
    for (std::size_t t = 0; t < targets.size(); ++t) {
      const std::string target(targets[t]->name);
      if (Gives(parsed.given, target)) return fail(position + " gives " + target + " a second time");
      parsed.given.push_back({targets[t], {}});
      if (option->count > 0) parsed.given.back().second.push_back(std::move(values[t]));
    }
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
