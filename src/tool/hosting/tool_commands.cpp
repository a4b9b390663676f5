// The table of rdplaunch-name's commands, and the help text made from it.
#include "hosting/tool_commands.h"

#include <algorithm>

#include "hosting/tool_handlers.h"

namespace rdplaunch {

std::string Request::Option(std::string_view option, std::size_t index) const {
  const auto found = options.find(std::string(option));
  return found == options.end() || found->second.size() <= index ? std::string() : found->second[index];
}

namespace {

const std::vector<CommandRow> kCommands{
    {"make",
     {{"KEY", "key"}, {"USER", "user"}, {"PASSWORD", "password"}},
     {{kJsonOption, 0, {}, {}},
      {kHeaderOption, 0, {}, {}},
      {kExeOption, 1, kOutOption, "exe"},
      {kOutOption, 1, kExeOption, "out"}},
     "[--json | --header] [--exe PATH --out DIR]",
     "Checks that key, user name and password can travel in a Windows file name through\n"
     "a browser's download and come back unchanged, and prints the launcher name\n"
     "KEY$USER$PASSWORD$.exe; with --json, the name and the Content-Disposition value to\n"
     "serve the launcher under it; with --header, that header line. With --exe, copies\n"
     "the launcher PATH under that name into DIR. On a server, use batch instead: the\n"
     "arguments of a process are public there.",
     true,
     MakeCommand},
    {"check",
     {{"NAME", "name"}},
     {{kJsonOption, 0, {}, {}}, {kShowPasswordOption, 0, {}, "show_password"}},
     "[--json] [--show-password]",
     "Tells what the launcher would do with a file of that name (a path is fine), and\n"
     "warns when Windows or a browser would not deliver the name intact.",
     true,
     CheckCommand},
    {"rdp",
     {{"NAME", {}}},
     {{kJsonOption, 0, {}, {}},
      {kOutOption, 1, {}, {}},
      {kSignOption, 2, {}, {}},
      {kChainOption, 1, kSignOption, {}},
      {kKeyPasswordFileOption, 1, kSignOption, {}}},
     "[--json] [--out DIR] [--sign CERT KEY [--chain CHAIN] [--key-password-file FILE]]",
     "Prints the connection file the launcher would write for NAME; with --out, writes it\n"
     "(and the companion file, where the edition has one) into DIR, all or none; with\n"
     "--json, each file's name and text. With --sign, the file a launcher built with that\n"
     "certificate and key (PEM files) writes: signed. An encrypted key's passphrase is the\n"
     "one line of FILE; nothing asks on a terminal.",
     false,
     RdpCommand},
    {"verify",
     {{"FILE.rdp", {}}},
     {{kJsonOption, 0, {}, {}}, {kCertOption, 1, {}, {}}},
     "[--json] [--cert CERT]",
     "Checks a signed connection file at least as strictly as the Remote Desktop client\n"
     "and prints its publisher, the certificate's SHA-1 and SHA-256 thumbprints and the\n"
     "earliest expiry on its chain; with --cert, the signer's chain must lead to a\n"
     "certificate of that PEM file. Exit code 0 for a good signature from that publisher,\n"
     "4 for a valid signature whose publisher was not checked (no --cert), 1 for a bad one.",
     false,
     VerifyCommand},
    {"signatures",
     {},
     {{kJsonOption, 0, {}, {}},
      {kCertOption, 1, {}, {}, true},
      {kKeyOption, 1, {}, {}, true},
      {kChainOption, 1, {}, {}},
      {kKeyPasswordFileOption, 1, {}, {}},
      {kOutOption, 1, {}, {}, true}},
     "--cert CERT --key KEY [--chain CHAIN] [--key-password-file FILE] --out HEADER [--json]",
     "Signs every connection file the launcher can write and writes the C++ header the\n"
     "Windows build compiles in (the build runs this; the key never leaves this machine).",
     false,
     SignaturesCommand},
    {"identity",
     {},
     {{kJsonOption, 0, {}, {}},
      {kCertOption, 1, {}, {}, true},
      {kKeyOption, 1, {}, {}, true},
      {kChainOption, 1, {}, {}},
      {kKeyPasswordFileOption, 1, {}, {}}},
     "--cert CERT --key KEY [--chain CHAIN] [--key-password-file FILE] [--json]",
     "Checks that certificate, key, chain and passphrase can sign connection files, as\n"
     "configuring a signed build does: every certificate from the signer to the last one\n"
     "the chain holds. Prints the publisher, its SHA-1 and SHA-256 thumbprints and the\n"
     "earliest expiry on the chain, with a warning when that is less than 30 days away.",
     false,
     IdentityCommand},
};

// Batch mode is no command of its own: it runs the rows' requests, one a line.
constexpr std::string_view kBatchUsage = "rdplaunch-name batch";
constexpr std::string_view kBatchHelp =
    "Reads one JSON request per line on standard input, such as\n"
    "{\"command\": \"make\", \"key\": \"PELTA_8\", \"user\": \"alice\", \"password\": \"s3cret\"}\n"
    "(with \"exe\" and \"out\" to copy the launcher) or {\"command\": \"check\", \"name\": \"...\"}\n"
    "(with \"show_password\": true), and answers each with one line, the JSON object that\n"
    "the command prints with --json, until the end of its input. A line longer than\n"
    "65536 bytes, or one that is no such request (a field given twice, a NUL, a byte order\n"
    "mark, a field the command does not take), is answered with an error, and the next\n"
    "line is read. No password ever stands on a command line this way. A failure to read\n"
    "standard input ends it with exit code 3.\n";

constexpr std::string_view kHelpEnd =
    "A command's values come first and are values whatever they start with (\"--\" may stand\n"
    "before them); its options follow, each once. Text is UTF-8 and is written as the code\n"
    "page 1251 bytes the launcher reads. Files are read only when they are regular files of\n"
    "at most 1 MiB (the launcher of --exe: 16 MiB) that do not change while they are read.\n"
    "Files are written under a temporary name in DIR and then renamed, so a link or any\n"
    "file that already has the name is replaced, never written through; a folder is never\n"
    "replaced, and when one file cannot be put in place, the files already replaced come\n"
    "back as they were. New files follow the umask. Messages show a launcher name's\n"
    "password as *** and never repeat a value they refuse. With --json, every answer is one\n"
    "JSON object, errors included.\n"
    "Exit codes: 0 done, 1 refused (or the launcher would ask not to rename the file),\n"
    "2 wrong usage, 3 a file could not be read or written (the answer included),\n"
    "4 (verify) publisher not checked.\n";

}  // namespace

std::span<const CommandRow> CommandTable() { return kCommands; }

const OptionRow* FindOption(const CommandRow& command, std::string_view name) {
  const auto found =
      std::find_if(command.options.begin(), command.options.end(), [&](const OptionRow& o) { return o.name == name; });
  return found == command.options.end() ? nullptr : &*found;
}

const CommandRow* FindCommand(std::string_view name) {
  const auto found =
      std::find_if(kCommands.begin(), kCommands.end(), [&](const CommandRow& c) { return c.name == name; });
  return found == kCommands.end() ? nullptr : &*found;
}

std::string UsageLine(const CommandRow& command) {
  std::string line = "rdplaunch-name ";
  line.append(command.name);
  for (const ValueRow& value : command.values) line.append(" ").append(value.name);
  if (!command.usage.empty()) line.append(" ").append(command.usage);
  return line;
}

namespace {

std::string HelpEntry(std::string_view usage, std::string_view text) {
  std::string entry = "  " + std::string(usage) + "\n";
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    entry += "      " + std::string(text.substr(0, end)) + "\n";
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return entry;
}

}  // namespace

std::string HelpText() {
  std::string help = "usage:\n";
  for (const CommandRow& command : kCommands) help += HelpEntry(UsageLine(command), command.help);
  return help + HelpEntry(kBatchUsage, kBatchHelp) + "\n" + std::string(kHelpEnd);
}

}  // namespace rdplaunch
