// Finding the file name in a Windows path given as ANSI bytes.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"

namespace rdplaunch {

std::size_t FileNameStart(std::string_view path, const LeadBytes& leadBytes, std::string_view delimiters);

}  // namespace rdplaunch
