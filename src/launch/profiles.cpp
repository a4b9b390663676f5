// The compiled-in profile table and the lookup of the key in it.
#include "launch/profiles.h"

#include <array>

#include "launch/cp1251.h"
#include "launch/hosts.h"

namespace rdplaunch {

namespace {

// Several editions share a display name and therefore write the same desktop file.
constexpr std::array kProfiles{
    ProductProfile{"PELTA_8", "ПЕЛТА 8"_cp1251, "PELTA8", kHostA, "3395", Companion::kNone},
    ProductProfile{"PELTA_8_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3396", Companion::kNone},
    ProductProfile{"PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3397", Companion::kOnHostA},
    ProductProfile{"PELTA_NRD", "ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostB, "3395", Companion::kNone},
    ProductProfile{"PELTA_NRD_Online", "ПЕЛТА НРД Онлайн"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostC, "3396",
                   Companion::kNone},
    ProductProfile{"PELTA_KV", "ПЕЛТА КВ"_cp1251, "PELTA_KV", kHostD, "3395", Companion::kNone},
    ProductProfile{"PELTA_KV_Free", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostD, "3396", Companion::kNone},
    ProductProfile{"PELTA_KV_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", Companion::kNone},
    ProductProfile{"PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", Companion::kOnHostE},
    ProductProfile{"PELTA_DSW_QN", "ПЕЛТА ДСВ"_cp1251, "DSW_QN", kHostA, "3395", Companion::kNone},
    ProductProfile{"PELTA_DSW_KW", "ПЕЛТА ДСВ КВ"_cp1251, "DSW_KW", kHostD, "3395", Companion::kNone},
    ProductProfile{"PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС"_cp1251, "DSW_QS", kHostB, "3395", Companion::kNone},
};

void Apply(const ProductProfile& profile, ConnectionSettings& settings) {
  settings.displayName = profile.displayName;
  settings.keyOrAlias = profile.alias;
  settings.host = profile.host;
  settings.port = profile.port;
  if (profile.companion == Companion::kOnHostA) settings.companionOnHostA = true;
  if (profile.companion == Companion::kOnHostE) settings.companionOnHostE = true;
}

}  // namespace

std::span<const ProductProfile> ProfileTable() { return kProfiles; }

// Keys are compared byte for byte, case-sensitively. No alias is the key of another
// row, so stopping at the first match is the same as walking the whole table.
void SelectProfile(ConnectionSettings& settings) {
  for (const ProductProfile& profile : kProfiles) {
    if (settings.keyOrAlias == profile.key) {
      Apply(profile, settings);
      return;
    }
  }
}

// The server of the companion file, or nothing when the edition has none.
std::string_view CompanionHost(const ConnectionSettings& settings) {
  if (settings.companionOnHostE) return kHostE;
  if (settings.companionOnHostA) return kHostA;
  return {};
}

void SelectCompanion(ConnectionSettings& settings, std::string_view host) {
  settings.displayName = kCompanionApplication.displayName;
  settings.keyOrAlias = kCompanionApplication.alias;
  settings.host = host;
  settings.port = kCompanionApplication.port;
}

}  // namespace rdplaunch
