// The connect stage: credentials, connection file, the client and its wait, and the
// companion file of the two editions that have one.
#include "launch/connect_stage.h"

#include "desktop/compiled_signatures.h"
#include "desktop/connection_file_writer.h"
#include "desktop/desktop_folder.h"
#include "failure/failures.h"
#include "launch/texts.h"
#include "rdpfile/connection_file.h"
#include "system_commands/hidden_runner.h"

namespace rdplaunch {

namespace {

constexpr unsigned kFirstVersionWithCredentialTool = 6;

// Before Windows 6 the credential tool does not exist: the user is shown what to type.
bool CredentialsAreManual(Platform& platform, const LaunchFields& credentials) {
  if (platform.WindowsMajorVersion() >= kFirstVersionWithCredentialTool) return false;
  platform.ShowInformationBox(CredentialsMessage(credentials.userName, credentials.password), BoxCaption());
  return true;
}

// A credential tool that cannot be started is skipped: the client then asks for the
// password, which the connection file allows.
void StoreCredentials(Platform& platform, std::string_view host, const LaunchFields& credentials) {
  const std::string systemFolder = platform.SystemFolder();
  RunHiddenAndWait(platform, CredentialRemovalCommand(systemFolder, host));
  RunHiddenAndWait(platform, CredentialStoreCommand(systemFolder, host, credentials.userName, credentials.password));
}

// Raised with the address of its caller, so that the failure box points at the start
// that failed.
[[noreturn]] __attribute__((noinline)) void RaiseStartError(Platform& platform, const std::string& program,
                                                            SystemErrorCode code) {
  throw EStartError("Cannot start " + program + ": " + platform.SystemErrorText(code),
                    reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

// Without the client nothing the user asked for happens, so a client that cannot be
// started ends the run in the failure box rather than silently.
void RunClient(Platform& platform, std::string_view displayName) {
  const CommandLine command =
      ClientStartCommand(platform.SystemFolder(), ConnectionFilePath(DesktopFolder(platform), displayName));
  const SystemErrorCode code = RunHiddenAndWait(platform, command);
  if (code != 0) RaiseStartError(platform, command.program, code);
}

}  // namespace

void RunConnectStage(Platform& platform, const LaunchFields& credentials, const ProductProfile& profile) {
  if (!CredentialsAreManual(platform, credentials)) StoreCredentials(platform, profile.target.host, credentials);
  const RowFileList files = RowFiles(profile);
  WriteConnectionFile(platform, files.Own(), kFileSignatures);
  RunClient(platform, files.Own().displayName);
  if (const ConnectionTarget* companion = files.Companion()) WriteConnectionFile(platform, *companion, kFileSignatures);
}

}  // namespace rdplaunch
