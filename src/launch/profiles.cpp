// The compiled-in profile table and the lookup of the key in it.
#include "launch/profiles.h"

#include <array>

#include "launch/hosts.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

constexpr ProductProfile Row(std::string_view key, std::string_view displayName, std::string_view alias,
                             std::string_view host, std::string_view port, std::string_view companionHost = {}) {
  return {key, {displayName, alias, host, port}, companionHost};
}

// Several editions share a display name and therefore write the same desktop file.
constexpr std::array kProfiles{
    Row("PELTA_8", "ПЕЛТА 8"_cp1251, "PELTA8", kHostA, "3395"),
    Row("PELTA_8_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3396"),
    Row("PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3397", kHostA),
    Row("PELTA_NRD", "ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostB, "3395"),
    Row("PELTA_NRD_Online", "ПЕЛТА НРД Онлайн"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostC, "3396"),
    Row("PELTA_KV", "ПЕЛТА КВ"_cp1251, "PELTA_KV", kHostD, "3395"),
    Row("PELTA_KV_Free", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostD, "3396"),
    Row("PELTA_KV_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397"),
    Row("PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", kHostE),
    Row("PELTA_DSW_QN", "ПЕЛТА ДСВ"_cp1251, "DSW_QN", kHostA, "3395"),
    Row("PELTA_DSW_KW", "ПЕЛТА ДСВ КВ"_cp1251, "DSW_KW", kHostD, "3395"),
    Row("PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС"_cp1251, "DSW_QS", kHostB, "3395"),
};

}  // namespace

std::span<const ProductProfile> ProfileTable() { return kProfiles; }

// Keys are compared byte for byte, case-sensitively; an unknown key (the empty one
// included) finds no row.
const ProductProfile* FindProfile(std::string_view key) {
  for (const ProductProfile& profile : kProfiles) {
    if (key == profile.key) return &profile;
  }
  return nullptr;
}

std::optional<ConnectionTarget> CompanionTarget(const ProductProfile& profile) {
  if (profile.companionHost.empty()) return std::nullopt;
  return ConnectionTarget{kCompanionApplication.displayName, kCompanionApplication.alias, profile.companionHost,
                          kCompanionApplication.port};
}

}  // namespace rdplaunch
