#include "launch/profiles.h"

#include <gtest/gtest.h>

#include "launch/cp1251.h"
#include "launch/hosts.h"

namespace rdplaunch {
namespace {

struct Expected {
  const char* key;
  std::string_view displayName;
  std::string_view alias;
  std::string_view host;
  const char* port;
  bool companionOnHostA;
  bool companionOnHostE;
};

TEST(SelectProfile, EveryKeyGivesItsRow) {
  const Expected rows[] = {
      {"PELTA_8", "ПЕЛТА 8"_cp1251, "PELTA8", kHostA, "3395", false, false},
      {"PELTA_8_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3396", false, false},
      {"PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3397", true, false},
      {"PELTA_NRD", "ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostB, "3395", false, false},
      {"PELTA_NRD_Online", "ПЕЛТА НРД Онлайн"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostC, "3396", false, false},
      {"PELTA_KV", "ПЕЛТА КВ"_cp1251, "PELTA_KV", kHostD, "3395", false, false},
      {"PELTA_KV_Free", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostD, "3396", false, false},
      {"PELTA_KV_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", false, false},
      {"PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", false, true},
      {"PELTA_DSW_QN", "ПЕЛТА ДСВ"_cp1251, "DSW_QN", kHostA, "3395", false, false},
      {"PELTA_DSW_KW", "ПЕЛТА ДСВ КВ"_cp1251, "DSW_KW", kHostD, "3395", false, false},
      {"PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС"_cp1251, "DSW_QS", kHostB, "3395", false, false},
  };
  ASSERT_EQ(ProfileTable().size(), std::size(rows));
  for (const Expected& row : rows) {
    ConnectionSettings settings;
    settings.keyOrAlias = row.key;
    SelectProfile(settings);
    EXPECT_EQ(settings.displayName, row.displayName) << row.key;
    EXPECT_EQ(settings.keyOrAlias, row.alias) << row.key;
    EXPECT_EQ(settings.host, row.host) << row.key;
    EXPECT_EQ(settings.port, row.port) << row.key;
    EXPECT_EQ(settings.companionOnHostA, row.companionOnHostA) << row.key;
    EXPECT_EQ(settings.companionOnHostE, row.companionOnHostE) << row.key;
  }
}

TEST(SelectProfile, OnlyTheExactKeyMatches) {
  for (const char* key : {"pelta_8", "PELTA_8 ", " PELTA_8", "", "PELTA8", "DSW_QN", "PELTA_KV_Fre"}) {
    ConnectionSettings settings;
    settings.keyOrAlias = key;
    SelectProfile(settings);
    EXPECT_EQ(settings.displayName, "") << key;
    EXPECT_EQ(settings.keyOrAlias, key);
    EXPECT_EQ(settings.host + settings.port, "");
  }
}

}  // namespace
}  // namespace rdplaunch
