// The hosting service's side of the launcher name: making a name that carries a key, a
// user name and a password intact, and telling what the launcher would do with a name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "name/launch_name.h"

namespace rdplaunch {

// The longest name that arrives whole: with the download folder in front and a browser's
// duplicate marker (" (12)") behind, it must stay within the 259 characters of a path
// Windows programs can start, and a browser first saves it as NAME.crdownload, in a file
// system that counts a name's UTF-8 bytes (255 at most) on Linux and macOS.
inline constexpr std::size_t kMaxLaunchNameLength = 120;
inline constexpr std::size_t kMaxLaunchNameUtf8Bytes = 240;

struct MadeName {
  std::string name;     // code page 1251 bytes, as the launcher reads them
  std::string refusal;  // empty when the name was made
};

// Key, user name and password are UTF-8 text; the name is KEY$USER$PASSWORD$.exe.
MadeName MakeLaunchName(std::string_view key, std::string_view userName, std::string_view password);

struct NameCheck {
  LaunchName read;            // as the launcher reads it
  std::string renameReason;   // why the launcher would ask not to rename it; empty when it would connect
  std::string browserChange;  // what a browser or Windows would change in the name; empty when nothing
};

// Why the launcher refuses a name, in words that never repeat a field of it (a password
// could stand where the key belongs).
std::string RefusalText(NameRefusal refusal);

// What the launcher would do with a file of this name (code page 1251 bytes).
NameCheck CheckLaunchName(std::string_view launchName);

// What a current browser changes in these code page 1251 bytes when it saves a download
// under them, or nothing.
std::string BrowserChangeIn(std::string_view bytes);

// The name a client that reads only a Content-Disposition's filename= (curl -OJ, old
// clients) saves a download of this UTF-8 name under: the name itself where it is plain
// ASCII, and otherwise one the launcher refuses, never one with other credentials.
std::string FallbackFileName(std::string_view utf8Name);

// The Content-Disposition value that makes a browser save a download under this UTF-8
// name: the fallback above for old clients and the exact name as UTF-8.
std::string ContentDisposition(std::string_view utf8Name);

}  // namespace rdplaunch
