// Start and validation: the file name must carry a known key, a user name and a
// password; otherwise the user is asked not to rename the file.
#include "launch/launch_sequence.h"

#include <exception>
#include <new>

#include "desktop/output_stream.h"
#include "failure/failure_reporting.h"
#include "launch/connect_stage.h"
#include "launch/texts.h"

namespace rdplaunch {

// A name that does not carry everything has not done its job: the run ends with the
// rename message and its own exit code, so that callers can tell it from a success. A
// module path the system could not give (or not in code page 1251) reads as no name.
int RunLaunchSequence(Platform& platform, RunRecord& record) {
  record.fileName = platform.OwnFileName().value_or("");
  record.name = ReadLaunchName(record.fileName);
  if (record.name.refusal != NameRefusal::kNone) {
    platform.ShowInformationBox(RenameMessage(), BoxCaption());
    return kExitNameNotValid;
  }
  RunConnectStage(platform, record.name.fields, *record.name.profile);
  return kExitSuccess;
}

// The failure-reporting layer is in place for the whole launch sequence; every
// failure that leaves it ends in the failure box.
void RunProcess(Platform& platform, LaunchSequence sequence) {
  SetUpFailureReporting(WipeProcessRecord, DiscardFileBeingWritten);
  int exitCode = kExitSuccess;
  try {
    exitCode = sequence(platform, ProcessRecord());
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
