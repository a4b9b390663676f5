#include "rdpfile/settings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "fakes/expected_files.h"

namespace rdplaunch {
namespace {

// The secure view of the table is the list written out by hand ("name:type: -> scope
// name" lines), in the order a signature's scope lists them; every name stands once.
TEST(SettingsTable, TheSecureViewIsTheSecureListInItsOrder) {
  std::vector<std::string> secure;
  std::set<std::string_view> names;
  for (const Setting& setting : kSettings) {
    EXPECT_TRUE(names.insert(setting.name).second) << setting.name << " stands twice";
    EXPECT_EQ(setting.Secure(), setting.outside.kind == OutsideValues::Kind::kSignedOnly) << setting.name;
    if (setting.Secure()) {
      secure.push_back(std::string(setting.name) + ":" + setting.type + ": -> " + std::string(setting.scopeName));
    }
  }
  EXPECT_EQ(secure, testing::ExpectedLines("secure_settings.txt"));
  EXPECT_EQ(FindSetting("prompt for credentials")->scopeName, "Prompt For Credentials");
  EXPECT_FALSE(FindSetting("prompt for credentials on client")->Secure());
  EXPECT_EQ(FindSetting("Full Address"), nullptr) << "names are matched as the table spells them";
  EXPECT_TRUE(LineSets("server port:i:3395", *FindSetting("server port")));
  EXPECT_FALSE(LineSets("server port:s:3395", *FindSetting("server port")));
  EXPECT_FALSE(LineSets("server ports:i:3395", *FindSetting("server port")));
  EXPECT_FALSE(LineSets("server portxi:3395", *FindSetting("server port")));
  EXPECT_FALSE(LineSets("server port:i", *FindSetting("server port")));
}

}  // namespace
}  // namespace rdplaunch
