// The launcher's one run: from its file name to the end of the remote session.
#pragma once

#include "launch/connection_settings.h"
#include "platform/platform.h"

namespace rdplaunch {

bool SettingsAreComplete(const ConnectionSettings& settings);

int RunLaunchSequence(Platform& platform, ConnectionSettings& settings);

using LaunchSequence = int (*)(Platform&, ConnectionSettings&);
[[noreturn]] void RunProcess(Platform& platform, LaunchSequence sequence);

}  // namespace rdplaunch
