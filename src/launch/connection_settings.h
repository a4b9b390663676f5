// The values one run of the launcher works with: what its file name carries and
// what the profile table adds. They live for the whole run.
#pragma once

#include <string>

namespace rdplaunch {

struct ConnectionSettings {
  std::string launchName;  // work copy of the executable's file name
  std::string keyOrAlias;  // the profile key, replaced by the application alias
  std::string userName;
  std::string password;
  std::string host;
  std::string port;
  std::string displayName;  // also the base name of the .rdp file
  bool manualCredentials = false;
  bool companionOnHostE = false;
  bool companionOnHostA = false;
};

ConnectionSettings& ProcessSettings();
void ReleaseProcessSettings();

}  // namespace rdplaunch
