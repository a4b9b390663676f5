// The launcher's only way of waiting for anything: a started tool's process handle.
#include "system_commands/hidden_runner.h"

namespace rdplaunch {

// Returns 0 once the tool has ended, or the system's code when it could not be
// started; the caller decides whether that matters. The tool's exit code is not used.
SystemErrorCode RunHiddenAndWait(Platform& platform, const CommandLine& command) {
  ProcessHandle process = 0;
  const SystemErrorCode code = platform.StartHidden(command.program, command.parameters, process);
  if (code != 0) return code;
  platform.WaitForExit(process);
  return 0;
}

}  // namespace rdplaunch
