// Reading the key, user name and password out of the launcher's file name. Fields are
// taken byte for byte: the hosting service puts them there exactly as they must be used.
#include "launch/launch_name.h"

#include "launch/connection_settings.h"

namespace rdplaunch {

namespace {

// Takes the text before the first '$' and removes it with its '$'. Without a '$' the
// field is empty and nothing is removed, so later fields are cut from the same text.
std::string CutField(std::string& rest) {
  const std::size_t separator = rest.find('$');
  if (separator == std::string::npos) return {};
  std::string field = rest.substr(0, separator);
  rest.erase(0, separator + 1);
  return field;
}

}  // namespace

// Whatever follows the third '$' (".exe", or " (1).exe" after a browser's second download) is ignored.
LaunchFields SplitLaunchName(std::string_view launchName) {
  std::string rest(launchName);
  LaunchFields fields;
  fields.key = CutField(rest);
  fields.userName = CutField(rest);
  fields.password = CutField(rest);
  return fields;
}

void ParseLaunchName(Platform& platform, ConnectionSettings& settings) {
  settings.launchName = platform.OwnFileName().value_or("");
  settings.fields = SplitLaunchName(settings.launchName);
}

}  // namespace rdplaunch
