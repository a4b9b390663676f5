// The command lines of the two Windows tools the launcher runs: the credential tool
// and the Remote Desktop client. Built as pure texts here; run by the hidden runner.
#pragma once

#include <string>
#include <string_view>

namespace rdplaunch {

struct CommandLine {
  std::string program;     // full path of the tool in the system directory
  std::string parameters;  // passed to the tool unchanged
};

std::string QuoteArgumentIfNeeded(std::string_view value);
std::string SystemToolPath(std::string_view systemFolder, std::string_view toolName);

CommandLine CredentialRemovalCommand(std::string_view systemFolder, std::string_view host);
CommandLine CredentialStoreCommand(std::string_view systemFolder, std::string_view host, std::string_view userName,
                                   std::string_view password);
CommandLine ClientStartCommand(std::string_view systemFolder, std::string_view connectionFilePath);

}  // namespace rdplaunch
