// The launcher name, KEY$USER$PASSWORD$.exe: reading it as the launcher does, composing it,
// where its password stands (for masking) and why the launcher would refuse it. Every
// rule about the name's '$' is here, for the launcher and the hosting tool alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "profiles/profiles.h"

namespace rdplaunch {

struct LaunchFields {
  std::string key;
  std::string userName;
  std::string password;
};

// Why the launcher asks the user not to rename its file, in the order it is decided.
enum class NameRefusal { kNone, kNoSeparator, kUnknownKey, kNoUserName, kNoThirdSeparator, kNoPassword };

struct LaunchName {
  LaunchFields fields;
  const ProductProfile* profile = nullptr;  // the key's row, if the key is in the table
  NameRefusal refusal = NameRefusal::kNone;
};

// A file name (no folder) as code page 1251 bytes, the way the launcher reads its own.
LaunchName ReadLaunchName(std::string_view fileName);

// The character between the fields: a field can hold any other.
inline constexpr char kFieldSeparator = '$';
constexpr bool CanBeField(std::string_view value) { return value.find(kFieldSeparator) == std::string_view::npos; }

// KEY$USER$PASSWORD$.exe of fields that CanBeField.
std::string ComposeLaunchName(std::string_view key, std::string_view userName, std::string_view password);

// The characters after which a path's file name starts: '\' and '/' end a folder, ':' a
// drive or the file before an alternate data stream. The file name part is the text after
// the last of them, the whole path when it has none, in code page 1251 (which has no
// double-byte characters, so every delimiter byte is a delimiter) or UTF-16 alike.
inline constexpr std::string_view kPathDelimiters = "\\/:";
template <typename Char>
constexpr std::basic_string_view<Char> FileNamePart(std::basic_string_view<Char> path) {
  std::size_t start = path.size();
  while (start > 0) {
    const Char c = path[start - 1];
    if (static_cast<std::make_unsigned_t<Char>>(c) < 0x80 &&
        kPathDelimiters.find(static_cast<char>(c)) != std::string_view::npos)
      break;
    --start;
  }
  return path.substr(start);
}
inline std::string_view FileNamePart(std::string_view path) { return FileNamePart<char>(path); }

// Where the password of the launcher name a path ends in stands, [start, end) in the path:
// between the name's second and third '$', or to its end when a third is missing. Empty
// when the name has fewer than two '$'. Shown as kMaskedPassword wherever a name is shown.
struct TextRange {
  std::size_t start = std::string_view::npos;
  std::size_t end = std::string_view::npos;
  bool Empty() const { return start == std::string_view::npos; }
};
TextRange PasswordField(std::string_view path);
inline constexpr std::string_view kMaskedPassword = "***";

}  // namespace rdplaunch
