#include "launch/launch_name.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "launch/connection_settings.h"
#include "text/path_name.h"

namespace rdplaunch {
namespace {

struct NameCase {
  const char* name;
  const char* key;
  const char* userName;
  const char* password;
};

TEST(SplitLaunchName, TakesFieldsByteForByteUpToEachSeparator) {
  const NameCase cases[] = {
      {"PELTA_8$alice$s3cret$.exe", "PELTA_8", "alice", "s3cret"},
      {"PELTA_8$alice$s3cret$ (1).exe", "PELTA_8", "alice", "s3cret"},  // a browser's duplicate marker
      {"rdplaunch.exe", "", "", ""},                                    // renamed: no separator at all
      {"PELTA_8$alice$s3cret.exe", "PELTA_8", "alice", ""},             // the password needs a third '$'
      {"PELTA_8$alice$pa$$word$.exe", "PELTA_8", "alice", "pa"},        // a '$' cuts the password
      {"PELTA_8$$s3cret$.exe", "PELTA_8", "", "s3cret"},
      {"PELTA_8$.exe", "PELTA_8", "", ""},  // later fields are cut from the same rest
      {" PELTA_8 $ Alice $ S3cret $.exe", " PELTA_8 ", " Alice ", " S3cret "},
      {"$$$.exe", "", "", ""},
      {"", "", "", ""},
  };
  for (const NameCase& c : cases) {
    const LaunchFields fields = SplitLaunchName(c.name);
    EXPECT_EQ(fields.key, c.key) << c.name;
    EXPECT_EQ(fields.userName, c.userName) << c.name;
    EXPECT_EQ(fields.password, c.password) << c.name;
  }
}

TEST(FileNamePart, KeepsTheTextAfterTheLastBackslashOrColon) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Users\\a$b$c$\\PELTA_8$u$p$.exe", "PELTA_8$u$p$.exe"},  // a '$' in a folder never counts
      {"C:PELTA_8$u$p$.exe", "PELTA_8$u$p$.exe"},
      {"PELTA_8$u$p$.exe", "PELTA_8$u$p$.exe"},
      {"C:\\dir/with/slashes$u$p$.exe", "dir/with/slashes$u$p$.exe"},  // '/' is no delimiter
      {"C:\\folder\\", ""},
      {"", ""},
      {"C:\\dir\\\xDB\\name.exe", "name.exe"},  // in code page 1251 every '\\' byte is a delimiter
  };
  for (const auto& [path, name] : cases) EXPECT_EQ(FileNamePart(path), name) << path;
}

TEST(ParseLaunchName, ReadsTheRunningExecutablesOwnName) {
  testing::FakePlatform platform;
  platform.ownPath = "C:\\Down$loads\\PELTA_KV$bob$pw$.exe";
  ConnectionSettings settings;
  ParseLaunchName(platform, settings);
  EXPECT_EQ(settings.fields.key, "PELTA_KV");
  EXPECT_EQ(settings.fields.userName, "bob");
  EXPECT_EQ(settings.fields.password, "pw");

  platform.ownPath = "";  // the module path query failed, or the name has a character 1251 lacks
  ConnectionSettings empty;
  ParseLaunchName(platform, empty);
  EXPECT_EQ(empty.fields.key + empty.fields.userName + empty.fields.password, "");
}

}  // namespace
}  // namespace rdplaunch
