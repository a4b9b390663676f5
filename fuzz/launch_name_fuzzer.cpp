// Feeds arbitrary bytes as the launcher's own path through everything that reads it:
// name parsing, profile selection, the connection file and the credential command line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "failure/failure_text.h"
#include "fakes/windows_arguments.h"
#include "name/launch_name.h"
#include "rdpfile/connection_file.h"
#include "system_commands/command_lines.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rdplaunch;
  const std::string path(reinterpret_cast<const char*>(data), size);
  const LaunchName read = ReadLaunchName(FileNamePart(path));
  const LaunchFields& fields = read.fields;
  Require(fields.key.find('$') == std::string::npos && fields.userName.find('$') == std::string::npos &&
          fields.password.find('$') == std::string::npos);
  if (read.refusal == NameRefusal::kNone) {
    Require(read.profile != nullptr && !fields.userName.empty() && !fields.password.empty());
    Require(ConnectionFileContent(read.profile->target).size() > 0);
    // The mask covers exactly the password the launcher read.
    const TextRange field = PasswordField(path);
    Require(!field.Empty() && path.substr(field.start, field.end - field.start) == fields.password);
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
