#include "rdpfile/connection_file.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"
#include "profiles/profiles.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

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
