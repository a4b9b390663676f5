// The launcher's own file name, KEY$USER$PASSWORD$.exe, split into its fields.
#pragma once

#include <string>
#include <string_view>

#include "launch/connection_settings.h"
#include "platform/platform.h"

namespace rdplaunch {

struct LaunchFields {
  std::string key;
  std::string userName;
  std::string password;
};

std::string LastPathComponent(std::string_view path, const LeadBytes& leadBytes);
LaunchFields SplitLaunchName(std::string_view launchName);
void ParseLaunchName(Platform& platform, ConnectionSettings& settings);

}  // namespace rdplaunch
