// rdplaunch-name: makes launcher names for the hosting service and tells support staff
// what the launcher would do with a given file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <variant>
#include <vector>

#include "hosting/launch_name_maker.h"
#include "launch/launch_name.h"
#include "launch/profiles.h"
#include "rdpfile/connection_file.h"
#include "rdpfile/signed_file.h"
#include "signing/rdp_signing.h"
#include "text/cp1251.h"
#include "text/path_name.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFileError = 3;
constexpr int kExitPublisherNotChecked = 4;

constexpr const char kHelp[] = R"(usage:
  rdplaunch-name make KEY USER PASSWORD [--json | --header] [--exe PATH --out DIR]
      Checks that key, user name and password can travel in a Windows file name through
      a browser's download and come back unchanged, and prints the launcher name
      KEY$USER$PASSWORD$.exe; with --json, the name and the Content-Disposition value to
      serve the launcher under it; with --header, that header line. With --exe, copies
      the launcher PATH under that name into DIR.
  rdplaunch-name check NAME [--json] [--show-password]
      Tells what the launcher would do with a file of that name (a path is fine), and
      warns when a browser would not deliver the name intact.
  rdplaunch-name rdp NAME [--out DIR] [--sign CERT KEY [--chain CHAIN] [--key-password-file FILE]]
      Prints the connection file the launcher would write for NAME; with --out, writes it
      (and the companion file, where the edition has one) into DIR. With --sign, the file
      a launcher built with that certificate and key (PEM files) writes: signed. An
      encrypted key's passphrase is the first line of FILE; nothing asks on a terminal.
  rdplaunch-name verify FILE.rdp [--cert CERT]
      Checks a signed connection file at least as strictly as the Remote Desktop client
      and prints its publisher and the certificate's SHA-1 thumbprint; with --cert, the
      signer's chain must lead to a certificate of that PEM file. Exit code 0 for a good
      signature from that publisher, 4 for a valid signature whose publisher was not
      checked (no --cert), 1 for a bad one.
  rdplaunch-name signatures --cert CERT --key KEY [--chain CHAIN] [--key-password-file FILE] --out HEADER
      Signs every connection file the launcher can write and writes the C++ header the
      Windows build compiles in (the build runs this; the key never leaves this machine).

A command's values come first and are values whatever they start with ("--" may stand
before them); its options follow. Text is UTF-8 and is written as the code page 1251
bytes the launcher reads. Files are written under a temporary name in DIR and then
renamed, so a link or anything else that already has the name is replaced, never written
through. With --json, errors are JSON too.
Exit codes: 0 done, 1 refused (or the launcher would ask not to rename the file),
2 wrong usage, 3 a file could not be read or written, 4 (verify) publisher not checked.
)";

struct Arguments {
  std::string command;
  std::vector<std::string> positional;  // the command's values, command excluded
  std::string exe;
  std::string out;
  std::string cert;
  std::string key;
  std::string chain;
  std::string keyPasswordFile;
  bool json = false;
  bool jsonErrors = false;
  bool header = false;
  bool showPassword = false;
  bool help = false;
  std::string error;  // what was wrong with the arguments; never one of them, which may be a password
};

// What each command takes: how many values, then which options. A value stands where it
// stands whatever it starts with (a password may begin with "-"); "--" may come first.
struct CommandShape {
  const char* name;
  std::size_t values;
  std::vector<std::string_view> options;  // those with a value end in '=', --sign takes two
};

const CommandShape kCommands[] = {
    {"make", 3, {"--exe=", "--out=", "--json", "--header"}},
    {"check", 1, {"--json", "--show-password"}},
    {"rdp", 1, {"--out=", "--sign", "--chain=", "--key-password-file=", "--json"}},
    {"verify", 1, {"--cert=", "--json"}},
    {"signatures", 0, {"--cert=", "--key=", "--chain=", "--key-password-file=", "--out=", "--json"}},
};

Arguments ParseArguments(int argc, char** argv) {
  Arguments arguments;
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty() || all[0] == "--help" || all[0] == "-h") {
    arguments.help = !all.empty();
    return arguments;
  }
  arguments.command = all[0];
  const auto shape = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [&](const CommandShape& c) { return arguments.command == c.name; });
  if (shape == std::end(kCommands)) {
    arguments.error = "no such command; see --help";
    return arguments;
  }
  // An error is answered in JSON when "--json" stands anywhere, even where a value was
  // expected (too few values); an answer only when it stands among the options.
  arguments.jsonErrors = std::find(all.begin() + 1, all.end(), "--json") != all.end() &&
                         std::find(shape->options.begin(), shape->options.end(), "--json") != shape->options.end();
  std::size_t i = 1;
  if (i < all.size() && all[i] == "--") ++i;
  for (; arguments.positional.size() < shape->values; ++i) {
    if (i >= all.size()) {
      arguments.error = "wrong usage";
      return arguments;
    }
    arguments.positional.push_back(all[i]);
  }
  for (; i < all.size(); ++i) {
    const std::string& option = all[i];
    const auto known = std::find_if(shape->options.begin(), shape->options.end(), [&](std::string_view o) {
      return o == option || (o.ends_with('=') && o.substr(0, o.size() - 1) == option);
    });
    if (known == shape->options.end() || (option == "--sign" && i + 2 >= all.size()) ||
        (known->ends_with('=') && i + 1 >= all.size())) {
      arguments.error =
          "argument " + std::to_string(i + 1) + " is not an option of " + arguments.command + " or lacks its value";
      return arguments;
    }
    if (option == "--json") {
      arguments.json = true;
    } else if (option == "--header") {
      arguments.header = true;
    } else if (option == "--show-password") {
      arguments.showPassword = true;
    } else if (option == "--sign") {
      arguments.cert = all[++i];
      arguments.key = all[++i];
    } else {
      std::string& value = option == "--exe"     ? arguments.exe
                           : option == "--out"   ? arguments.out
                           : option == "--cert"  ? arguments.cert
                           : option == "--key"   ? arguments.key
                           : option == "--chain" ? arguments.chain
                                                 : arguments.keyPasswordFile;
      value = all[++i];
    }
  }
  return arguments;
}

// Valid UTF-8 for any bytes: each byte that is not part of a well-formed character shows
// as the text \xHH, so that a name with malformed bytes can still be reported.
std::string PrintableUtf8(std::string_view bytes) {
  std::string out;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t start = pos;
    const char32_t codePoint = rdplaunch::NextUtf8CodePoint(bytes, pos);
    const std::string_view piece = bytes.substr(start, pos - start);
    const bool wellFormed = codePoint != rdplaunch::kNotACodePoint;
    if (wellFormed) {
      out += piece;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[start]));
    out += escaped;
    pos = start + 1;
  }
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : PrintableUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A name from the command line: UTF-8, possibly with a folder in front.
std::optional<std::string> LaunchNameFromArgument(const std::string& argument) {
  const std::size_t slash = argument.find_last_of('/');
  std::optional<std::string> bytes =
      rdplaunch::Utf8ToCp1251(slash == std::string::npos ? argument : argument.substr(slash + 1));
  if (bytes) *bytes = std::string(rdplaunch::FileNamePart(*bytes));
  return bytes;
}

// Reports an error, as a JSON object on standard output when --json asked for JSON,
// and returns the exit code.
int Fail(const Arguments& arguments, int exitCode, const std::string& message) {
  if (arguments.json || arguments.jsonErrors) {
    std::cout << "{\"valid\": false, \"error\": " << JsonString(message) << "}\n";
  } else {
    std::cerr << "rdplaunch-name: " << PrintableUtf8(message) << "\n";
  }
  return exitCode;
}

// Writes a new file at path: the bytes go into a temporary file created in the same
// folder (never an existing one, never through a link), which is then renamed to path.
// Whatever had that name before, a link included, is replaced and not written through.
std::string WriteNewFile(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
  // A short temporary name: the final one may already be as long as the file system allows.
  std::string temporary = (path.parent_path() / ".rdplaunch-XXXXXX").string();
  const int file = mkstemp(temporary.data());
  if (file < 0) return "cannot create a file in " + path.parent_path().string() + ": " + std::strerror(errno);
  bool written = fchmod(file, mode) == 0;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t count = write(file, bytes.data() + done, bytes.size() - done);
    written = count > 0;
    if (written) done += static_cast<std::size_t>(count);
  }
  const int error = errno;
  if (close(file) != 0) written = false;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return {};
  const std::string reason = std::strerror(written ? errno : error);
  unlink(temporary.c_str());
  return "cannot write " + path.string() + ": " + reason;
}

struct FileBytes {
  std::string bytes;
  std::string error;  // empty when the file was read
};

// Reads a whole regular file; says why when it cannot (a folder, say).
FileBytes ReadWholeFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {{}, "cannot read " + path + ": not a regular file"};
  std::ifstream in(path, std::ios::binary);
  FileBytes file{{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, {}};
  if (!in) file.error = "cannot read " + path;
  return file;
}

int Make(const Arguments& arguments) {
  if (arguments.exe.empty() != arguments.out.empty()) {
    return Fail(arguments, kExitUsage, "make KEY USER PASSWORD [--json | --header] [--exe PATH --out DIR]");
  }
  const rdplaunch::MadeName made =
      rdplaunch::MakeLaunchName(arguments.positional[0], arguments.positional[1], arguments.positional[2]);
  if (!made.refusal.empty()) return Fail(arguments, kExitRefused, "refused: " + made.refusal);
  const std::string utf8Name = rdplaunch::Cp1251ToUtf8(made.name);
  if (!arguments.exe.empty()) {
    const FileBytes exe = ReadWholeFile(arguments.exe);
    if (!exe.error.empty()) return Fail(arguments, kExitFileError, exe.error);
    const std::string error = WriteNewFile(std::filesystem::path(arguments.out) / utf8Name, exe.bytes, 0755);
    if (!error.empty()) return Fail(arguments, kExitFileError, error);
  }
  const std::string disposition = rdplaunch::ContentDisposition(utf8Name);
  if (arguments.json) {
    std::cout << "{\"name\": " << JsonString(utf8Name) << ", \"content_disposition\": " << JsonString(disposition)
              << "}\n";
  } else if (arguments.header) {
    std::cout << "Content-Disposition: " << disposition << "\n";
  } else {
    std::cout << utf8Name << "\n";
  }
  return 0;
}

void PrintCheck(const rdplaunch::NameCheck& check, const Arguments& arguments) {
  const rdplaunch::LaunchFields& f = check.fields;
  const auto text = [](std::string_view bytes) { return rdplaunch::Cp1251ToUtf8(bytes); };
  const std::string password = arguments.showPassword ? text(f.password) : std::string(f.password.empty() ? "" : "***");
  const bool valid = check.renameReason.empty();
  const rdplaunch::ConnectionTarget t = valid ? check.profile->target : rdplaunch::ConnectionTarget{};
  const std::string_view companionHost = valid ? check.profile->companionHost : std::string_view();
  if (arguments.json) {
    std::cout << "{\"valid\": " << (valid ? "true" : "false") << ", \"user\": " << JsonString(text(f.userName))
              << ", \"password\": " << JsonString(password)
              << ", \"browser_safe\": " << (check.browserChange.empty() ? "true" : "false");
    if (valid) {
      std::cout << ", \"display_name\": " << JsonString(text(t.displayName))
                << ", \"alias\": " << JsonString(text(t.alias)) << ", \"host\": " << JsonString(t.host)
                << ", \"port\": " << JsonString(t.port)
                << ", \"companion_host\": " << (companionHost.empty() ? "null" : JsonString(companionHost));
    } else {
      std::cout << ", \"reason\": " << JsonString(check.renameReason);
    }
    std::cout << "}\n";
    return;
  }
  // A copy already on a user's machine is what it is: the warning says why a browser
  // would not have delivered this name intact, and the rest still tells what it does.
  if (!check.browserChange.empty()) {
    std::cout << "warning:      a browser changes this name when it saves it (it holds " << check.browserChange
              << ")\n";
  }
  std::cout << "user name:    " << text(f.userName) << "\npassword:     " << password << "\n";
  if (!valid) {
    std::cout << "the launcher shows the rename message: " << check.renameReason << "\n";
    return;
  }
  std::cout << "desktop file: " << text(t.displayName) << ".rdp\nalias:        " << text(t.alias)
            << "\nserver:       " << t.host << ":" << t.port << "\ncompanion:    "
            << (companionHost.empty()
                    ? std::string("none")
                    : text(rdplaunch::kCompanionApplication.displayName) + ".rdp on " + std::string(companionHost))
            << "\n";
}

// The one NAME argument of check and rdp, read and checked; an exit code when that fails.
std::variant<rdplaunch::NameCheck, int> CheckNameArgument(const Arguments& arguments) {
  const std::optional<std::string> name = LaunchNameFromArgument(arguments.positional[0]);
  if (!name) return Fail(arguments, kExitRefused, "the name has characters without a code page 1251 byte");
  return rdplaunch::CheckLaunchName(*name);
}

int Check(const Arguments& arguments) {
  auto checked = CheckNameArgument(arguments);
  if (const int* exitCode = std::get_if<int>(&checked)) return *exitCode;
  const rdplaunch::NameCheck& check = std::get<rdplaunch::NameCheck>(checked);
  PrintCheck(check, arguments);
  return check.renameReason.empty() ? 0 : kExitRefused;
}

// The signing identity the arguments name, or the exit code of the failure to load it.
std::variant<rdplaunch::SigningIdentity, int> LoadIdentity(const Arguments& arguments) {
  auto identity =
      rdplaunch::SigningIdentity::Load(arguments.cert, arguments.key, arguments.chain, arguments.keyPasswordFile);
  if (const std::string* error = std::get_if<std::string>(&identity)) return Fail(arguments, kExitFileError, *error);
  return std::move(std::get<rdplaunch::SigningIdentity>(identity));
}

// The file's bytes, signed with the identity when there is one.
std::string FileContent(const rdplaunch::ConnectionTarget& target, const rdplaunch::SigningIdentity* identity) {
  if (identity == nullptr) return rdplaunch::ConnectionFileContent(target);
  return rdplaunch::SignedConnectionFileContent(*identity, target);
}

int Rdp(const Arguments& arguments) {
  auto checked = CheckNameArgument(arguments);
  if (const int* exitCode = std::get_if<int>(&checked)) return *exitCode;
  rdplaunch::NameCheck& check = std::get<rdplaunch::NameCheck>(checked);
  if (!check.renameReason.empty()) {
    return Fail(arguments, kExitRefused, "the launcher writes no file: " + check.renameReason);
  }
  std::optional<rdplaunch::SigningIdentity> identity;
  if (!arguments.cert.empty() || !arguments.key.empty()) {
    auto loaded = LoadIdentity(arguments);
    if (const int* exitCode = std::get_if<int>(&loaded)) return *exitCode;
    identity.emplace(std::move(std::get<rdplaunch::SigningIdentity>(loaded)));
  }
  const rdplaunch::SigningIdentity* signer = identity ? &*identity : nullptr;
  if (arguments.out.empty()) {
    std::cout << FileContent(check.profile->target, signer);
    return 0;
  }
  std::vector<rdplaunch::ConnectionTarget> files{check.profile->target};
  if (const auto companion = rdplaunch::CompanionTarget(*check.profile)) files.push_back(*companion);
  for (const rdplaunch::ConnectionTarget& target : files) {
    const std::filesystem::path path =
        std::filesystem::path(arguments.out) / (rdplaunch::Cp1251ToUtf8(target.displayName) + ".rdp");
    const std::string error = WriteNewFile(path, FileContent(target, signer), 0644);
    if (!error.empty()) return Fail(arguments, kExitFileError, error);
  }
  return 0;
}

}  // namespace

int Verify(const Arguments& arguments) {
  const FileBytes file = ReadWholeFile(arguments.positional[0]);
  if (!file.error.empty()) return Fail(arguments, kExitFileError, file.error);
  const rdplaunch::SignatureCheck check = rdplaunch::CheckSignedFile(file.bytes, arguments.cert);
  if (!check.good) {
    std::cout << "bad signature: " << check.reason << "\n";
    return kExitRefused;
  }
  // A valid signature by anyone at all is no reason to trust the file: only --cert says whose it must be.
  std::cout << (check.publisherChecked ? "good signature" : "signature valid, publisher not checked")
            << "\npublisher:  " << check.publisher << "\nthumbprint: " << check.thumbprint << "\n";
  return check.publisherChecked ? 0 : kExitPublisherNotChecked;
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

// Every file the launcher can write: each row's and each companion's, once per alias,
// host and port (which alone decide a file's lines).
int Signatures(const Arguments& arguments) {
  if (arguments.cert.empty() || arguments.key.empty() || arguments.out.empty()) {
    return Fail(arguments, kExitUsage, "signatures --cert CERT --key KEY [--chain CHAIN] --out HEADER");
  }
  auto loaded = LoadIdentity(arguments);
  if (const int* exitCode = std::get_if<int>(&loaded)) return *exitCode;
  const rdplaunch::SigningIdentity& identity = std::get<rdplaunch::SigningIdentity>(loaded);
  std::vector<rdplaunch::ConnectionTarget> targets;
  for (const rdplaunch::ProductProfile& profile : rdplaunch::ProfileTable()) {
    targets.push_back(profile.target);
    if (const auto companion = rdplaunch::CompanionTarget(profile)) targets.push_back(*companion);
  }
  std::string header =
      "// Made by rdplaunch-name signatures for the certificate\n// " + identity.Subject() + " (SHA-1 " +
      identity.Thumbprint() +
      ").\n#pragma once\n\n#include <array>\n\n#include \"rdpfile/connection_file.h\"\n\nnamespace rdplaunch {\n\n";
  std::string entries;
  std::vector<std::string> signedKeys;
  for (const rdplaunch::ConnectionTarget& target : targets) {
    const std::string key =
        std::string(target.alias) + '\n' + std::string(target.host) + '\n' + std::string(target.port);
    if (std::find(signedKeys.begin(), signedKeys.end(), key) != signedKeys.end()) continue;
    signedKeys.push_back(key);
    const rdplaunch::MadeSignature made = rdplaunch::SignConnectionFile(identity, target);
    if (made.signature.empty()) return Fail(arguments, kExitFileError, "signing failed for " + key);
    entries += "    FileSignature{" + CppLiteral(target.alias) + ", " + CppLiteral(target.host) + ", " +
               CppLiteral(target.port) + ", " + CppLiteral(made.scope) + ",\n                  " +
               CppLiteral(made.signature) + "},\n";
  }
  header += "inline constexpr std::array<FileSignature, " + std::to_string(signedKeys.size()) + "> kFileSignatures{\n" +
            entries + "};\n\n}  // namespace rdplaunch\n";
  const std::string error = WriteNewFile(arguments.out, header, 0644);
  if (!error.empty()) return Fail(arguments, kExitFileError, error);
  std::cout << "signed " << signedKeys.size() << " connection files\npublisher:  " << identity.Subject()
            << "\nthumbprint: " << identity.Thumbprint() << "\n";
  return 0;
}

int Run(const Arguments& arguments) {
  if (arguments.help) {
    std::cout << kHelp;
    return 0;
  }
  if (arguments.command.empty()) {
    std::cerr << kHelp;
    return kExitUsage;
  }
  if (!arguments.error.empty()) return Fail(arguments, kExitUsage, arguments.error + "; see --help");
  if (arguments.command == "make") return Make(arguments);
  if (arguments.command == "check") return Check(arguments);
  if (arguments.command == "rdp") return Rdp(arguments);
  if (arguments.command == "verify") return Verify(arguments);
  return Signatures(arguments);
}

// A file error the library reports by exception (a folder read as a file, say) ends like
// any other: a message and exit code 3, never an abort.
int main(int argc, char** argv) {
  const Arguments arguments = ParseArguments(argc, argv);
  try {
    return Run(arguments);
  } catch (const std::exception& failure) {
    return Fail(arguments, kExitFileError, failure.what());
  }
}
