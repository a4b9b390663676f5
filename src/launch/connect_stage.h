// The second half of a run: credentials, the connection file, the client and its wait,
// and the companion file.
#pragma once

#include "launch/launch_name.h"
#include "launch/profiles.h"
#include "platform/platform.h"

namespace rdplaunch {

void RunConnectStage(Platform& platform, const LaunchFields& credentials, const ProductProfile& profile);

}  // namespace rdplaunch
