#include "launch/profiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fakes/fake_platform.h"
#include "launch/hosts.h"
#include "rdpfile/connection_file.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

struct Expected {
  const char* key;
  std::string_view displayName;
  std::string_view alias;
  std::string_view host;
  const char* port;
  std::string_view companionHost;
};

TEST(FindProfile, EveryKeyGivesItsRow) {
  const Expected rows[] = {
      {"PELTA_8", "ПЕЛТА 8"_cp1251, "PELTA8", kHostA, "3395", {}},
      {"PELTA_8_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3396", {}},
      {"PELTA_8_CP_Online", "ПЕЛТА 8 Онлайн"_cp1251, "PELTA8", kHostA, "3397", kHostA},
      {"PELTA_NRD", "ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostB, "3395", {}},
      {"PELTA_NRD_Online", "ПЕЛТА НРД Онлайн"_cp1251, "ПЕЛТА НРД2016"_cp1251, kHostC, "3396", {}},
      {"PELTA_KV", "ПЕЛТА КВ"_cp1251, "PELTA_KV", kHostD, "3395", {}},
      {"PELTA_KV_Free", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostD, "3396", {}},
      {"PELTA_KV_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", {}},
      {"PELTA_KV_CP_Online", "ПЕЛТА КВ Онлайн"_cp1251, "PELTA_KV", kHostE, "3397", kHostE},
      {"PELTA_DSW_QN", "ПЕЛТА ДСВ"_cp1251, "DSW_QN", kHostA, "3395", {}},
      {"PELTA_DSW_KW", "ПЕЛТА ДСВ КВ"_cp1251, "DSW_KW", kHostD, "3395", {}},
      {"PELTA_DSW_QS", "ПЕЛТА ДСВ ЦС"_cp1251, "DSW_QS", kHostB, "3395", {}},
  };
  ASSERT_EQ(ProfileTable().size(), std::size(rows));
  for (const Expected& row : rows) {
    const ProductProfile* profile = FindProfile(row.key);
    ASSERT_NE(profile, nullptr) << row.key;
    EXPECT_EQ(profile->target.displayName, row.displayName) << row.key;
    EXPECT_EQ(profile->target.alias, row.alias) << row.key;
    EXPECT_EQ(profile->target.host, row.host) << row.key;
    EXPECT_EQ(profile->target.port, row.port) << row.key;
    EXPECT_EQ(profile->companionHost, row.companionHost) << row.key;
    const std::optional<ConnectionTarget> companion = CompanionTarget(*profile);
    EXPECT_EQ(companion.has_value(), !row.companionHost.empty()) << row.key;
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
std::string ExpectedFile(std::string_view port, std::string_view host, std::string_view alias) {
  std::ifstream in(RDPLAUNCH_EXPECTED_DIR "/connection_file.template", std::ios::binary);
  const std::string pattern{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_FALSE(pattern.empty()) << "cannot read the expected connection file";
  std::string file;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 6, "<port>") == 0) {
      file += port, i += 5;
    } else if (pattern.compare(i, 6, "<host>") == 0) {
      file += host, i += 5;
    } else if (pattern.compare(i, 7, "<alias>") == 0) {
      file += alias, i += 6;
    } else {
      file += pattern[i] == '\n' ? std::string("\r\n") : std::string(1, pattern[i]);
    }
  }
  return file;
}

TEST(ProfileFiles, AreExactlyTheFilesWrittenOutLineByLine) {
  // ПЕЛТА НРД2016 in code page 1251.
  const std::string cyrillicAlias =
      "\xCF\xC5\xCB\xD2\xC0 \xCD\xD0\xC4"
      "2016";
  EXPECT_EQ(ConnectionFileContent(ProfileTable()[0].target), ExpectedFile("3395", kHostA, "PELTA8"));
  EXPECT_EQ(ConnectionFileContent(ProfileTable()[3].target), ExpectedFile("3395", kHostB, cyrillicAlias));
  EXPECT_EQ(ConnectionFileContent(*CompanionTarget(ProfileTable()[8])), ExpectedFile("3397", kHostE, "PlnDsk"));
}

// The launcher's signed write path: UTF-16LE after a byte order mark whatever the code
// page, the usual lines, the alternate address, then the signscope and signature lines.
TEST(ProfileFiles, ASignedFileIsTheLinesThenItsScopeAndSignatureInUtf16) {
  const ConnectionTarget& target = ProfileTable()[0].target;
  const FileSignature signature{target.alias, target.host, target.port, "Full Address", "AAAA"};
  const std::string text = ExpectedFile("3395", kHostA, "PELTA8") + "alternate full address:s:" + std::string(kHostA) +
                           "\r\nsignscope:s:Full Address\r\nsignature:s:AAAA\r\n";
  std::string expected = "\xFF\xFE";
  for (const char c : text) expected += std::string{c, '\0'};  // all ASCII
  for (const unsigned codePage : {1251u, 1252u}) {
    testing::FakePlatform platform;
    platform.ansiCodePage = codePage;
    WriteConnectionFile(platform, target, &signature);
    EXPECT_EQ(platform.files.at(std::string(testing::FakePlatform::kDesktop) + "\\" + std::string(target.displayName) +
                                ".rdp"),
              expected)
        << codePage;
  }
}

TEST(ProfileFiles, EveryRowAndTheCompanionFollowTheSizeRule) {
  std::vector<ConnectionTarget> all;
  for (const ProductProfile& profile : ProfileTable()) all.push_back(profile.target);
  all.push_back(*CompanionTarget(ProfileTable()[8]));
  for (const ConnectionTarget& settings : all) {
    const std::string content = ConnectionFileContent(settings);
    EXPECT_EQ(content.size(), 1357 + settings.port.size() + settings.host.size() + 3 * settings.alias.size())
        << settings.displayName;
    EXPECT_NE(content.find("remoteapplicationname:s:" + std::string(settings.alias) + "\r\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace rdplaunch
