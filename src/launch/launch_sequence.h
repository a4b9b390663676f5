// The launcher's one run: from its file name to the end of the remote session.
#pragma once

#include <string>
#include <string_view>

#include "launch/connection_settings.h"
#include "platform/platform.h"

namespace rdplaunch {

std::string_view BoxCaption();
std::string_view RenameMessage();
bool SettingsAreComplete(const ConnectionSettings& settings);

int RunLaunchSequence(Platform& platform, ConnectionSettings& settings);

using LaunchSequence = int (*)(Platform&, ConnectionSettings&);
[[noreturn]] void RunProcess(Platform& platform, LaunchSequence sequence);

}  // namespace rdplaunch
