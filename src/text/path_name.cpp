// The file name part of a Windows path. The launcher's paths are code page 1251 text,
// which has no double-byte characters, so every '\' or ':' byte is a delimiter.
#include "text/path_name.h"

namespace rdplaunch {

// The text after the last delimiter; the whole path when it has none.
std::string_view FileNamePart(std::string_view path) {
  const std::size_t last = path.find_last_of(kPathDelimiters);
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

// Bytes are searched exactly as the launcher parses its name, so the field masked is the
// one the launcher used as the password.
TextRange PasswordField(std::string_view name) {
  const std::size_t first = name.find('$');
  if (first == std::string_view::npos) return {};
  const std::size_t second = name.find('$', first + 1);
  if (second == std::string_view::npos) return {};
  const std::size_t third = name.find('$', second + 1);
  return {second + 1, third == std::string_view::npos ? name.size() : third};
}

}  // namespace rdplaunch
