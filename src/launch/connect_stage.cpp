// The connect stage: credentials, connection file, the client and its wait, and the
// companion file of the two editions that have one.
#include "launch/connect_stage.h"

#include "launch/cp1251.h"
#include "launch/hosts.h"
#include "launch/launch_sequence.h"
#include "launch/profiles.h"
#include "platform/failures.h"
#include "rdpfile/connection_file.h"
#include "rdpfile/desktop_folder.h"
#include "tools/hidden_runner.h"

namespace rdplaunch {

namespace {

constexpr unsigned kFirstVersionWithCredentialTool = 6;

// Before Windows 6 the credential tool does not exist: the user is shown what to type.
void DecideManualCredentials(Platform& platform, ConnectionSettings& settings) {
  if (platform.WindowsMajorVersion() >= kFirstVersionWithCredentialTool) return;
  settings.manualCredentials = true;
  platform.ShowInformationBox(CredentialsMessage(settings.userName, settings.password), BoxCaption());
}

// A credential tool that cannot be started is skipped: the client then asks for the
// password, which the connection file allows.
void StoreCredentials(Platform& platform, const ConnectionSettings& settings) {
  if (settings.manualCredentials) return;
  const std::string systemFolder = platform.SystemFolder();
  RunHiddenAndWait(platform, CredentialRemovalCommand(systemFolder, settings.host));
  RunHiddenAndWait(platform, CredentialStoreCommand(systemFolder, settings.host, settings.userName, settings.password));
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
void RunClient(Platform& platform, const ConnectionSettings& settings) {
  const CommandLine command =
      ClientStartCommand(platform.SystemFolder(), DesktopFolder(platform), settings.displayName);
  const SystemErrorCode code = RunHiddenAndWait(platform, command);
  if (code != 0) RaiseStartError(platform, command.program, code);
}

void WriteCompanionFile(Platform& platform, ConnectionSettings& settings, std::string_view host) {
  SelectCompanion(settings, host);
  WriteConnectionFile(platform, settings);
}

}  // namespace

std::string CredentialsMessage(std::string_view userName, std::string_view password) {
  constexpr std::string_view kBeforeUserName = "Для подключения используйте имя пользователя - "_cp1251;
  constexpr std::string_view kBeforePassword = " и пароль "_cp1251;
  std::string message(kBeforeUserName);
  message += userName;
  message += kBeforePassword;
  message += password;
  return message;
}

void RunConnectStage(Platform& platform, ConnectionSettings& settings) {
  DecideManualCredentials(platform, settings);
  StoreCredentials(platform, settings);
  WriteConnectionFile(platform, settings);
  RunClient(platform, settings);
  if (settings.companionOnHostE) WriteCompanionFile(platform, settings, kHostE);
  if (settings.companionOnHostA) WriteCompanionFile(platform, settings, kHostA);
}

}  // namespace rdplaunch
