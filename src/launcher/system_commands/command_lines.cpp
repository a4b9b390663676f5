// Command lines of the credential tool and the Remote Desktop client.
#include "system_commands/command_lines.h"

namespace rdplaunch {

// Values are quoted only when they must be, by the rules with which Windows programs
// split their command line, so that a user name or password with a space reaches the
// tool as one argument, and a value without space, tab or quote stays as it is:
// - the value is enclosed in double quotes;
// - a double quote inside is preceded by a backslash, and the backslashes directly
//   before it are doubled (so they stay backslashes);
// - backslashes at the end are doubled, so that they do not escape the closing quote;
// - other backslashes stand for themselves.
std::string QuoteArgumentIfNeeded(std::string_view value) {
  if (value.find_first_of(" \t\"") == std::string_view::npos) return std::string(value);
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

// Tools are named by full path in the system directory: the launcher usually runs from
// a download folder, and a bare name would let a planted cmdkey.exe there be started.
// Without a system folder there is no safe path: the empty name cannot be started.
std::string SystemToolPath(std::string_view systemFolder, std::string_view toolName) {
  if (systemFolder.empty()) return {};
  std::string path(systemFolder);
  if (path.back() != '\\') path += '\\';
  path += toolName;
  path += ".exe";
  return path;
}

// Each credential tool parameter text starts with a space.
CommandLine CredentialRemovalCommand(std::string_view systemFolder, std::string_view host) {
  return {SystemToolPath(systemFolder, "cmdkey"), " /delete:termsrv/" + std::string(host)};
}

CommandLine CredentialStoreCommand(std::string_view systemFolder, std::string_view host, std::string_view userName,
                                   std::string_view password) {
  return {SystemToolPath(systemFolder, "cmdkey"), " /generic:termsrv/" + std::string(host) +
                                                      " /user:" + QuoteArgumentIfNeeded(userName) +
                                                      " /pass:" + QuoteArgumentIfNeeded(password)};
}

// The file path is quoted because display names and folders contain spaces.
CommandLine ClientStartCommand(std::string_view systemFolder, std::string_view connectionFilePath) {
  return {SystemToolPath(systemFolder, "mstsc"), '"' + std::string(connectionFilePath) + '"'};
}

}  // namespace rdplaunch
