// The commands of rdplaunch-name and the table that drives its parser, help and usage.
#include "hosting/tool_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <variant>

#include "hosting/launch_name_maker.h"
#include "hosting/tool_files.h"
#include "hosting/tool_text.h"
#include "launch/profiles.h"
#include "rdpfile/connection_file.h"
#include "rdpfile/signed_file.h"
#include "signing/rdp_signing.h"
#include "text/cp1251.h"
#include "text/path_name.h"

namespace rdplaunch {

std::string Request::Option(std::string_view option, std::size_t index) const {
  const auto found = options.find(std::string(option));
  return found == options.end() || found->second.size() <= index ? std::string() : found->second[index];
}

Answer Answer::Failure(int exitCode, std::string_view message) {
  return {exitCode, JsonObject().Bool("valid", false).Text("error", message).Json(), {}, std::string(message)};
}

namespace {

Answer Make(const Request& request);
Answer Check(const Request& request);
Answer Rdp(const Request& request);
Answer Verify(const Request& request);
Answer Signatures(const Request& request);

constexpr std::string_view kJson = "--json";

const std::vector<CommandRow> kCommands{
    {"make",
     {"KEY", "USER", "PASSWORD"},
     {{"--json", 0, {}}, {"--header", 0, {}}, {"--exe", 1, "--out"}, {"--out", 1, "--exe"}},
     "[--json | --header] [--exe PATH --out DIR]",
     "Checks that key, user name and password can travel in a Windows file name through\n"
     "a browser's download and come back unchanged, and prints the launcher name\n"
     "KEY$USER$PASSWORD$.exe; with --json, the name and the Content-Disposition value to\n"
     "serve the launcher under it; with --header, that header line. With --exe, copies\n"
     "the launcher PATH under that name into DIR. On a server, use batch instead: the\n"
     "arguments of a process are public there.",
     Make},
    {"check",
     {"NAME"},
     {{"--json", 0, {}}, {"--show-password", 0, {}}},
     "[--json] [--show-password]",
     "Tells what the launcher would do with a file of that name (a path is fine), and\n"
     "warns when a browser would not deliver the name intact.",
     Check},
    {"batch",
     {},
     {},
     "",
     "Reads one JSON request per line on standard input, such as\n"
     "{\"command\": \"make\", \"key\": \"PELTA_8\", \"user\": \"alice\", \"password\": \"s3cret\"}\n"
     "(with \"exe\" and \"out\" to copy the launcher) or {\"command\": \"check\", \"name\": \"...\"}\n"
     "(with \"show_password\": true), and answers each with one line, the JSON object that\n"
     "the command prints with --json, until the end of its input. A line longer than\n"
     "65536 bytes, or one that is no such request, is answered with an error, and the next\n"
     "line is read. No password ever stands on a command line this way.",
     nullptr},
    {"rdp",
     {"NAME"},
     {{"--json", 0, {}},
      {"--out", 1, {}},
      {"--sign", 2, {}},
      {"--chain", 1, "--sign"},
      {"--key-password-file", 1, "--sign"}},
     "[--json] [--out DIR] [--sign CERT KEY [--chain CHAIN] [--key-password-file FILE]]",
     "Prints the connection file the launcher would write for NAME; with --out, writes it\n"
     "(and the companion file, where the edition has one) into DIR, all or none; with\n"
     "--json, each file's name and text. With --sign, the file a launcher built with that\n"
     "certificate and key (PEM files) writes: signed. An encrypted key's passphrase is the\n"
     "one line of FILE; nothing asks on a terminal.",
     Rdp},
    {"verify",
     {"FILE.rdp"},
     {{"--json", 0, {}}, {"--cert", 1, {}}},
     "[--json] [--cert CERT]",
     "Checks a signed connection file at least as strictly as the Remote Desktop client\n"
     "and prints its publisher and the certificate's SHA-1 thumbprint; with --cert, the\n"
     "signer's chain must lead to a certificate of that PEM file. Exit code 0 for a good\n"
     "signature from that publisher, 4 for a valid signature whose publisher was not\n"
     "checked (no --cert), 1 for a bad one.",
     Verify},
    {"signatures",
     {},
     {{"--json", 0, {}},
      {"--cert", 1, "--key"},
      {"--key", 1, "--cert"},
      {"--chain", 1, "--cert"},
      {"--key-password-file", 1, "--cert"},
      {"--out", 1, "--cert"}},
     "--cert CERT --key KEY [--chain CHAIN] [--key-password-file FILE] --out HEADER [--json]",
     "Signs every connection file the launcher can write and writes the C++ header the\n"
     "Windows build compiles in (the build runs this; the key never leaves this machine).",
     Signatures},
};

constexpr std::string_view kHelpEnd =
    "A command's values come first and are values whatever they start with (\"--\" may stand\n"
    "before them); its options follow, each once. Text is UTF-8 and is written as the code\n"
    "page 1251 bytes the launcher reads. Files are read only when they are regular files of\n"
    "at most 1 MiB (the launcher of --exe: 16 MiB). Files are written under a temporary name\n"
    "in DIR and then renamed, so a link or anything else that already has the name is\n"
    "replaced, never written through; they follow the umask. Messages show a launcher name's\n"
    "password as ***. With --json, every answer is one JSON object, errors included.\n"
    "Exit codes: 0 done, 1 refused (or the launcher would ask not to rename the file),\n"
    "2 wrong usage, 3 a file could not be read or written (the answer included),\n"
    "4 (verify) publisher not checked.\n";

const OptionRow* FindOption(const CommandRow& command, std::string_view name) {
  const auto found =
      std::find_if(command.options.begin(), command.options.end(), [&](const OptionRow& o) { return o.name == name; });
  return found == command.options.end() ? nullptr : &*found;
}

// A name from the command line: UTF-8, possibly with a folder in front; nothing when it
// has a character code page 1251 lacks.
std::optional<std::string> LaunchNameFromArgument(const std::string& argument) {
  const std::size_t slash = argument.find_last_of('/');
  std::optional<std::string> bytes = Utf8ToCp1251(slash == std::string::npos ? argument : argument.substr(slash + 1));
  if (bytes) *bytes = std::string(FileNamePart(*bytes));
  return bytes;
}

Answer Done(const std::string& json, std::string text) { return {kExitDone, json, std::move(text), {}}; }

Answer Make(const Request& request) {
  const MadeName made = MakeLaunchName(request.values[0], request.values[1], request.values[2]);
  if (!made.refusal.empty()) return Answer::Failure(kExitRefused, "refused: " + made.refusal);
  const std::string utf8Name = Cp1251ToUtf8(made.name);
  if (request.Has("--exe")) {
    const std::string exePath = request.Option("--exe");
    const FileBytes exe = ReadInputFile(exePath, kMaxExecutableSize, exePath);
    if (!exe.error.empty()) return Answer::Failure(kExitFileError, exe.error);
    const std::filesystem::path out(request.Option("--out"));
    const std::string error =
        WriteNewFiles({{(out / utf8Name).string(), exe.bytes, 0755, (out / MaskedLaunchName(utf8Name)).string()}});
    if (!error.empty()) return Answer::Failure(kExitFileError, error);
  }
  const std::string disposition = ContentDisposition(utf8Name);
  const std::string json = JsonObject().Text("name", utf8Name).Text("content_disposition", disposition).Json();
  if (request.Has("--header")) return Done(json, "Content-Disposition: " + disposition + "\n");
  return Done(json, utf8Name + "\n");
}

// What the launcher would do with a name: the answer of check.
Answer Describe(const NameCheck& check, bool showPassword) {
  const LaunchFields& f = check.fields;
  const auto text = [](std::string_view bytes) { return Cp1251ToUtf8(bytes); };
  const std::string password = showPassword ? text(f.password) : std::string(f.password.empty() ? "" : "***");
  const bool valid = check.renameReason.empty();
  const ConnectionTarget t = valid ? check.profile->target : ConnectionTarget{};
  const std::string_view companionHost = valid ? check.profile->companionHost : std::string_view();

  JsonObject json;
  json.Bool("valid", valid).Text("user", text(f.userName)).Text("password", password);
  json.Bool("browser_safe", check.browserChange.empty());
  std::string out;
  // A copy already on a user's machine is what it is: the warning says why a browser
  // would not have delivered this name intact, and the rest still tells what it does.
  if (!check.browserChange.empty()) {
    out += "warning:      a browser changes this name when it saves it (it holds " + check.browserChange + ")\n";
  }
  out += "user name:    " + PrintableText(text(f.userName)) + "\npassword:     " + PrintableText(password) + "\n";
  if (!valid) {
    json.Text("reason", check.renameReason);
    out += "the launcher shows the rename message: " + PrintableText(check.renameReason) + "\n";
    return {kExitRefused, json.Json(), out, {}};
  }
  json.Text("display_name", text(t.displayName)).Text("alias", text(t.alias)).Text("host", t.host);
  json.Text("port", t.port);
  companionHost.empty() ? json.Null("companion_host") : json.Text("companion_host", companionHost);
  out += "desktop file: " + text(t.displayName) + ".rdp\nalias:        " + text(t.alias) +
         "\nserver:       " + std::string(t.host) + ":" + std::string(t.port) + "\ncompanion:    " +
         (companionHost.empty() ? std::string("none")
                                : text(kCompanionApplication.displayName) + ".rdp on " + std::string(companionHost)) +
         "\n";
  return Done(json.Json(), out);
}

// The one NAME value of check and rdp, read and checked, or the answer to its refusal.
std::variant<NameCheck, Answer> CheckedName(const Request& request) {
  const std::optional<std::string> name = LaunchNameFromArgument(request.values[0]);
  if (!name) return Answer::Failure(kExitRefused, "the name has characters without a code page 1251 byte");
  return CheckLaunchName(*name);
}

Answer Check(const Request& request) {
  auto checked = CheckedName(request);
  if (Answer* refused = std::get_if<Answer>(&checked)) return *refused;
  return Describe(std::get<NameCheck>(checked), request.Has("--show-password"));
}

// The signing identity that files name: every file read as a bounded regular file, the
// passphrase by the one rule the build follows too.
std::variant<SigningIdentity, Answer> LoadIdentity(const std::string& certificate, const std::string& key,
                                                   const std::string& chain, const std::string& passphraseFile) {
  SigningFiles files;
  for (const auto& [path, pem] : {std::pair{&certificate, &files.certificate}, std::pair{&key, &files.key}}) {
    FileBytes read = ReadInputFile(*path, kMaxInputFileSize, *path);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    *pem = {*path, std::move(read.bytes)};
  }
  if (!chain.empty()) {
    FileBytes read = ReadInputFile(chain, kMaxInputFileSize, chain);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.chain = PemFile{chain, std::move(read.bytes)};
  }
  if (!passphraseFile.empty()) {
    FileBytes read = PassphraseOf(passphraseFile);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.passphrase = std::move(read.bytes);
    files.passphrasePath = passphraseFile;
  }
  auto identity = SigningIdentity::Load(files);
  if (files.passphrase) std::fill(files.passphrase->begin(), files.passphrase->end(), '\0');
  if (const std::string* error = std::get_if<std::string>(&identity)) return Answer::Failure(kExitFileError, *error);
  return std::move(std::get<SigningIdentity>(identity));
}

// A connection file's bytes as text: UTF-16LE after its byte order mark, or code page 1251.
std::string TextOfFile(std::string_view bytes) {
  if (!bytes.starts_with(kUtf16ByteOrderMark)) return Cp1251ToUtf8(bytes);
  return Utf16LeToUtf8(bytes.substr(kUtf16ByteOrderMark.size()));
}

Answer Rdp(const Request& request) {
  auto checked = CheckedName(request);
  if (Answer* refused = std::get_if<Answer>(&checked)) return *refused;
  const NameCheck& check = std::get<NameCheck>(checked);
  if (!check.renameReason.empty()) {
    return Answer::Failure(kExitRefused, "the launcher writes no file: " + check.renameReason);
  }
  std::optional<SigningIdentity> identity;
  if (request.Has("--sign")) {
    auto loaded = LoadIdentity(request.Option("--sign", 0), request.Option("--sign", 1), request.Option("--chain"),
                               request.Option("--key-password-file"));
    if (Answer* failed = std::get_if<Answer>(&loaded)) return *failed;
    identity.emplace(std::move(std::get<SigningIdentity>(loaded)));
  }
  std::vector<NewFile> files;
  for (const ConnectionTarget& target : RowFiles(*check.profile)) {
    const std::string name = Cp1251ToUtf8(target.displayName) + ".rdp";
    const std::string path = (std::filesystem::path(request.Option("--out")) / name).string();
    files.push_back(
        {path, identity ? SignedConnectionFileContent(*identity, target) : ConnectionFileContent(target), 0644, path});
  }
  std::string list;
  for (const NewFile& file : files) {
    list += (list.empty() ? "" : ", ") + JsonObject()
                                             .Text("name", std::filesystem::path(file.path).filename().string())
                                             .Text("content", TextOfFile(file.bytes))
                                             .Json();
  }
  const std::string json = JsonObject()
                               .Bool("valid", true)
                               .Bool("signed", identity.has_value())
                               .Bool("written", request.Has("--out"))
                               .Raw("files", "[" + list + "]")
                               .Json();
  if (!request.Has("--out")) return Done(json, files.front().bytes);
  const std::string error = WriteNewFiles(files);
  if (!error.empty()) return Answer::Failure(kExitFileError, error);
  return Done(json, {});
}

Answer Verify(const Request& request) {
  const std::string& path = request.values[0];
  const FileBytes file = ReadInputFile(path, kMaxInputFileSize, path);
  if (!file.error.empty()) return Answer::Failure(kExitFileError, file.error);
  std::string trusted;
  if (request.Has("--cert")) {
    const std::string certificate = request.Option("--cert");
    FileBytes read = ReadInputFile(certificate, kMaxInputFileSize, certificate);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    if (CertificateCount(read.bytes) == 0) {
      return Answer::Failure(kExitFileError, "cannot read " + certificate + ": it holds no PEM certificate");
    }
    trusted = std::move(read.bytes);
  }
  const SignatureCheck check = CheckSignedFile(file.bytes, trusted);
  JsonObject json;
  json.Bool("valid", check.good).Bool("publisher_checked", check.good && check.publisherChecked);
  if (!check.good) {
    json.Text("reason", check.reason);
    return {kExitRefused, json.Json(), "bad signature: " + PrintableText(check.reason) + "\n", {}};
  }
  json.Text("publisher", check.publisher).Text("thumbprint", check.thumbprint);
  // What the signature leaves out, a client takes from the file as it is.
  std::string uncovered;
  std::string uncoveredJson;
  for (const std::string& name : check.uncovered) {
    uncovered += (uncovered.empty() ? "" : ", ") + PrintableText(name);
    uncoveredJson += (uncoveredJson.empty() ? "" : ", ") + JsonString(name);
  }
  json.Raw("uncovered", "[" + uncoveredJson + "]");
  // A valid signature by anyone at all is no reason to trust the file: only --cert says whose it must be.
  const std::string text =
      std::string(check.publisherChecked ? "good signature" : "signature valid, publisher not checked") +
      "\npublisher:  " + PrintableText(check.publisher) + "\nthumbprint: " + check.thumbprint +
      "\nnot covered by the signature: " + (uncovered.empty() ? std::string("nothing") : uncovered) + "\n";
  return {check.publisherChecked ? kExitDone : kExitPublisherNotChecked, json.Json(), text, {}};
}

// A C++ string literal of any bytes: octal escapes, which never run into what follows.
std::string CppLiteral(std::string_view bytes) {
  std::string literal = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\' && c != '?') {
      literal += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
      literal += escaped;
    }
  }
  return literal + "\"";
}

// Every file the launcher can write, once per alias, host and port (which alone decide a
// file's lines).
Answer Signatures(const Request& request) {
  if (!request.Has("--cert") || !request.Has("--out")) {
    return Answer::Failure(kExitUsage,
                           "signatures needs --cert, --key and --out: " + UsageLine(*FindCommand("signatures")));
  }
  auto loaded = LoadIdentity(request.Option("--cert"), request.Option("--key"), request.Option("--chain"),
                             request.Option("--key-password-file"));
  if (Answer* failed = std::get_if<Answer>(&loaded)) return *failed;
  const SigningIdentity& identity = std::get<SigningIdentity>(loaded);
  std::string entries;
  std::vector<ConnectionTarget> signedTargets;
  for (const ProductProfile& profile : ProfileTable()) {
    for (const ConnectionTarget& target : RowFiles(profile)) {
      const auto sameLines = [&](const ConnectionTarget& t) {
        return SameLines(t, target.alias, target.host, target.port);
      };
      if (std::any_of(signedTargets.begin(), signedTargets.end(), sameLines)) continue;
      signedTargets.push_back(target);
      const MadeSignature made = SignConnectionFile(identity, target);
      if (made.signature.empty()) {
        return Answer::Failure(kExitFileError, "signing failed for " + Cp1251ToUtf8(target.displayName) + ".rdp");
      }
      entries += "    FileSignature{" + CppLiteral(target.alias) + ", " + CppLiteral(target.host) + ", " +
                 CppLiteral(target.port) + ", " + CppLiteral(made.scope) + ",\n                  " +
                 CppLiteral(made.signature) + "},\n";
    }
  }
  const std::string header =
      "// Made by rdplaunch-name signatures for the certificate\n// " + identity.Subject() + " (SHA-1 " +
      identity.Thumbprint() +
      ").\n#pragma once\n\n#include <array>\n\n#include \"rdpfile/connection_file.h\"\n\nnamespace rdplaunch {\n\n"
      "inline constexpr std::array<FileSignature, " +
      std::to_string(signedTargets.size()) + "> kFileSignatures{\n" + entries + "};\n\n}  // namespace rdplaunch\n";
  const std::string out = request.Option("--out");
  if (const std::string error = WriteNewFiles({{out, header, 0644, out}}); !error.empty()) {
    return Answer::Failure(kExitFileError, error);
  }
  const std::string json = JsonObject()
                               .Bool("valid", true)
                               .Number("files", static_cast<long long>(signedTargets.size()))
                               .Text("publisher", identity.Subject())
                               .Text("thumbprint", identity.Thumbprint())
                               .Json();
  return Done(json, "signed " + std::to_string(signedTargets.size()) + " connection files\npublisher:  " +
                        PrintableText(identity.Subject()) + "\nthumbprint: " + identity.Thumbprint() + "\n");
}

}  // namespace

std::span<const CommandRow> CommandTable() { return kCommands; }

const CommandRow* FindCommand(std::string_view name) {
  const auto found =
      std::find_if(kCommands.begin(), kCommands.end(), [&](const CommandRow& c) { return c.name == name; });
  return found == kCommands.end() ? nullptr : &*found;
}

std::string UsageLine(const CommandRow& command) {
  std::string line = "rdplaunch-name ";
  line.append(command.name);
  for (const std::string_view value : command.values) line.append(" ").append(value);
  if (!command.usage.empty()) line.append(" ").append(command.usage);
  return line;
}

std::string HelpText() {
  std::string help = "usage:\n";
  for (const CommandRow& command : kCommands) {
    help += "  " + UsageLine(command) + "\n";
    std::string_view text = command.help;
    while (!text.empty()) {
      const std::size_t end = std::min(text.find('\n'), text.size());
      help += "      " + std::string(text.substr(0, end)) + "\n";
      text.remove_prefix(std::min(end + 1, text.size()));
    }
  }
  return help + "\n" + std::string(kHelpEnd);
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine parsed;
  if (arguments.empty()) return parsed;
  if (arguments[0] == "--help" || arguments[0] == "-h") {
    parsed.help = true;
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
  parsed.jsonErrors = FindOption(command, kJson) != nullptr &&
                      std::find(arguments.begin() + 1, arguments.end(), kJson) != arguments.end();
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
  for (const OptionRow& option : command.options) {
    if (request.Has(option.name) && !option.needs.empty() && !request.Has(option.needs)) {
      parsed.error = std::string(option.name) + " goes with " + std::string(option.needs) + ": " + UsageLine(command);
      return parsed;
    }
  }
  parsed.json = request.Has(kJson);
  return parsed;
}

Answer RunCommand(const ParsedCommandLine& parsed) {
  if (!parsed.error.empty()) return Answer::Failure(kExitUsage, parsed.error + "; see --help");
  if (parsed.command == nullptr || parsed.command->handler == nullptr) {
    return Answer::Failure(kExitUsage, "wrong usage; see --help");
  }
  return parsed.command->handler(parsed.request);
}

}  // namespace rdplaunch
