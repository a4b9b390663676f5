// Start and validation: the file name must carry a known key, a user name and a
// password; otherwise the user is asked not to rename the file.
#include "launch/launch_sequence.h"

#include <exception>
#include <new>

#include "failure/failure_reporting.h"
#include "launch/connect_stage.h"
#include "launch/launch_name.h"
#include "launch/profiles.h"
#include "launch/texts.h"
#include "rdpfile/output_stream.h"

namespace rdplaunch {

// Display name, alias, host and port come with the key's row; an unknown key (the empty
// one included) has none.
bool SettingsAreComplete(const ConnectionSettings& settings) {
  return settings.profile != nullptr && !settings.fields.userName.empty() && !settings.fields.password.empty();
}

// A name that does not carry everything has not done its job: the run ends with the
// rename message and its own exit code, so that callers can tell it from a success.
int RunLaunchSequence(Platform& platform, ConnectionSettings& settings) {
  ParseLaunchName(platform, settings);
  settings.profile = FindProfile(settings.fields.key);
  if (!SettingsAreComplete(settings)) {
    platform.ShowInformationBox(RenameMessage(), BoxCaption());
    return kExitNameNotValid;
  }
  RunConnectStage(platform, settings.fields, *settings.profile);
  return kExitSuccess;
}

// The failure-reporting layer is in place for the whole launch sequence; every
// failure that leaves it ends in the failure box.
void RunProcess(Platform& platform, LaunchSequence sequence) {
  SetUpFailureReporting(ReleaseProcessSettings, DiscardFileBeingWritten);
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
