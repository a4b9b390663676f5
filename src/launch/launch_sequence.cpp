// Start and validation: the file name must carry a known key, a user name and a
// password; otherwise the user is asked not to rename the file.
#include "launch/launch_sequence.h"

#include <exception>
#include <new>

#include "launch/connect_stage.h"
#include "launch/cp1251.h"
#include "launch/launch_name.h"
#include "launch/profiles.h"
#include "platform/failure_reporting.h"

namespace rdplaunch {

std::string_view BoxCaption() { return "Удаленное подключение"_cp1251; }

// Line feed before carriage return, exactly as the hosting service's users know it.
std::string_view RenameMessage() { return "Пожалуйста не переименовывайте файл!\n\rСкачайте файл заново."_cp1251; }

// Host and port come with the display name, so they need no test of their own; an
// unknown key leaves the display name empty.
bool SettingsAreComplete(const ConnectionSettings& settings) {
  return !settings.keyOrAlias.empty() && !settings.userName.empty() && !settings.password.empty() &&
         !settings.displayName.empty();
}

// A name that does not carry everything has not done its job: the run ends with the
// rename message and its own exit code, so that callers can tell it from a success.
int RunLaunchSequence(Platform& platform, ConnectionSettings& settings) {
  ParseLaunchName(platform, settings);
  SelectProfile(settings);
  if (!SettingsAreComplete(settings)) {
    platform.ShowInformationBox(RenameMessage(), BoxCaption());
    return kExitNameNotValid;
  }
  RunConnectStage(platform, settings);
  return kExitSuccess;
}

// The failure-reporting layer is in place for the whole launch sequence; every
// failure that leaves it ends in the failure box.
void RunProcess(Platform& platform, LaunchSequence sequence) {
  SetUpFailureReporting(ReleaseProcessSettings);
  int exitCode = kExitSuccess;
  try {
    exitCode = sequence(platform, ProcessSettings());
  } catch (const Exception& failure) {
    HandleUncaughtFailure(platform, failure);
  } catch (const std::bad_alloc&) {
    HandleOutOfMemory(platform);
  } catch (const std::exception& failure) {
    HandleUncaughtFailure(platform, Exception(failure.what()));
  }
  EndRun(platform, exitCode);
}

}  // namespace rdplaunch
