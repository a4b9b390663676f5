#include "rdpfile/connection_file.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"
#include "profiles/profiles.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kPlainTarget{"ПЕЛТА 8"_cp1251, "PELTA8", "rds-a.example.com", "3395"};
const ConnectionTarget kCyrillicTarget{"ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, "rds-b.example.com", "3395"};

TEST(ConnectionFileContent, HasTheFixedLinesAndTheProfileValues) {
  ConnectionTarget settings = kPlainTarget;
  settings.host = "host.example";
  const std::string content = ConnectionFileContent(settings);
  EXPECT_EQ(content.size(), 1379u + settings.host.size());
  EXPECT_EQ(content.substr(0, 23), "redirectclipboard:i:1\r\n");
  EXPECT_EQ(content.substr(content.size() - 21), "desktopheight:i:600\r\n");
  for (const char* line :
       {"\r\nserver port:i:3395\r\n", "\r\nfull address:s:host.example\r\n", "\r\nalternate shell:s:||PELTA8\r\n",
        "\r\nremoteapplicationprogram:s:||PELTA8\r\n", "\r\ngatewayhostname:s:\r\n",
        "\r\nremoteapplicationname:s:PELTA8\r\n", "\r\nwinposstr:s:0,3,0,0,800,600\r\n", "\r\nkdcproxyname:s:\r\n"}) {
    EXPECT_NE(content.find(line), std::string::npos) << line;
  }
  std::size_t lineFeeds = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] != '\n') continue;
    ++lineFeeds;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(content[i - 1], '\r') << "a line ends in a line feed alone at " << i;
  }
  EXPECT_EQ(lineFeeds, kConnectionFileLineCount);
}

TEST(ConnectionFileContent, CyrillicAliasIsWrittenUnquoted) {
  const std::string content = ConnectionFileContent(kCyrillicTarget);
  EXPECT_NE(content.find("\r\nalternate shell:s:||" + std::string("ПЕЛТА НРД2016"_cp1251) + "\r\n"), std::string::npos);
}

// Every row's file and the companion's, in both encodings, against the template written
// out by hand: a swapped pair of lines or a changed value of the same length shows here.
TEST(ConnectionFileContent, EveryRowAndTheCompanionAreTheTemplateFilledIn) {
  std::vector<ConnectionTarget> all;
  for (const ProductProfile& profile : ProfileTable()) all.push_back(profile.target);
  all.push_back(*RowFiles(ProfileTable()[8]).Companion());
  for (const ConnectionTarget& target : all) {
    const std::string expected = testing::ExpectedConnectionFile(target.port, target.host, target.alias);
    EXPECT_EQ(ConnectionFileContent(target), expected) << target.displayName;
    EXPECT_EQ(ConnectionFileContent(target, FileEncoding::kUtf16Le), "\xFF\xFE" + Cp1251ToUtf16Le(expected));
  }
}

TEST(ConnectionFilePath, JoinsDesktopDisplayNameAndExtension) {
  EXPECT_EQ(ConnectionFilePath("D:\\Desk", "ПЕЛТА 8"_cp1251), "D:\\Desk\\" + std::string("ПЕЛТА 8"_cp1251) + ".rdp");
}

}  // namespace
}  // namespace rdplaunch
