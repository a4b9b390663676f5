// The current user's desktop folder, looked up afresh on every call.
#pragma once

#include <string>

#include "platform/platform.h"

namespace rdplaunch {

std::string DesktopFolder(Platform& platform);

}  // namespace rdplaunch
