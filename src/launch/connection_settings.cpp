// The process-wide connection settings, released at the end of the run.
#include "launch/connection_settings.h"

#include <algorithm>

namespace rdplaunch {

ConnectionSettings& ProcessSettings() {
  static ConnectionSettings settings;
  return settings;
}

namespace {

// Overwrites a value in place, also one short enough to live inside the string object
// itself: the password must not linger in memory (crash dumps, pages swapped out). The
// Windows build also wipes every heap block when it is freed.
void Wipe(std::string& value) {
  volatile char* bytes = value.data();
  for (std::size_t i = 0; i < value.size(); ++i) bytes[i] = 0;
  value.clear();
  value.shrink_to_fit();
}

}  // namespace

void ReleaseProcessSettings() {
  ConnectionSettings& settings = ProcessSettings();
  for (std::string* value :
       {&settings.launchName, &settings.fields.key, &settings.fields.userName, &settings.fields.password}) {
    Wipe(*value);
  }
  settings = ConnectionSettings{};
}

}  // namespace rdplaunch
