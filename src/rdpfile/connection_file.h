// The Remote Desktop connection file (.rdp) for the current settings, and writing it
// to the desktop.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "launch/connection_settings.h"
#include "platform/platform.h"

namespace rdplaunch {

inline constexpr std::size_t kConnectionFileLineCount = 56;
inline constexpr std::string_view kLineEnd = "\r\n";

std::array<std::string, kConnectionFileLineCount> ConnectionFileLines(const ConnectionSettings& settings);
std::string ConnectionFileContent(const ConnectionSettings& settings);
std::string ConnectionFilePath(std::string_view desktopFolder, std::string_view displayName);
void WriteConnectionFile(Platform& platform, const ConnectionSettings& settings);

}  // namespace rdplaunch
