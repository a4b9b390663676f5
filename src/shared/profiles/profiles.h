// The product editions the launcher serves, chosen by the key in its file name.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "profiles/hosts.h"
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

constexpr ProductProfile ProfileRow(std::string_view key, std::string_view displayName, std::string_view alias,
                                    std::string_view host, std::string_view port, std::string_view companionHost = {}) {
  return {key, {displayName, alias, host, port}, companionHost};
}

// Several editions share a display name and therefore write the same desktop file. The
// table stands here, not in a source file, so that a build can check at compile time that
// each file a row writes has what it needs (a signed launcher's signatures).
inline constexpr std::array kProfiles{
    ProfileRow("PELTA_8", "ПЕЛТА 8"_cp1251, "PELTA8", kHostA, "3395"),
    ProfileRow("PELTA_8_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3396"),
    ProfileRow("PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3397", kHostA),
    ProfileRow("PELTA_NRD", "ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostB, "3395"),
    ProfileRow("PELTA_NRD_Online", "ПЕЛТА НРД Онлайн"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostC, "3396"),
    ProfileRow("PELTA_KV", "ПЕЛТА КВ"_cp1251, "PELTA_KV", kHostD, "3395"),
    ProfileRow("PELTA_KV_Free", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostD, "3396"),
    ProfileRow("PELTA_KV_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397"),
    ProfileRow("PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", kHostE),
    ProfileRow("PELTA_DSW_QN", "ПЕЛТА ДСВ"_cp1251, "DSW_QN", kHostA, "3395"),
    ProfileRow("PELTA_DSW_KW", "ПЕЛТА ДСВ КВ"_cp1251, "DSW_KW", kHostD, "3395"),
    ProfileRow("PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС"_cp1251, "DSW_QS", kHostB, "3395"),
};

std::span<const ProductProfile> ProfileTable();
const ProductProfile* FindProfile(std::string_view key);

}  // namespace rdplaunch
