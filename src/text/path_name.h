// The file name part of a Windows path.
#pragma once

#include <string_view>

namespace rdplaunch {

// The characters after which a Windows path's file name starts: '\' ends a folder, and
// ':' a drive or the file before an alternate data stream. '/' is no delimiter here.
inline constexpr std::string_view kPathDelimiters = "\\:";

std::string_view FileNamePart(std::string_view path);

}  // namespace rdplaunch
