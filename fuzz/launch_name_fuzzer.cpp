// Feeds arbitrary bytes as the launcher's own path through everything that reads it:
// name parsing, profile selection, the connection file and the credential command line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "failure/failure_text.h"
#include "fakes/windows_arguments.h"
#include "launch/launch_name.h"
#include "launch/launch_sequence.h"
#include "launch/profiles.h"
#include "rdpfile/connection_file.h"
#include "text/path_name.h"
#include "tools/command_lines.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rdplaunch;
  const std::string path(reinterpret_cast<const char*>(data), size);
  ConnectionSettings settings;
  settings.launchName = FileNamePart(path);
  settings.fields = SplitLaunchName(settings.launchName);
  const LaunchFields& fields = settings.fields;
  Require(fields.key.find('$') == std::string::npos && fields.userName.find('$') == std::string::npos &&
          fields.password.find('$') == std::string::npos);
  settings.profile = FindProfile(fields.key);
  if (SettingsAreComplete(settings)) {
    Require(ConnectionFileContent(settings.profile->target).size() > 0);
  }

  // User name and password reach the credential tool as one argument each, unchanged.
  // (A file name cannot hold a zero byte, and the command line would end there.)
  if (fields.userName.find('\0') == std::string::npos && fields.password.find('\0') == std::string::npos) {
    const CommandLine store = CredentialStoreCommand("C:\\Windows\\system32", "host", fields.userName, fields.password);
    const std::vector<std::string> expected{"/generic:termsrv/host", "/user:" + fields.userName,
                                            "/pass:" + fields.password};
    Require(testing::SplitWindowsArguments(store.parameters) == expected);
  }

  // The failure box never shows the password of a name it masks.
  ModuleName name;
  TakeModuleName(path, name);
  MaskPasswordField(name);
  Require(name.length <= kModuleNameLimit + 3);
  return 0;
}
