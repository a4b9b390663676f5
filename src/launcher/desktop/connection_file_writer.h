// Writing a connection file to the desktop.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "rdpfile/connection_file.h"

namespace rdplaunch {

// The file of a target: unsigned when there are no signatures, signed with its own otherwise.
void WriteConnectionFile(Platform& platform, const ConnectionTarget& target, std::span<const FileSignature> signatures);
void WriteFileLines(Platform& platform, std::string_view displayName, std::span<const std::string> lines,
                    FileEncoding encoding);

}  // namespace rdplaunch
