#include "name/launch_name.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"

namespace rdplaunch {
namespace {

struct NameCase {
  const char* name;
  const char* key;
  const char* userName;
  const char* password;
  NameRefusal refusal;
};

TEST(ReadLaunchName, TakesFieldsByteForByteAndSaysWhyItRefuses) {
  using enum NameRefusal;
  const NameCase cases[] = {
      {"PELTA_8$alice$s3cret$.exe", "PELTA_8", "alice", "s3cret", kNone},
      {"PELTA_8$alice$s3cret$ (1).exe", "PELTA_8", "alice", "s3cret", kNone},  // a browser's duplicate marker
      {"PELTA_8$alice$s3cret$", "PELTA_8", "alice", "s3cret", kNone},
      {"rdplaunch.exe", "", "", "", kNoSeparator},                              // renamed: no separator at all
      {"PELTA_8$alice$s3cret.exe", "PELTA_8", "alice", "", kNoThirdSeparator},  // the password needs a third '$'
      {"PELTA_8$alice$$.exe", "PELTA_8", "alice", "", kNoPassword},
      {"PELTA_8$alice$pa$$word$.exe", "PELTA_8", "alice", "pa", kNone},  // a '$' cuts the password
      {"PELTA_8$$s3cret$.exe", "PELTA_8", "", "s3cret", kNoUserName},
      {"PELTA_8$alice", "PELTA_8", "", "", kNoUserName},
      {"PELTA_8$.exe", "PELTA_8", "", "", kNoUserName},  // later fields are cut from the same rest
      {" PELTA_8 $ Alice $ S3cret $.exe", " PELTA_8 ", " Alice ", " S3cret ", kUnknownKey},
      {"pelta_8$alice$s3cret$.exe", "pelta_8", "alice", "s3cret", kUnknownKey},
      {"$$$.exe", "", "", "", kUnknownKey},
      {"", "", "", "", kNoSeparator},
  };
  for (const NameCase& c : cases) {
    const LaunchName read = ReadLaunchName(c.name);
    EXPECT_EQ(read.fields.key, c.key) << c.name;
    EXPECT_EQ(read.fields.userName, c.userName) << c.name;
    EXPECT_EQ(read.fields.password, c.password) << c.name;
    EXPECT_EQ(read.refusal, c.refusal) << c.name;
    EXPECT_EQ(read.profile == nullptr, c.refusal == kUnknownKey || c.refusal == kNoSeparator) << c.name;
  }
  // Every key of the table, as written out by hand, finds its own row.
  for (const testing::ExpectedProfile& row : testing::ExpectedProfiles()) {
    const LaunchName read = ReadLaunchName(ComposeLaunchName(row.key, "u", "p"));
    EXPECT_EQ(read.refusal, kNone) << row.key;
    ASSERT_NE(read.profile, nullptr);
    EXPECT_EQ(read.profile->key, row.key);
  }
}

TEST(ComposeLaunchName, SeparatesTheFieldsAndEndsInDotExe) {
  EXPECT_EQ(ComposeLaunchName("PELTA_8", "alice", "s3cret"), "PELTA_8$alice$s3cret$.exe");
  EXPECT_EQ(ComposeLaunchName("", "", ""), "$$$.exe");
}

// The name is what stands after a path's last '\', '/' or ':'; the password field is looked
// for there only, so a '$' in a folder never moves the mask onto another field.
TEST(PasswordField, MasksThePasswordTheLauncherReadsAndNothingElse) {
  auto cases = testing::ExpectedMaskedNames();
  cases.emplace_back("C:\\dir\\\xDB\\K$u$p$.exe",
                     "C:\\dir\\\xDB\\K$u$***$.exe");  // every '\\' byte of code page 1251 is one
  cases.emplace_back("", "");
  for (const auto& [path, masked] : cases) {
    const std::string_view given(path);
    const TextRange field = PasswordField(given);
    std::string shown(given);
    if (!field.Empty()) shown.replace(field.start, field.end - field.start, kMaskedPassword);
    EXPECT_EQ(shown, masked) << path;
  }
  // In a wide name, only whole code units delimit: U+043A, U+042F and U+045C end in the
  // bytes of ':', '/' and '\\'.
  EXPECT_TRUE(FileNamePart(std::u16string_view(u"C:\\dir\\PELTA_8$\u043A\u042F\u045C$pw$.exe")) ==
              u"PELTA_8$\u043A\u042F\u045C$pw$.exe");
}

}  // namespace
}  // namespace rdplaunch
