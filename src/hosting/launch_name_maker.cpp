// Making and checking launcher names with the launcher's own parser and profile table.
#include "hosting/launch_name_maker.h"

#include <algorithm>
#include <cstdio>

#include "launch/launch_name.h"
#include "launch/launch_sequence.h"
#include "launch/profiles.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

// Characters Windows refuses in file names: browsers and Windows replace them when the
// file is saved, so the user would get another password than the one issued.
constexpr std::string_view kForbiddenInFileNames = "\\/:*?\"<>|";

std::string Describe(unsigned char byte) {
  char text[64];
  if (byte < 0x20 || byte == 0x7F) {
    std::snprintf(text, sizeof text, "the control character 0x%02X", byte);
    return text;
  }
  return "the character '" + Cp1251ToUtf8(std::string(1, static_cast<char>(byte))) + "'";
}

// Why a value cannot travel in a file name, or nothing when it can.
std::string RefusalFor(std::string_view what, std::string_view value) {
  if (value.empty()) return std::string(what) + " is empty";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '$') return std::string(what) + " contains '$', which separates the fields of the name";
    if (byte < 0x20 || byte == 0x7F || kForbiddenInFileNames.find(c) != std::string_view::npos) {
      return std::string(what) + " contains " + Describe(byte) + ", which Windows does not allow in file names";
    }
  }
  return {};
}

std::optional<std::string> FirstUnconvertible(std::string_view utf8) {
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    if (!Cp1251ByteOf(NextUtf8CodePoint(utf8, pos))) return std::string(utf8.substr(start, pos - start));
  }
  return std::nullopt;
}

struct Field {
  const char* what;
  std::string_view utf8;
  std::string bytes;
};

}  // namespace

MadeName MakeLaunchName(std::string_view key, std::string_view userName, std::string_view password) {
  Field fields[] = {{"the key", key, {}}, {"the user name", userName, {}}, {"the password", password, {}}};
  for (Field& field : fields) {
    std::optional<std::string> bytes = Utf8ToCp1251(field.utf8);
    if (!bytes) {
      return {{},
              std::string(field.what) + " contains '" + FirstUnconvertible(field.utf8).value_or("?") +
                  "', which has no code page 1251 character"};
    }
    field.bytes = std::move(*bytes);
    if (std::string refusal = RefusalFor(field.what, field.bytes); !refusal.empty()) return {{}, refusal};
  }
  const std::string name = fields[0].bytes + "$" + fields[1].bytes + "$" + fields[2].bytes + "$.exe";
  if (name.size() > kMaxFileNameLength) {
    return {{},
            "the name would have " + std::to_string(name.size()) + " characters; Windows allows " +
                std::to_string(kMaxFileNameLength)};
  }
  const NameCheck check = CheckLaunchName(name);
  if (!check.renameReason.empty()) return {{}, check.renameReason};
  // The launcher's own parser must give back exactly what was put in.
  const LaunchFields& parsed = check.fields;
  if (parsed.key != fields[0].bytes || parsed.userName != fields[1].bytes || parsed.password != fields[2].bytes) {
    return {{}, "the name does not parse back to the same values"};
  }
  return {name, {}};
}

NameCheck CheckLaunchName(std::string_view launchName) {
  ConnectionSettings settings;
  settings.launchName = launchName;
  settings.fields = SplitLaunchName(launchName);
  settings.profile = FindProfile(settings.fields.key);
  NameCheck check{settings.fields, settings.profile, {}};
  if (SettingsAreComplete(settings)) return check;
  const LaunchFields& fields = settings.fields;

  const std::size_t separators = std::count(launchName.begin(), launchName.end(), '$');
  if (separators == 0) {
    check.renameReason = "the name has no '$': it is not KEY$USER$PASSWORD$.exe";
  } else if (settings.profile == nullptr) {
    check.renameReason = "the key '" + Cp1251ToUtf8(fields.key) + "' is not in the profile table";
  } else if (fields.userName.empty()) {
    check.renameReason = "the user name is empty";
  } else {
    check.renameReason = separators < 3 ? "the password is empty: the name has no third '$'" : "the password is empty";
  }
  return check;
}

}  // namespace rdplaunch
