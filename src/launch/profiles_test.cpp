#include "launch/profiles.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"
#include "fakes/fake_platform.h"
#include "launch/hosts.h"
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
      EXPECT_EQ(companion->displayName, "PlanDesk Online");
      EXPECT_EQ(companion->alias, "PlnDsk");
      EXPECT_EQ(companion->host, row.companionHost);
      EXPECT_EQ(companion->port, "3397");
    }
  }
}

TEST(FindProfile, OnlyTheExactKeyMatches) {
  for (const char* key : {"pelta_8", "PELTA_8 ", " PELTA_8", "", "PELTA8", "DSW_QN", "PELTA_KV_Fre"}) {
    EXPECT_EQ(FindProfile(key), nullptr) << key;
  }
}

// The whole file, written out by hand in tests/expected independently of the code: a
// swapped pair of lines or a changed value of the same length shows here.
TEST(ProfileFiles, AreExactlyTheFilesWrittenOutLineByLine) {
  // ПЕЛТА НРД2016 in code page 1251.
  const std::string cyrillicAlias =
      "\xCF\xC5\xCB\xD2\xC0 \xCD\xD0\xC4"
      "2016";
  EXPECT_EQ(ConnectionFileContent(ProfileTable()[0].target), ExpectedConnectionFile("3395", kHostA, "PELTA8"));
  EXPECT_EQ(ConnectionFileContent(ProfileTable()[3].target), ExpectedConnectionFile("3395", kHostB, cyrillicAlias));
  EXPECT_EQ(ConnectionFileContent(*RowFiles(ProfileTable()[8]).Companion()),
            ExpectedConnectionFile("3397", kHostE, "PlnDsk"));
}

// The launcher's signed write path: UTF-16LE after a byte order mark whatever the code
// page, the usual lines, the alternate address, then the signscope and signature lines.
TEST(ProfileFiles, ASignedFileIsTheLinesThenItsScopeAndSignatureInUtf16) {
  const ConnectionTarget& target = ProfileTable()[0].target;
  // Another port's signature first: only the file's own alias, host and port pick one.
  const FileSignature signatures[] = {{target.alias, target.host, "3396", "Full Address", "BBBB"},
                                      {target.alias, target.host, target.port, "Full Address", "AAAA"}};
  const std::string text = ExpectedConnectionFile("3395", kHostA, "PELTA8") +
                           "alternate full address:s:" + std::string(kHostA) +
                           "\r\nsignscope:s:Full Address\r\nsignature:s:AAAA\r\n";
  std::string expected = "\xFF\xFE";
  for (const char c : text) expected += std::string{c, '\0'};  // all ASCII
  for (const unsigned codePage : {1251u, 1252u}) {
    testing::FakePlatform platform;
    platform.ansiCodePage = codePage;
    WriteConnectionFile(platform, target, signatures);
    EXPECT_EQ(platform.files.at(std::string(testing::FakePlatform::kDesktop) + "\\" + std::string(target.displayName) +
                                ".rdp"),
              expected)
        << codePage;
  }
}

TEST(ProfileFiles, EveryRowAndTheCompanionFollowTheSizeRule) {
  std::vector<ConnectionTarget> all;
  for (const ProductProfile& profile : ProfileTable()) all.push_back(profile.target);
  all.push_back(*RowFiles(ProfileTable()[8]).Companion());
  for (const ConnectionTarget& settings : all) {
    const std::string content = ConnectionFileContent(settings);
    EXPECT_EQ(content.size(), 1357 + settings.port.size() + settings.host.size() + 3 * settings.alias.size())
        << settings.displayName;
    EXPECT_NE(content.find("remoteapplicationname:s:" + std::string(settings.alias) + "\r\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace rdplaunch
