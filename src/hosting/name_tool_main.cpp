// rdplaunch-name: makes launcher names for the hosting service and tells support staff
// what the launcher would do with a given file.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "hosting/launch_name_maker.h"
#include "launch/launch_name.h"
#include "launch/profiles.h"
#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFileError = 3;

constexpr const char kHelp[] = R"(usage:
  rdplaunch-name make KEY USER PASSWORD [--exe PATH --out DIR]
      Checks that key, user name and password can travel in a Windows file name and come
      back unchanged, and prints the launcher name KEY$USER$PASSWORD$.exe. With --exe,
      copies the launcher PATH under that name into DIR.
  rdplaunch-name check NAME [--json] [--show-password]
      Tells what the launcher would do with a file of that name (a path is fine).
  rdplaunch-name rdp NAME [--out DIR]
      Prints the connection file the launcher would write for NAME; with --out, writes it
      (and the companion file, where the edition has one) into DIR.

Text is UTF-8 and is written as the code page 1251 bytes the launcher reads.
Exit codes: 0 done, 1 refused (or the launcher would ask not to rename the file),
2 wrong usage, 3 a file could not be read or written.
)";

struct Arguments {
  std::vector<std::string> positional;
  std::string exe;
  std::string out;
  bool json = false;
  bool showPassword = false;
  bool help = false;
};

std::optional<Arguments> ParseArguments(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      arguments.help = true;
    } else if (argument == "--json") {
      arguments.json = true;
    } else if (argument == "--show-password") {
      arguments.showPassword = true;
    } else if ((argument == "--exe" || argument == "--out") && i + 1 < argc) {
      (argument == "--exe" ? arguments.exe : arguments.out) = argv[++i];
    } else if (argument.rfind("--", 0) == 0) {
      std::cerr << "rdplaunch-name: unknown option " << argument << "\n";
      return std::nullopt;
    } else {
      arguments.positional.push_back(argument);
    }
  }
  return arguments;
}

// A name from the command line: UTF-8, possibly with a folder in front.
std::optional<std::string> LaunchNameFromArgument(const std::string& argument) {
  const std::size_t slash = argument.find_last_of('/');
  std::optional<std::string> bytes =
      rdplaunch::Utf8ToCp1251(slash == std::string::npos ? argument : argument.substr(slash + 1));
  if (!bytes) std::cerr << "rdplaunch-name: the name has characters without a code page 1251 byte\n";
  if (bytes) *bytes = rdplaunch::LastPathComponent(*bytes, rdplaunch::LeadBytes());
  return bytes;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

int Make(const Arguments& arguments) {
  if (arguments.positional.size() != 4 || arguments.exe.empty() != arguments.out.empty()) {
    std::cerr << "rdplaunch-name: make KEY USER PASSWORD [--exe PATH --out DIR]\n";
    return kExitUsage;
  }
  const rdplaunch::MadeName made =
      rdplaunch::MakeLaunchName(arguments.positional[1], arguments.positional[2], arguments.positional[3]);
  if (!made.refusal.empty()) {
    std::cerr << "rdplaunch-name: refused: " << made.refusal << "\n";
    return kExitRefused;
  }
  const std::string utf8Name = rdplaunch::Cp1251ToUtf8(made.name);
  if (!arguments.exe.empty()) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::path(arguments.out) / utf8Name;
    std::filesystem::copy_file(arguments.exe, target, std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
      std::cerr << "rdplaunch-name: cannot copy " << arguments.exe << " to " << target << ": " << error.message()
                << "\n";
      return kExitFileError;
    }
  }
  std::cout << utf8Name << "\n";
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
              << ", \"password\": " << JsonString(password);
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
std::variant<rdplaunch::NameCheck, int> CheckNameArgument(const Arguments& arguments, const char* usage) {
  if (arguments.positional.size() != 2) {
    std::cerr << "rdplaunch-name: " << usage << "\n";
    return kExitUsage;
  }
  const std::optional<std::string> name = LaunchNameFromArgument(arguments.positional[1]);
  if (!name) return kExitRefused;
  return rdplaunch::CheckLaunchName(*name);
}

int Check(const Arguments& arguments) {
  auto checked = CheckNameArgument(arguments, "check NAME [--json] [--show-password]");
  if (const int* exitCode = std::get_if<int>(&checked)) return *exitCode;
  const rdplaunch::NameCheck& check = std::get<rdplaunch::NameCheck>(checked);
  PrintCheck(check, arguments);
  return check.renameReason.empty() ? 0 : kExitRefused;
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) std::cerr << "rdplaunch-name: cannot write " << path << "\n";
  return static_cast<bool>(file);
}

int Rdp(const Arguments& arguments) {
  auto checked = CheckNameArgument(arguments, "rdp NAME [--out DIR]");
  if (const int* exitCode = std::get_if<int>(&checked)) return *exitCode;
  rdplaunch::NameCheck& check = std::get<rdplaunch::NameCheck>(checked);
  if (!check.renameReason.empty()) {
    std::cerr << "rdplaunch-name: the launcher writes no file: " << check.renameReason << "\n";
    return kExitRefused;
  }
  if (arguments.out.empty()) {
    std::cout << rdplaunch::ConnectionFileContent(check.profile->target);
    return 0;
  }
  std::vector<rdplaunch::ConnectionTarget> files{check.profile->target};
  if (const auto companion = rdplaunch::CompanionTarget(*check.profile)) files.push_back(*companion);
  for (const rdplaunch::ConnectionTarget& target : files) {
    const std::filesystem::path path =
        std::filesystem::path(arguments.out) / (rdplaunch::Cp1251ToUtf8(target.displayName) + ".rdp");
    if (!WriteFile(path, rdplaunch::ConnectionFileContent(target))) return kExitFileError;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> arguments = ParseArguments(argc, argv);
  if (!arguments) return kExitUsage;
  if (arguments->help) {
    std::cout << kHelp;
    return 0;
  }
  const std::string command = arguments->positional.empty() ? "" : arguments->positional[0];
  if (command == "make") return Make(*arguments);
  if (command == "check") return Check(*arguments);
  if (command == "rdp") return Rdp(*arguments);
  std::cerr << kHelp;
  return kExitUsage;
}
