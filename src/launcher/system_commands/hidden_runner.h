// Starting a tool without a window and waiting until it has ended.
#pragma once

#include "platform/platform.h"
#include "system_commands/command_lines.h"

namespace rdplaunch {

SystemErrorCode RunHiddenAndWait(Platform& platform, const CommandLine& command);

}  // namespace rdplaunch
