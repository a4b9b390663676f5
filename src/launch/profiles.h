// The product editions the launcher serves, chosen by the key in its file name.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

struct ProductProfile {
  std::string_view key;
  ConnectionTarget target;
  std::string_view companionHost;  // server of the companion file; empty when the edition has none
};

// The companion application whose connection file two editions leave on the desktop.
struct CompanionApplication {
  std::string_view displayName;
  std::string_view alias;
  std::string_view port;
};
inline constexpr CompanionApplication kCompanionApplication{"PlanDesk Online", "PlnDsk", "3397"};

std::span<const ProductProfile> ProfileTable();
const ProductProfile* FindProfile(std::string_view key);
std::optional<ConnectionTarget> CompanionTarget(const ProductProfile& profile);

}  // namespace rdplaunch
