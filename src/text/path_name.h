// The file name part of a Windows path, and where a launcher name carries its password.
#pragma once

#include <cstddef>
#include <string_view>

namespace rdplaunch {

// The characters after which a Windows path's file name starts: '\' ends a folder, and
// ':' a drive or the file before an alternate data stream. '/' is no delimiter here.
inline constexpr std::string_view kPathDelimiters = "\\:";

std::string_view FileNamePart(std::string_view path);

// Where a name's password field stands, [start, end): between the second and the third
// '$', or to the end of the name when a third is missing. Empty (start == end == npos)
// when the name has fewer than two '$'. Shown as "***" wherever a name is shown.
struct TextRange {
  std::size_t start = std::string_view::npos;
  std::size_t end = std::string_view::npos;
  bool Empty() const { return start == std::string_view::npos; }
};
TextRange PasswordField(std::string_view name);
inline constexpr std::string_view kMaskedPassword = "***";

}  // namespace rdplaunch
