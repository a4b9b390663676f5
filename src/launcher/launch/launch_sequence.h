// The launcher's one run: from its file name to the end of the remote session.
#pragma once

#include "launch/run_record.h"
#include "platform/platform.h"

namespace rdplaunch {

int RunLaunchSequence(Platform& platform, RunRecord& record);

using LaunchSequence = int (*)(Platform&, RunRecord&);
[[noreturn]] void RunProcess(Platform& platform, LaunchSequence sequence);

}  // namespace rdplaunch
