// What one run of the launcher keeps for its whole length: its own file name and what that
// name carries (the password among it). Wiped at the run's end, however it ends.
#pragma once

#include <string>

#include "name/launch_name.h"

namespace rdplaunch {

struct RunRecord {
  std::string fileName;  // the executable's own file name
  LaunchName name;       // what it carries
};

RunRecord& ProcessRecord();
void WipeProcessRecord();

}  // namespace rdplaunch
