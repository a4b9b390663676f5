#include "launch/launch_sequence.h"

#include <gtest/gtest.h>

#include <new>

#include "failure/failure_reporting.h"
#include "fakes/expected_files.h"
#include "fakes/fake_platform.h"
#include "fakes/run_to_end.h"
#include "launch/texts.h"
#include "profiles/hosts.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

using testing::ExitCodeOf;
using testing::FakePlatform;

const std::string kDesktop = FakePlatform::kDesktop;
const std::string kCmdkey = std::string(FakePlatform::kSystem) + "\\cmdkey.exe";
const std::string kMstsc = std::string(FakePlatform::kSystem) + "\\mstsc.exe";

class LaunchTest : public ::testing::Test {
 protected:
  int Run(const std::string& launchName) {
    platform.ownPath = "C:\\Users\\alice\\Downloads\\" + launchName;
    return ExitCodeOf([&] { RunProcess(platform, RunLaunchSequence); });
  }

  // The calls that make up the run's visible steps, without the single writes.
  std::vector<std::string> Steps() const {
    std::vector<std::string> steps;
    for (const std::string& call : platform.calls) {
      if (call.rfind("WriteFile", 0) != 0 && call != "DesktopFolder") steps.push_back(call);
    }
    return steps;
  }

  FakePlatform platform;
};

TEST_F(LaunchTest, AValidNameStoresCredentialsWritesTheFileAndWaitsForTheClient) {
  EXPECT_EQ(Run("PELTA_8$alice$s3cret$.exe"), kExitSuccess);
  const std::string file = kDesktop + "\\" + std::string("ПЕЛТА 8"_cp1251) + ".rdp";
  EXPECT_EQ(Steps(),
            (std::vector<std::string>{"Start " + kCmdkey, "Wait 1", "Start " + kCmdkey, "Wait 2", "CreateFile " + file,
                                      "CloseFile", "Start " + kMstsc, "Wait 3", "Exit 0"}));
  ASSERT_EQ(platform.starts.size(), 3u);
  EXPECT_EQ(platform.starts[0].parameters, " /delete:termsrv/" + std::string(kHostA));
  EXPECT_EQ(platform.starts[1].parameters, " /generic:termsrv/" + std::string(kHostA) + " /user:alice /pass:s3cret");
  EXPECT_EQ(platform.starts[2].parameters, "\"" + file + "\"");
  EXPECT_TRUE(platform.infoBoxes.empty());
  EXPECT_TRUE(platform.failureBoxes.empty());
  EXPECT_EQ(platform.files.at(file).find("alice"), std::string::npos) << "the user name never enters the file";
  EXPECT_EQ(platform.files.at(file).find("s3cret"), std::string::npos) << "nor does the password";
  EXPECT_TRUE(ProcessRecord().name.fields.password.empty()) << "the record is wiped at the end";
}

// The values are overwritten where they stood. Short ones live inside the string objects
// themselves, which outlive the release, so their old places can still be read.
TEST(WipeProcessRecord, OverwritesEveryValueWhereItStood) {
  RunRecord& record = ProcessRecord();
  record.fileName = "K$bob$pw1$.exe";
  record.name.fields = {"K", "bob", "pw1"};
  LaunchFields& fields = record.name.fields;
  std::vector<std::string_view> places;
  for (const std::string* value : {&record.fileName, &fields.key, &fields.userName, &fields.password}) {
    const char* object = reinterpret_cast<const char*>(value);
    ASSERT_TRUE(value->data() >= object && value->data() < object + sizeof *value) << "not inside the object";
    places.emplace_back(value->data(), value->size());
  }
  WipeProcessRecord();
  for (const std::string_view place : places) EXPECT_EQ(place, std::string(place.size(), '\0'));
  EXPECT_TRUE(fields.password.empty());
}

TEST_F(LaunchTest, CompanionEditionsLeaveTheSecondFileOnlyAfterTheClientHasEnded) {
  std::size_t editions = 0;
  for (const testing::ExpectedProfile& row : testing::ExpectedProfiles()) {
    if (row.companionHost.empty()) continue;
    ++editions;
    FakePlatform fresh;
    platform = fresh;
    EXPECT_EQ(Run(row.key + "$alice$s3cret$.exe"), kExitSuccess);
    const std::vector<std::string> steps = Steps();
    const testing::ExpectedProfile expected = testing::ExpectedCompanion(row.companionHost);
    const std::string companion = kDesktop + "\\" + expected.displayName + ".rdp";
    ASSERT_GE(steps.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(steps.end() - 4, steps.end()),
              (std::vector<std::string>{"Wait 3", "CreateFile " + companion, "CloseFile", "Exit 0"}));
    EXPECT_EQ(platform.files.at(companion),
              testing::ExpectedConnectionFile(expected.port, expected.host, expected.alias));
    EXPECT_EQ(platform.files.size(), 2u);
  }
  EXPECT_EQ(editions, 2u);
}

TEST_F(LaunchTest, OtherEditionsLeaveNoCompanionFile) {
  std::size_t editions = 0;
  for (const testing::ExpectedProfile& row : testing::ExpectedProfiles()) {
    if (!row.companionHost.empty()) continue;
    ++editions;
    FakePlatform fresh;
    platform = fresh;
    EXPECT_EQ(Run(row.key + "$u$p$.exe"), kExitSuccess);
    EXPECT_EQ(platform.files.size(), 1u) << row.key;
    EXPECT_EQ(platform.calls.back(), "Exit 0");
  }
  EXPECT_EQ(editions, 10u);
}

// "Пожалуйста не переименовывайте файл!\n\rСкачайте файл заново." byte for byte.
constexpr std::string_view kRenameText =
    "\xCF\xEE\xE6\xE0\xEB\xF3\xE9\xF1\xF2\xE0 \xED\xE5 \xEF\xE5\xF0\xE5\xE8\xEC\xE5\xED\xEE\xE2\xFB\xE2"
    "\xE0\xE9\xF2\xE5 \xF4\xE0\xE9\xEB!\n\r\xD1\xEA\xE0\xF7\xE0\xE9\xF2\xE5 \xF4\xE0\xE9\xEB "
    "\xE7\xE0\xED\xEE\xE2\xEE.";

TEST_F(LaunchTest, ANameThatDoesNotCarryEverythingShowsOnlyTheRenameMessage) {
  for (const char* name :
       {"rdplaunch.exe", "pelta_8$alice$s3cret$.exe", "PELTA_8 $alice$s3cret$.exe", "PELTA8$alice$s3cret$.exe",
        "PELTA_8$$s3cret$.exe", "PELTA_8$alice$$.exe", "PELTA_8$alice$s3cret.exe", "$alice$s3cret$.exe"}) {
    FakePlatform fresh;
    platform = fresh;
    EXPECT_EQ(Run(name), kExitNameNotValid) << name;
    ASSERT_EQ(platform.infoBoxes.size(), 1u);
    EXPECT_EQ(platform.infoBoxes[0].text, kRenameText);
    EXPECT_EQ(platform.infoBoxes[0].caption, "Удаленное подключение"_cp1251);
    EXPECT_TRUE(platform.starts.empty());
    EXPECT_TRUE(platform.files.empty());
    EXPECT_TRUE(platform.failureBoxes.empty());
  }
}

TEST_F(LaunchTest, ANameWithACharacterCodePage1251LacksShowsTheRenameMessage) {
  platform.ownPath = "";  // what the fake answers for such a name
  EXPECT_EQ(ExitCodeOf([&] { RunProcess(platform, RunLaunchSequence); }), kExitNameNotValid);
  ASSERT_EQ(platform.infoBoxes.size(), 1u);
  EXPECT_EQ(platform.infoBoxes[0].text, kRenameText);
  EXPECT_TRUE(platform.starts.empty());
}

TEST_F(LaunchTest, BeforeWindows6TheCredentialsAreShownInsteadOfStored) {
  for (const unsigned version : {5u, 0u}) {
    FakePlatform fresh;
    platform = fresh;
    platform.majorVersion = version;
    const std::string user(("Иван Петров"_cp1251));
    EXPECT_EQ(Run("PELTA_KV$" + user + "$pa ss$.exe"), kExitSuccess);
    ASSERT_EQ(platform.infoBoxes.size(), 1u);
    EXPECT_EQ(platform.infoBoxes[0].text, std::string("Для подключения используйте имя пользователя - "_cp1251) + user +
                                              std::string(" и пароль "_cp1251) + "pa ss");
    ASSERT_EQ(platform.starts.size(), 1u);
    EXPECT_EQ(platform.starts[0].program, kMstsc);
    EXPECT_EQ(platform.calls.front(), "InfoBox");
  }
}

TEST_F(LaunchTest, Windows6IsTheFirstVersionThatStoresTheCredentials) {
  platform.majorVersion = 6;
  EXPECT_EQ(Run("PELTA_8$alice$s3cret$.exe"), kExitSuccess);
  EXPECT_TRUE(platform.infoBoxes.empty());
  ASSERT_EQ(platform.starts.size(), 3u);
  EXPECT_EQ(platform.starts[0].program, kCmdkey);
  EXPECT_EQ(platform.starts[1].program, kCmdkey);
}

TEST_F(LaunchTest, MemoryExhaustionInTheSequenceEndsInTheOutOfMemoryBox) {
  platform.ownPath = "C:\\Users\\alice\\Downloads\\PELTA_8$alice$s3cret$.exe";
  const LaunchSequence exhausting = [](Platform&, RunRecord&) -> int { throw std::bad_alloc(); };
  EXPECT_EQ(ExitCodeOf([&] { RunProcess(platform, exhausting); }), kExitFailureBox);
  ASSERT_EQ(platform.failureBoxes.size(), 1u);
  EXPECT_EQ(platform.failureBoxes[0].caption, "Application Error");
  const std::string& text = platform.failureBoxes[0].text;
  EXPECT_EQ(text.substr(0, 55), "Exception EOutOfMemory in module PELTA_8$alice$***$.exe");
  EXPECT_TRUE(text.ends_with(".\r\nOut of memory.\r\n")) << text;
}

TEST_F(LaunchTest, ACredentialToolThatCannotStartIsSkipped) {
  platform.FailCall("Start", 1, 2);
  platform.FailCall("Start", 2, 2);
  EXPECT_EQ(Run("PELTA_8$alice$s3cret$.exe"), kExitSuccess);
  EXPECT_EQ(platform.starts.size(), 3u);
  EXPECT_TRUE(platform.failureBoxes.empty());
}

TEST_F(LaunchTest, AClientThatCannotStartEndsInTheFailureBox) {
  platform.FailCall("Start", 3, 2);
  EXPECT_EQ(Run("PELTA_8_CP_Online$alice$s3cret$.exe"), kExitFailureBox);
  ASSERT_EQ(platform.failureBoxes.size(), 1u);
  EXPECT_NE(platform.failureBoxes[0].text.find("Exception EStartError in module PELTA_8_CP_Online$alice$***$.exe at"),
            std::string::npos);
  EXPECT_NE(platform.failureBoxes[0].text.find("\r\nCannot start " + kMstsc +
                                               ": The system cannot find the file specified.\r\n"),
            std::string::npos);
  EXPECT_EQ(platform.files.size(), 1u) << "no companion file after a client that never ran";
}

TEST_F(LaunchTest, AFailedWriteOfTheFirstFileStartsNoClient) {
  platform.FailCall("WriteFile", 2, 112);
  EXPECT_EQ(Run("PELTA_8_CP_Online$alice$s3cret$.exe"), kExitFailureBox);
  EXPECT_EQ(platform.starts.size(), 2u) << "only the two credential commands";
  EXPECT_TRUE(platform.files.empty());
  ASSERT_EQ(platform.failureBoxes.size(), 1u);
  const std::string& text = platform.failureBoxes[0].text;
  EXPECT_EQ(text.substr(0, 64), "Exception EInOutError in module PELTA_8_CP_Online$alice$***$.exe");
  EXPECT_EQ(text.substr(text.size() - 18), "\r\nI/O error 112.\r\n");
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
}

TEST_F(LaunchTest, AFailedCompanionFileIsReportedAfterTheClientHasEnded) {
  platform.FailCall("CreateFile", 2, 5);
  EXPECT_EQ(Run("PELTA_KV_CP_Online$alice$s3cret$.exe"), kExitFailureBox);
  EXPECT_EQ(platform.starts.size(), 3u);
  EXPECT_NE(platform.failureBoxes.at(0).text.find("\r\nFile access denied.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace rdplaunch
