// The table of rdplaunch-name's commands, their usage lines and the help, made from the
// rows each command declares beside its handler (command_*.cpp).
#include "hosting/tool_commands.h"

#include <algorithm>
#include <vector>

#include "hosting/tool_batch.h"
#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "text/joined.h"

namespace rdplaunch {

namespace {

constexpr const CommandRow* kCommands[] = {&kMakeCommand,       &kCheckCommand,    &kRdpCommand,    &kVerifyCommand,
                                           &kSignaturesCommand, &kIdentityCommand, &kVersionCommand};

std::string Mebibytes(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// A parameter's metavariable, or its name where it has none (a value).
std::string_view MetavarOf(const Parameter& parameter) {
  return parameter.metavar.empty() ? parameter.name : parameter.metavar;
}

// A batch request for a command as its rows make it: its values' fields, then its options'.
std::string BatchRequest(const CommandRow& command) {
  std::string request = "{\"command\": \"";
  request.append(command.name).append("\"");
  for (const Parameter& value : command.values) {
    request.append(", \"").append(value.field).append("\": \"").append(MetavarOf(value)).append("\"");
  }
  std::string optional;
  for (const Parameter& option : command.options) {
    if (option.field.empty()) continue;
    optional.append(optional.empty() ? "" : ", ").append("\"").append(option.field).append("\"");
    optional.append(option.count == 0 ? " (true or false)" : "");
  }
  request.append("}");
  if (!optional.empty()) request.append(", and optionally ").append(optional);
  return request;
}

// Batch mode is no command of its own: it runs the rows' requests, one a line.
std::string BatchHelp() {
  std::string requests;
  for (const CommandRow* command : kCommands) {
    if (command->inBatch) requests += "  " + BatchRequest(*command) + "\n";
  }
  return "Reads one JSON request per line on standard input, one of\n" + requests +
         "each with an optional \"id\" string, and answers each with one line, in the order\n"
         "of the requests: the JSON object the command prints with --json, with that \"id\"\n"
         "first. Every answer says \"ok\" (true or false); a failure also says \"code\"\n"
         "(refused, usage, file or internal) and \"error\". A line longer than\n" +
         std::to_string(kMaxRequestBytes) +
         " bytes, or one that is no such request (a field given twice, a NUL, a byte\n"
         "order mark, a field the command does not take), is answered with an error, and the\n"
         "next line is read. No password ever stands on a command line this way. A failure to\n"
         "read standard input ends it with exit code " +
         std::to_string(kExitFileError) + ".\n";
}

std::string HelpEnd() {
  std::string end =
      "A command's values come first and are values whatever they start with (\"--\" may stand\n"
      "before them); its options follow, each once, as --option VALUE or --option=VALUE.\n"
      "rdplaunch-name COMMAND --help tells a command's values and options, --version the\n"
      "version. Text is UTF-8 and is written as the code page 1251 bytes the launcher reads.\n"
      "Files are read only when they are regular files of at most " +
      Mebibytes(kMaxInputFileSize) + " (the launcher of --exe: " + Mebibytes(kMaxExecutableSize) +
      ") that do not change while they are read.\n"
      "Files are written under a temporary name in DIR and then renamed, so a link or any\n"
      "file that already has the name is replaced, never written through; a folder, a FIFO\n"
      "or a device (or a link to one) is never replaced, and when one file cannot be put in\n"
      "place, the files already replaced come back as they were. New files follow the umask.\n"
      "Messages show a launcher name's password as *** and never repeat a value they\n"
      "refuse. With --json, every answer is one JSON object, errors included.\n"
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

// An option as the usage line shows it: its name and its values' names.
std::string Shown(const Parameter& option) {
  if (option.metavar.empty()) return std::string(option.name);
  return Joined({option.name, " ", option.metavar});
}

bool Needs(const Parameter& option, std::string_view other) { return option.needs == other; }

// What a command's help and its manual section list: each value and option shown, with its
// help line. The format options come first, since every command takes --json.
struct Entry {
  std::string shown;
  std::string_view help;
};
constexpr std::string_view kJsonHelp = "one JSON object for the answer, errors included";
std::vector<Entry> Entries(const CommandRow& command) {
  std::vector<Entry> entries;
  for (const Parameter& value : command.values) entries.push_back({std::string(value.name), value.help});
  entries.push_back({std::string(kJsonOption), kJsonHelp});
  for (const Parameter& option : command.options) {
    if (option.spells.empty()) entries.push_back({Shown(option), option.help});
  }
  return entries;
}

// Text for roff: a backslash and a minus as its escapes, and no line that starts as a request.
std::string Roff(std::string_view text) {
  std::string roff;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart && (c == '.' || c == '\'')) roff += "\\&";
    if (c == '\\') {
      roff += "\\e";
    } else if (c == '-') {
      roff += "\\-";
    } else {
      roff += c;
    }
    lineStart = c == '\n';
  }
  return roff;
}

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
    if (option.formatAlternative || !option.spells.empty()) continue;
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

std::string CommandHelp(const CommandRow& command) {
  std::string help = "usage: " + UsageLine(command) + "\n\n" + command.help() + "\n\n";
  std::size_t width = 0;
  const std::vector<Entry> entries = Entries(command);
  for (const Entry& entry : entries) width = std::max(width, entry.shown.size());
  for (const Entry& entry : entries) {
    help.append("  ").append(entry.shown).append(width - entry.shown.size() + 2, ' ');
    help.append(entry.help).append("\n");
  }
  if (command.inBatch) help.append("\nIn batch mode: ").append(BatchRequest(command)).append("\n");
  return help;
}

// The manual page, from the same rows and texts as the help; no date, so that a build
// makes the same page every time.
std::string ManualPage() {
  std::string page = ".TH RDPLAUNCH\\-NAME 1 \"\" \"rdplaunch " + std::string(ToolVersion()) + "\" \"User Commands\"\n";
  page +=
      ".SH NAME\nrdplaunch\\-name \\- make launcher names for the hosting service, and make and check "
      "connection files and their signatures\n";
  page += ".SH SYNOPSIS\n.nf\n";
  for (const CommandRow* command : kCommands) page += Roff(UsageLine(*command)) + "\n";
  page += "rdplaunch\\-name batch\nrdplaunch\\-name \\-\\-version\nrdplaunch\\-name [COMMAND] \\-\\-help\n.fi\n";
  page += ".SH COMMANDS\n";
  for (const CommandRow* command : kCommands) {
    page += ".SS " + Roff(command->name) + "\n" + Roff(command->help()) + "\n";
    for (const Entry& entry : Entries(*command))
      page += ".TP\n.B " + Roff(entry.shown) + "\n" + Roff(entry.help) + "\n";
  }
  page += ".SH BATCH MODE\n.nf\n" + Roff(BatchHelp()) + ".fi\n";
  std::string end = HelpEnd();
  end.erase(end.find("Exit codes:\n"));
  page += ".SH NOTES\n" + Roff(end) + ".SH EXIT STATUS\n";
  for (const ExitCodeRow& row : kExitCodes)
    page += ".TP\n.B " + std::to_string(row.code) + "\n" + Roff(row.meaning) + "\n";
  return page;
}

std::string_view ToolVersion() { return RDPLAUNCH_VERSION; }

}  // namespace rdplaunch
