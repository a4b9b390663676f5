// The product editions the launcher serves, chosen by the key in its file name. The table
// itself, with the build's servers, is profile_table.h's: only the code that needs the rows
// at compile time includes it, so a changed server recompiles that code alone.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

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

// The connection files a row's launcher writes: its own, then its companion's, if any.
// The launcher, the build's check that each has a signature, and the hosting service's
// tool all take them from here.
class RowFileList {
 public:
  constexpr explicit RowFileList(const ProductProfile& profile)
      : files_{profile.target,
               {kCompanionApplication.displayName, kCompanionApplication.alias, profile.companionHost,
                kCompanionApplication.port}},
        count_(profile.companionHost.empty() ? 1 : 2) {}
  constexpr const ConnectionTarget& Own() const { return files_[0]; }
  constexpr const ConnectionTarget* Companion() const { return count_ > 1 ? &files_[1] : nullptr; }
  constexpr const ConnectionTarget* begin() const { return files_.data(); }
  constexpr const ConnectionTarget* end() const { return files_.data() + count_; }

 private:
  std::array<ConnectionTarget, 2> files_;
  std::size_t count_;
};
constexpr RowFileList RowFiles(const ProductProfile& profile) { return RowFileList(profile); }

// The rows of profile_table.h.
std::span<const ProductProfile> ProfileTable();
const ProductProfile* FindProfile(std::string_view key);

}  // namespace rdplaunch
