// The file name in an ANSI path, read the way Windows reads it under double-byte code pages.
#include "text/path_name.h"

namespace rdplaunch {

// The position after the last delimiter byte (0 when there is none). Under a double-byte
// code page the second byte of a character can have the value of '\'; such a byte is
// part of a letter, not a delimiter.
std::size_t FileNameStart(std::string_view path, const LeadBytes& leadBytes, std::string_view delimiters) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (leadBytes[byte] && i + 1 < path.size()) {
      ++i;
    } else if (delimiters.find(path[i]) != std::string_view::npos) {
      start = i + 1;
    }
  }
  return start;
}

}  // namespace rdplaunch
