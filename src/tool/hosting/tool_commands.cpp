// The table of rdplaunch-name's commands, their usage lines and the help, made from the
// rows each command declares beside its handler (command_*.cpp).
#include "hosting/tool_commands.h"

#include <algorithm>

#include "hosting/tool_batch.h"
#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"

namespace rdplaunch {

namespace {

constexpr const CommandRow* kCommands[] = {&kMakeCommand,   &kCheckCommand,      &kRdpCommand,
                                           &kVerifyCommand, &kSignaturesCommand, &kIdentityCommand};

std::string Mebibytes(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// Batch mode is no command of its own: it runs the rows' requests, one a line.
std::string BatchHelp() {
  return "Reads one JSON request per line on standard input, such as\n"
         "{\"command\": \"make\", \"key\": \"PELTA_8\", \"user\": \"alice\", \"password\": \"s3cret\"}\n"
         "(with \"exe\" and \"out\" to copy the launcher) or {\"command\": \"check\", \"name\": \"...\"}\n"
         "(with \"show_password\": true), and answers each with one line, the JSON object that\n"
         "the command prints with --json, until the end of its input. A line longer than\n" +
         std::to_string(kMaxRequestBytes) +
         " bytes, or one that is no such request (a field given twice, a NUL, a byte order\n"
         "mark, a field the command does not take), is answered with an error, and the next\n"
         "line is read. No password ever stands on a command line this way. A failure to read\n"
         "standard input ends it with exit code " +
         std::to_string(kExitFileError) + ".\n";
}

std::string HelpEnd() {
  std::string end =
      "A command's values come first and are values whatever they start with (\"--\" may stand\n"
      "before them); its options follow, each once. Text is UTF-8 and is written as the code\n"
      "page 1251 bytes the launcher reads. Files are read only when they are regular files of\n"
      "at most " +
      Mebibytes(kMaxInputFileSize) + " (the launcher of --exe: " + Mebibytes(kMaxExecutableSize) +
      ") that do not change while they are read.\n"
      "Files are written under a temporary name in DIR and then renamed, so a link or any\n"
      "file that already has the name is replaced, never written through; a folder is never\n"
      "replaced, and when one file cannot be put in place, the files already replaced come\n"
      "back as they were. New files follow the umask. Messages show a launcher name's\n"
      "password as *** and never repeat a value they refuse. With --json, every answer is one\n"
      "JSON object, errors included.\n"
      "Exit codes:\n";
  for (const ExitCodeRow& row : kExitCodes)
    end += "  " + std::to_string(row.code) + "  " + std::string(row.meaning) + "\n";
  return end;
}

std::string HelpEntry(std::string_view usage, std::string_view text) {
  std::string entry = "  " + std::string(usage) + "\n";
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    entry += "      " + std::string(text.substr(0, end)) + "\n";
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return entry;
}

// An option as the usage line shows it: its name and its values' names. Lines are built by
// appending: GCC 12 at -O3 takes a literal put before a string for an overlapping copy.
std::string Shown(const Parameter& option) {
  std::string shown(option.name);
  if (!option.metavar.empty()) shown.append(" ").append(option.metavar);
  return shown;
}

bool Needs(const Parameter& option, std::string_view other) { return option.needs == other; }

}  // namespace

std::span<const CommandRow* const> CommandTable() { return kCommands; }

const Parameter* FindOption(const CommandRow& command, std::string_view name) {
  const auto found =
      std::find_if(command.options.begin(), command.options.end(), [&](const Parameter& o) { return o.name == name; });
  return found == command.options.end() ? nullptr : &*found;
}

const CommandRow* FindCommand(std::string_view name) {
  for (const CommandRow* command : kCommands) {
    if (command->name == name) return command;
  }
  return nullptr;
}

// The usage line says what the rows say: a required option stands bare, any other in
// brackets, with the options that need it inside (two that need each other share one
// pair); the output format, with its alternatives, right after the values, or last
// where a command has none.
std::string UsageLine(const CommandRow& command) {
  std::string line = "rdplaunch-name ";
  line.append(command.name);
  for (const Parameter& value : command.values) line.append(" ").append(value.name);
  std::string format = "[";
  format.append(kJsonOption);
  for (const Parameter& option : command.options) {
    if (option.formatAlternative) format.append(" | ").append(option.name);
  }
  format.append("]");
  if (!command.values.empty()) line.append(" ").append(format);
  for (const Parameter& option : command.options) {
    if (option.formatAlternative) continue;
    if (option.required) {
      line.append(" ").append(Shown(option));
      continue;
    }
    const Parameter* partner = option.needs.empty() ? nullptr : FindOption(command, option.needs);
    if (partner != nullptr && !Needs(*partner, option.name)) continue;  // shown inside the one it needs
    if (partner != nullptr && &option > partner) continue;              // shown with its partner
    line.append(" [").append(Shown(option));
    for (const Parameter& inner : command.options) {
      if (&inner == &option || !Needs(inner, option.name)) continue;
      if (Needs(option, inner.name)) {
        line.append(" ").append(Shown(inner));
      } else {
        line.append(" [").append(Shown(inner)).append("]");
      }
    }
    line.append("]");
  }
  if (command.values.empty()) line.append(" ").append(format);
  return line;
}

std::string HelpText() {
  std::string help = "usage:\n";
  for (const CommandRow* command : kCommands) help += HelpEntry(UsageLine(*command), command->help());
  return help + HelpEntry("rdplaunch-name batch", BatchHelp()) + "\n" + HelpEnd();
}

}  // namespace rdplaunch
