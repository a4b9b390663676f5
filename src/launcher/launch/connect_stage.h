// The second half of a run: credentials, the connection file, the client and its wait,
// and the companion file.
#pragma once

#include "name/launch_name.h"
#include "platform/platform.h"
#include "profiles/profiles.h"

namespace rdplaunch {

void RunConnectStage(Platform& platform, const LaunchFields& credentials, const ProductProfile& profile);

}  // namespace rdplaunch
