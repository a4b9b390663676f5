// The values one run of the launcher keeps: its file name, what that name carries and
// the edition it chose. They live for the whole run and are wiped at its end.
#pragma once

#include <string>

#include "launch/launch_name.h"
#include "launch/profiles.h"

namespace rdplaunch {

struct ConnectionSettings {
  std::string launchName;                   // the executable's file name
  LaunchFields fields;                      // key, user name and password
  const ProductProfile* profile = nullptr;  // the key's row, if the key is in the table
};

ConnectionSettings& ProcessSettings();
void ReleaseProcessSettings();

}  // namespace rdplaunch
