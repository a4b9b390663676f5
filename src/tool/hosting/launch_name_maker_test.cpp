#include "hosting/launch_name_maker.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"
#include "profiles/profiles.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

TEST(MakeLaunchName, EveryProfileRoundTripsWithAsciiAndCyrillicCredentials) {
  const std::pair<const char*, const char*> credentials[] = {{"alice", "s3cret"},
                                                             {"Иван Петров", "пароль с пробелами"},
                                                             {" lead", "trail "},
                                                             {"a.b@c", "p'w&d!+(x)#;=,~{}[]^`"},
                                                             {"№ «Ёлка» — €…", "x y"}};
  for (const ProductProfile& profile : ProfileTable()) {
    for (const auto& [user, password] : credentials) {
      const MadeName made = MakeLaunchName(profile.key, user, password);
      ASSERT_EQ(made.refusal, "") << profile.key << " " << user;
      const NameCheck check = CheckLaunchName(made.name);
      EXPECT_EQ(check.renameReason, "");
      EXPECT_EQ(check.read.fields.userName, *Utf8ToCp1251(user));
      EXPECT_EQ(check.read.fields.password, *Utf8ToCp1251(password));
      EXPECT_EQ(check.read.profile->target.displayName, profile.target.displayName);
    }
  }
}

TEST(MakeLaunchName, RefusesWhatCannotTravelInAFileName) {
  const struct {
    const char* key;
    const char* user;
    const char* password;
    const char* refusal;
  } cases[] = {
      {"PELTA_8", "al$ce", "pw", "the user name contains '$', which separates the fields of the name"},
      {"PELTA_8", "alice", "pa$$", "the password contains '$', which separates the fields of the name"},
      {"PELTA_8", "alice", "a\\b", "the password contains the character '\\' (U+005C), which Windows does not allow"},
      {"PELTA_8", "alice", "a/b", "the password contains the character '/' (U+002F)"},
      {"PELTA_8", "alice", "a:b", "the password contains the character ':' (U+003A)"},
      {"PELTA_8", "alice", "a*b", "the password contains the character '*' (U+002A)"},
      {"PELTA_8", "alice", "a?b", "the password contains the character '?' (U+003F)"},
      {"PELTA_8", "alice", "a\"b", "the password contains the character '\"' (U+0022)"},
      {"PELTA_8", "a<b", "pw", "the user name contains the character '<' (U+003C)"},
      {"PELTA_8", "a>b", "pw", "the user name contains the character '>' (U+003E)"},
      {"PELTA_8", "a|b", "pw", "the user name contains the character '|' (U+007C)"},
      {"PELTA_8", "alice", "tab\there", "the password contains the control character U+0009, which Windows"},
      // What browsers change when they save a download.
      {"PELTA_8", "alice",
       "a\x7F"
       "b",
       "the password contains the control character U+007F, which a browser changes"},
      {"PELTA_8", "alice", "50%", "the password contains the character '%' (U+0025), which a browser changes"},
      {"PELTA_8", "a\u00A0b", "pw", "the user name contains a no-break space (U+00A0), which a browser changes"},
      {"PELTA_8", "alice", "a\u00ADb", "the password contains a soft hyphen (U+00AD), which a browser changes"},
      {"PELTA_8", "alice", "p  q", "the password contains two spaces in a row, which a browser changes"},
      {"PELTA_8", "alice  ", "pw", "the user name contains two spaces in a row"},
      {"PELTA_8", "alice", "日本", "the password contains the character U+65E5, which has no code page 1251 character"},
      {"PELTA_8", "alice", "pa\u0301ss",
       "the password contains the character U+0301, which has no code page 1251 character"},
      {"PELTA_8", "alice", "pw\xFF", "the password contains the byte 0xFF, which has no code page 1251 character"},
      {"PELTA_8", "", "pw", "the user name is empty"},
      {"PELTA_8", "alice", "", "the password is empty"},
      {"pelta_8", "alice", "pw", "the key is not one of PELTA_8, PELTA_8_Online, "},
      {"s3cretPW", "alice", "PELTA_8", "the key is not one of PELTA_8, "},  // values in the wrong order
  };
  for (const auto& c : cases) {
    const MadeName made = MakeLaunchName(c.key, c.user, c.password);
    EXPECT_EQ(made.name, "") << c.refusal;
    EXPECT_EQ(made.refusal.substr(0, std::string_view(c.refusal).size()), c.refusal);
  }
}

TEST(MakeLaunchName, KeepsTheNameShortEnoughToArriveWhole) {
  const std::string fits(120 - std::string("PELTA_8$a$$.exe").size(), 'p');
  EXPECT_EQ(MakeLaunchName("PELTA_8", "a", fits).name.size(), 120u);
  EXPECT_EQ(MakeLaunchName("PELTA_8", "a", fits + "p").refusal,
            "the name would have 121 characters; at most 120 arrive whole in a download folder");
  // Within 120 characters, but 3 bytes each in UTF-8.
  std::string euros;
  for (int i = 0; i < 80; ++i) euros += "€";
  EXPECT_EQ(MakeLaunchName("PELTA_8", "a", euros).refusal.substr(0, 35), "the name would take 255 bytes in UT");
}

// The keys of tests/expected/profiles.tsv, in its order, as a refusal lists them.
std::string ExpectedKeys() {
  std::string keys;
  for (const testing::ExpectedProfile& row : testing::ExpectedProfiles()) keys += (keys.empty() ? "" : ", ") + row.key;
  return keys;
}

TEST(CheckLaunchName, SaysWhyTheLauncherWouldAskNotToRename) {
  const std::string unknownKey = "the key is not one of " + ExpectedKeys();
  const std::pair<const char*, std::string> cases[] = {
      {"rdplaunch.exe", "the name has no '$': it is not KEY$USER$PASSWORD$.exe"},
      {"PELTA_9$alice$pw$.exe", unknownKey},
      {"$alice$pw$.exe", unknownKey},
      {"PELTA_8$$pw$.exe", "the user name is empty"},
      {"PELTA_8$alice$pw.exe", "the password is empty: the name has no third '$'"},
      {"PELTA_8$alice$$.exe", "the password is empty"},
  };
  for (const auto& [name, reason] : cases) EXPECT_EQ(CheckLaunchName(name).renameReason, reason) << name;
  // A copy whose name Windows could not hold, or a browser would change, was not delivered intact.
  const std::pair<const char*, const char*> changes[] = {
      {"PELTA_8$al<ice$p>w|x\"y?z*$.exe", "the character '<' (U+003C)"},
      {"PELTA_8$alice$p*w$.exe", "the character '*' (U+002A)"},
      {"PELTA_8$a\x01$pw$.exe", "the control character U+0001"},
      {"PELTA_8$alice$50%$.exe", "the character '%' (U+0025)"},
      {"PELTA_8$alice$pw$.exe", ""},
      {"PELTA_8$alice$pw$.exe.", "a '.' at its end"},
      {"PELTA_8$alice$pw$.exe ", "a space at its end"},
      {"PELTA_8$alice$pw.$.exe", ""},
  };
  for (const auto& [name, change] : changes) EXPECT_EQ(CheckLaunchName(name).browserChange, change) << name;
}

}  // namespace
}  // namespace rdplaunch
