// Reading, composing and masking launcher names. Fields are taken byte for byte: the
// hosting service puts them there exactly as they must be used.
#include "name/launch_name.h"

#include <array>

namespace rdplaunch {

namespace {

// Where the name's first three separators stand; npos for each that is missing.
std::array<std::size_t, 3> Separators(std::string_view name) {
  std::array<std::size_t, 3> at{};
  std::size_t from = 0;
  for (std::size_t& position : at) {
    position = from == std::string_view::npos ? from : name.find(kFieldSeparator, from);
    from = position == std::string_view::npos ? position : position + 1;
  }
  return at;
}

// The text between two separators; empty when the closing one is missing, so a field
// without its '$' is no field.
std::string_view Between(std::string_view name, std::size_t open, std::size_t close) {
  if (close == std::string_view::npos) return {};
  return name.substr(open, close - open);
}

}  // namespace

// Whatever follows the third '$' (".exe", or " (1).exe" after a browser's second
// download) is ignored.
LaunchName ReadLaunchName(std::string_view fileName) {
  const auto [first, second, third] = Separators(fileName);
  LaunchName name;
  name.fields.key = Between(fileName, 0, first);
  if (first != std::string_view::npos) name.fields.userName = Between(fileName, first + 1, second);
  if (second != std::string_view::npos) name.fields.password = Between(fileName, second + 1, third);
  name.profile = FindProfile(name.fields.key);
  if (first == std::string_view::npos) {
    name.refusal = NameRefusal::kNoSeparator;
  } else if (name.profile == nullptr) {
    name.refusal = NameRefusal::kUnknownKey;
  } else if (name.fields.userName.empty()) {
    name.refusal = NameRefusal::kNoUserName;
  } else if (third == std::string_view::npos) {
    name.refusal = NameRefusal::kNoThirdSeparator;
  } else if (name.fields.password.empty()) {
    name.refusal = NameRefusal::kNoPassword;
  }
  return name;
}

std::string ComposeLaunchName(std::string_view key, std::string_view userName, std::string_view password) {
  std::string name(key);
  for (const std::string_view field : {userName, password, std::string_view(".exe")}) {
    name += kFieldSeparator;
    name += field;
  }
  return name;
}

// Only the file name is searched, exactly as the launcher reads it, so the field masked is
// the one the launcher used as the password; a folder's '$' is no separator.
TextRange PasswordField(std::string_view path) {
  const std::size_t nameStart = path.size() - FileNamePart(path).size();
  const auto [first, second, third] = Separators(path.substr(nameStart));
  if (second == std::string_view::npos) return {};
  return {nameStart + second + 1, third == std::string_view::npos ? path.size() : nameStart + third};
}

}  // namespace rdplaunch
