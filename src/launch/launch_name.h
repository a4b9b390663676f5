// The launcher's own file name, KEY$USER$PASSWORD$.exe, split into its fields.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace rdplaunch {

struct ConnectionSettings;

struct LaunchFields {
  std::string key;
  std::string userName;
  std::string password;
};

LaunchFields SplitLaunchName(std::string_view launchName);
void ParseLaunchName(Platform& platform, ConnectionSettings& settings);

}  // namespace rdplaunch
