// The hosting service's side of the launcher name: making a name that carries a key, a
// user name and a password intact, and telling what the launcher would do with a name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "launch/launch_name.h"
#include "launch/profiles.h"

namespace rdplaunch {

// Windows file names hold at most 255 characters.
inline constexpr std::size_t kMaxFileNameLength = 255;

struct MadeName {
  std::string name;     // code page 1251 bytes, as the launcher reads them
  std::string refusal;  // empty when the name was made
};

// Key, user name and password are UTF-8 text; the name is KEY$USER$PASSWORD$.exe.
MadeName MakeLaunchName(std::string_view key, std::string_view userName, std::string_view password);

struct NameCheck {
  LaunchFields fields;                      // as the launcher reads them
  const ProductProfile* profile = nullptr;  // the key's row, if the key is in the table
  std::string renameReason;                 // empty when the launcher would connect
};

// What the launcher would do with a file of this name (code page 1251 bytes).
NameCheck CheckLaunchName(std::string_view launchName);

}  // namespace rdplaunch
