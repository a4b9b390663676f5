// The launcher's own file name, KEY$USER$PASSWORD$.exe, split into its fields.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "text/path_name.h"

namespace rdplaunch {

struct ConnectionSettings;

struct LaunchFields {
  std::string key;
  std::string userName;
  std::string password;
};

std::string LastPathComponent(std::string_view path, const LeadBytes& leadBytes);
LaunchFields SplitLaunchName(std::string_view launchName);
void ParseLaunchName(Platform& platform, ConnectionSettings& settings);

}  // namespace rdplaunch
