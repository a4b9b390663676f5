// Finding the file name in a Windows path given as ANSI bytes.
#pragma once

#include <bitset>
#include <cstddef>
#include <string_view>

namespace rdplaunch {

// Bytes that start a double-byte character in the system's ANSI code page.
using LeadBytes = std::bitset<256>;

std::size_t FileNameStart(std::string_view path, const LeadBytes& leadBytes, std::string_view delimiters);

}  // namespace rdplaunch
