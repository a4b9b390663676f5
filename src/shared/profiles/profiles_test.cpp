#include "profiles/profiles.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"
#include "profiles/hosts.h"
#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

using testing::ExpectedConnectionFile;
using testing::ExpectedProfile;

// The table as written out by hand in tests/expected/profiles.tsv.
TEST(FindProfile, EveryKeyGivesItsRow) {
  const std::vector<ExpectedProfile> rows = testing::ExpectedProfiles();
  ASSERT_EQ(ProfileTable().size(), rows.size());
  for (const ExpectedProfile& row : rows) {
    const ProductProfile* profile = FindProfile(row.key);
    ASSERT_NE(profile, nullptr) << row.key;
    EXPECT_EQ(profile->target.displayName, row.displayName) << row.key;
    EXPECT_EQ(profile->target.alias, row.alias) << row.key;
    EXPECT_EQ(profile->target.host, row.host) << row.key;
    EXPECT_EQ(profile->target.port, row.port) << row.key;
    EXPECT_EQ(profile->companionHost, row.companionHost) << row.key;
    const RowFileList files = RowFiles(*profile);
    const ConnectionTarget* companion = files.Companion();
    EXPECT_EQ(companion != nullptr, !row.companionHost.empty()) << row.key;
    if (companion) {
      const ExpectedProfile expected = testing::ExpectedCompanion(row.companionHost);
      EXPECT_EQ(companion->displayName, expected.displayName);
      EXPECT_EQ(companion->alias, expected.alias);
      EXPECT_EQ(companion->host, expected.host);
      EXPECT_EQ(companion->port, expected.port);
    }
  }
}

TEST(FindProfile, OnlyTheExactKeyMatches) {
  for (const char* key : {"pelta_8", "PELTA_8 ", " PELTA_8", "", "PELTA8", "DSW_QN", "PELTA_KV_Fre"}) {
    EXPECT_EQ(FindProfile(key), nullptr) << key;
  }
}

}  // namespace
}  // namespace rdplaunch
