// rdplaunch-name's commands. Each command declares its values and options beside its
// handler, each bound to a member of that command's own arguments struct; the usage line,
// the batch fields, the parsers (tool_parse.h, tool_batch.h) and the help come from those
// rows, and a handler takes its typed arguments.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "hosting/tool_answer.h"

namespace rdplaunch {

// One value or option of a command and the member of its arguments it sets.
struct Parameter {
  std::string_view name;           // a value's name on the usage line (KEY), or an option's (--out)
  std::string_view metavar;        // an option's values on the usage line (DIR, CERT KEY); none for a flag
  int count = 1;                   // how many values it takes: 0 for a flag
  std::string_view field;          // its field in a batch request; none: the command line only
  std::string_view needs;          // an option that must be given with it
  bool required = false;           // the command cannot do without it
  bool formatAlternative = false;  // another output format, shown beside --json ([--json | --header])
  void (*set)(void* arguments, std::span<const std::string> values) = nullptr;
  std::string_view help;  // one line: what it is or does, for the command's help and the manual
  // An older spelling kept for callers that use it, shown nowhere: the options its values
  // stand for, in order, separated by spaces (--sign CERT KEY is --cert CERT --key KEY).
  std::string_view spells;
};

// What the command line or a batch request gave: each parameter with its values, in order.
using Given = std::vector<std::pair<const Parameter*, std::vector<std::string>>>;

struct CommandRow {
  std::string_view name;
  std::span<const Parameter> values;
  std::span<const Parameter> options;
  std::string (*help)();  // what it does (numbers from their constants)
  bool inBatch;           // batch mode takes it as a request
  Answer (*run)(const Given& given);
};

// The rows of a command whose arguments are Args: each binds a name to members of Args (or
// of a struct it derives from). A flag sets its bool member; an option's values fill its
// string members in order (--sign CERT KEY sets two).
template <typename Args>
struct Bind {
  template <auto... kMembers>
  static void Set(void* arguments, std::span<const std::string> values) {
    Args& target = *static_cast<Args*>(arguments);
    std::size_t next = 0;
    const auto assign = [&](auto& member) {
      if constexpr (std::is_same_v<std::remove_cvref_t<decltype(member)>, bool>) {
        member = true;
      } else {
        member = values[next++];
      }
    };
    (assign(target.*kMembers), ...);
  }
  template <auto... kMembers>
  static constexpr int Count() {
    return (0 + ... + (std::is_same_v<std::remove_cvref_t<decltype(std::declval<Args&>().*kMembers)>, bool> ? 0 : 1));
  }

  template <auto kMember>
  static constexpr Parameter Value(std::string_view name, std::string_view help, std::string_view field = {}) {
    return {name, {}, 1, field, {}, false, false, Set<kMember>, help, {}};
  }
  template <auto kMember>
  static constexpr Parameter Flag(std::string_view name, std::string_view help, std::string_view field = {},
                                  bool formatAlternative = false) {
    return {name, {}, 0, field, {}, false, formatAlternative, Set<kMember>, help, {}};
  }
  template <auto... kMembers>
  static constexpr Parameter Option(std::string_view name, std::string_view metavar, std::string_view help,
                                    std::string_view field = {}, std::string_view needs = {}) {
    return {name, metavar, Count<kMembers...>(), field, needs, false, false, Set<kMembers...>, help, {}};
  }
  template <auto kMember>
  static constexpr Parameter Required(std::string_view name, std::string_view metavar, std::string_view help) {
    return {name, metavar, 1, {}, {}, true, false, Set<kMember>, help, {}};
  }
  // Runs the handler on the arguments that what was given sets.
  template <Answer (*kHandler)(const Args&)>
  static Answer Run(const Given& given) {
    Args arguments{};
    for (const auto& [parameter, values] : given) parameter->set(&arguments, values);
    return kHandler(arguments);
  }
};

// An older spelling of count options, given as those options (see Parameter::spells).
constexpr Parameter OlderSpelling(std::string_view name, int count, std::string_view spells) {
  return {name, {}, count, {}, {}, false, false, nullptr, {}, spells};
}

// The output format is the whole invocation's, not a command's: every command takes it.
inline constexpr std::string_view kJsonOption = "--json";
inline constexpr std::string_view kHelpOption = "--help";
// Where an option names an output file, this name is standard output.
inline constexpr std::string_view kStandardOutput = "-";

std::span<const CommandRow* const> CommandTable();
const CommandRow* FindCommand(std::string_view name);
const Parameter* FindOption(const CommandRow& command, std::string_view name);

// The whole help text, one command's help and its usage line, and the manual page in
// roff, all from the rows.
std::string HelpText();
std::string CommandHelp(const CommandRow& command);
std::string UsageLine(const CommandRow& command);
std::string ManualPage();

// The tool's version: the project's.
std::string_view ToolVersion();

}  // namespace rdplaunch
