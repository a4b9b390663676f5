// The file name part of a Windows path. The launcher's paths are code page 1251 text,
// which has no double-byte characters, so every '\' or ':' byte is a delimiter.
#include "text/path_name.h"

namespace rdplaunch {

// The text after the last delimiter; the whole path when it has none.
std::string_view FileNamePart(std::string_view path) {
  const std::size_t last = path.find_last_of(kPathDelimiters);
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

}  // namespace rdplaunch
