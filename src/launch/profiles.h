// The product editions the launcher serves, chosen by the key in its file name.
#pragma once

#include <span>
#include <string_view>

#include "launch/connection_settings.h"

namespace rdplaunch {

enum class Companion { kNone, kOnHostA, kOnHostE };

struct ProductProfile {
  std::string_view key;
  std::string_view displayName;
  std::string_view alias;
  std::string_view host;
  std::string_view port;
  Companion companion;
};

// The companion application whose connection file two editions leave on the desktop.
struct CompanionApplication {
  std::string_view displayName;
  std::string_view alias;
  std::string_view port;
};
inline constexpr CompanionApplication kCompanionApplication{"PlanDesk Online", "PlnDsk", "3397"};

std::span<const ProductProfile> ProfileTable();
void SelectProfile(ConnectionSettings& settings);
std::string_view CompanionHost(const ConnectionSettings& settings);
void SelectCompanion(ConnectionSettings& settings, std::string_view host);

}  // namespace rdplaunch
