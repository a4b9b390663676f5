// The second half of a run: credentials, the connection file, the client and its wait,
// and the companion file.
#pragma once

#include <string>
#include <string_view>

#include "launch/connection_settings.h"
#include "platform/platform.h"

namespace rdplaunch {

std::string CredentialsMessage(std::string_view userName, std::string_view password);
void RunConnectStage(Platform& platform, ConnectionSettings& settings);

}  // namespace rdplaunch
