// The table of editions, with the servers the build was given (CMake cache variables
// RDPLAUNCH_HOST_A to RDPLAUNCH_HOST_E, in the generated profiles/hosts.h).
#pragma once

#include <array>

#include "profiles/hosts.h"
#include "profiles/profiles.h"
#include "text/cp1251.h"

namespace rdplaunch {

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

}  // namespace rdplaunch
