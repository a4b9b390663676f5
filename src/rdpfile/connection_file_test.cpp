#include "rdpfile/connection_file.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "launch/cp1251.h"
#include "launch/hosts.h"
#include "launch/profiles.h"
#include "platform/failure_reporting.h"

namespace rdplaunch {
namespace {

using testing::FakePlatform;

ConnectionSettings SettingsOf(const ProductProfile& profile) {
  ConnectionSettings settings;
  settings.keyOrAlias = profile.key;
  SelectProfile(settings);
  settings.userName = "alice";
  settings.password = "s3cret";
  return settings;
}

ConnectionSettings CompanionSettings() {
  ConnectionSettings settings;
  settings.displayName = kCompanionApplication.displayName;
  settings.keyOrAlias = kCompanionApplication.alias;
  settings.port = kCompanionApplication.port;
  settings.host = "rds-e.example.com";
  return settings;
}

std::size_t ExpectedSize(const ConnectionSettings& s) {
  return 1357 + s.port.size() + s.host.size() + 3 * s.keyOrAlias.size();
}

const std::string kDesktop = FakePlatform::kDesktop;

TEST(ConnectionFileContent, HasTheFixedLinesAndTheProfileValues) {
  ConnectionSettings settings = SettingsOf(ProfileTable()[0]);
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

TEST(ConnectionFileContent, EveryProfileAndTheCompanionFollowTheSizeRule) {
  std::vector<ConnectionSettings> all;
  for (const ProductProfile& profile : ProfileTable()) all.push_back(SettingsOf(profile));
  all.push_back(CompanionSettings());
  for (const ConnectionSettings& settings : all) {
    const std::string content = ConnectionFileContent(settings);
    EXPECT_EQ(content.size(), ExpectedSize(settings)) << settings.displayName;
    EXPECT_NE(content.find("remoteapplicationname:s:" + settings.keyOrAlias + "\r\n"), std::string::npos);
    EXPECT_EQ(content.find(settings.password.empty() ? "\x01" : settings.password), std::string::npos);
    EXPECT_EQ(content.find("alice"), std::string::npos) << "the user name never enters the file";
  }
}

TEST(ConnectionFileContent, CyrillicAliasIsWrittenUnquoted) {
  const std::string content = ConnectionFileContent(SettingsOf(ProfileTable()[3]));
  EXPECT_NE(content.find("\r\nalternate shell:s:||" + std::string("ПЕЛТА НРД2016"_cp1251) + "\r\n"), std::string::npos);
}

// The whole file, written out independently of the code: a swapped pair of lines or a
// changed value of the same length shows here.
std::string ExpectedFile(std::string_view port, std::string_view host, std::string_view alias) {
  constexpr std::string_view kTemplate = R"(redirectclipboard:i:1
redirectposdevices:i:0
redirectprinters:i:1
redirectcomports:i:0
redirectsmartcards:i:0
devicestoredirect:s:*
drivestoredirect:s:*
redirectdrives:i:1
session bpp:i:24
prompt for credentials on client:i:1
span monitors:i:1
use multimon:i:1
remoteapplicationmode:i:1
server port:i:<port>
allow font smoothing:i:1
promptcredentialonce:i:1
authentication level:i:0
gatewayusagemethod:i:2
gatewayprofileusagemethod:i:0
gatewaycredentialssource:i:0
full address:s:<host>
alternate shell:s:||<alias>
remoteapplicationprogram:s:||<alias>
gatewayhostname:s:
remoteapplicationname:s:<alias>
remoteapplicationcmdline:s:
screen mode id:i:2
winposstr:s:0,3,0,0,800,600
compression:i:1
keyboardhook:i:2
audiocapturemode:i:0
videoplaybackmode:i:1
connection type:i:7
networkautodetect:i:1
bandwidthautodetect:i:1
displayconnectionbar:i:1
enableworkspacereconnect:i:0
disable wallpaper:i:0
allow desktop composition:i:0
disable full window drag:i:1
disable menu anims:i:1
disable themes:i:0
disable cursor setting:i:0
bitmapcachepersistenable:i:1
audiomode:i:0
autoreconnection enabled:i:1
prompt for credentials:i:0
negotiate security layer:i:1
remoteapplicationicon:s:
shell working directory:s:
gatewaybrokeringtype:i:0
use redirection server name:i:0
rdgiskdcproxy:i:0
kdcproxyname:s:
desktopwidth:i:800
desktopheight:i:600
)";
  std::string file;
  for (std::size_t i = 0; i < kTemplate.size(); ++i) {
    if (kTemplate.substr(i, 6) == "<port>") {
      file += port, i += 5;
    } else if (kTemplate.substr(i, 6) == "<host>") {
      file += host, i += 5;
    } else if (kTemplate.substr(i, 7) == "<alias>") {
      file += alias, i += 6;
    } else {
      file += kTemplate[i] == '\n' ? std::string("\r\n") : std::string(1, kTemplate[i]);
    }
  }
  return file;
}

TEST(ConnectionFileContent, IsExactlyTheFileWrittenOutLineByLine) {
  // ПЕЛТА НРД2016 in code page 1251.
  const std::string cyrillicAlias =
      "\xCF\xC5\xCB\xD2\xC0 \xCD\xD0\xC4"
      "2016";
  EXPECT_EQ(ConnectionFileContent(SettingsOf(ProfileTable()[0])), ExpectedFile("3395", kHostA, "PELTA8"));
  EXPECT_EQ(ConnectionFileContent(SettingsOf(ProfileTable()[3])), ExpectedFile("3395", kHostB, cyrillicAlias));
  EXPECT_EQ(ConnectionFileContent(CompanionSettings()), ExpectedFile("3397", "rds-e.example.com", "PlnDsk"));
}

TEST(ConnectionFilePath, JoinsDesktopDisplayNameAndExtension) {
  EXPECT_EQ(ConnectionFilePath("D:\\Desk", "ПЕЛТА 8"_cp1251), "D:\\Desk\\" + std::string("ПЕЛТА 8"_cp1251) + ".rdp");
}

class WriteConnectionFileTest : public ::testing::Test {
 protected:
  void SetUp() override { PendingIoCode() = 0; }

  // Runs the writer and returns the failure it raised, if any.
  std::optional<EInOutError> Write(const ConnectionSettings& settings) {
    try {
      WriteConnectionFile(platform, settings);
    } catch (const EInOutError& failure) {
      return failure;
    }
    return std::nullopt;
  }

  FakePlatform platform;
};

TEST_F(WriteConnectionFileTest, WritesTheContentInPiecesOf128BytesAndTheRestAtClose) {
  const ConnectionSettings settings = CompanionSettings();
  ASSERT_FALSE(Write(settings));
  const std::string path = kDesktop + "\\PlanDesk Online.rdp";
  EXPECT_EQ(platform.files.at(path), ConnectionFileContent(settings));
  const std::size_t size = ExpectedSize(settings);
  std::vector<std::size_t> pieces(size / 128, 128);
  pieces.push_back(size % 128);
  EXPECT_EQ(platform.writeSizes, pieces);
  EXPECT_EQ(platform.calls.back(), "CloseFile");
  EXPECT_EQ(PendingIoCode(), 0);
}

TEST_F(WriteConnectionFileTest, AMultipleOf128BytesNeedsNoWriteAtClose) {
  ConnectionSettings settings = CompanionSettings();
  const std::size_t size = ExpectedSize(settings);
  settings.host += std::string(128 - size % 128, 'h');  // pad the content to the next multiple of 128
  ASSERT_FALSE(Write(settings));
  EXPECT_EQ(platform.writeSizes, std::vector<std::size_t>((size / 128) + 1, 128));
  EXPECT_EQ(platform.calls.back(), "CloseFile");
}

TEST_F(WriteConnectionFileTest, ReplacesAnExistingLongerFile) {
  const std::string path = kDesktop + "\\PlanDesk Online.rdp";
  platform.files[path] = std::string(5000, 'x');
  ASSERT_FALSE(Write(CompanionSettings()));
  EXPECT_EQ(platform.files.at(path), ConnectionFileContent(CompanionSettings()));
}

struct FailureCase {
  const char* operation;
  int nth;
  SystemErrorCode code;
  const char* message;
};

TEST_F(WriteConnectionFileTest, AFailedCallRaisesItsCodeAndLeavesNoFile) {
  const FailureCase cases[] = {
      {"CreateFile", 1, 5, "File access denied"}, {"CreateFile", 1, 3, "Invalid filename"},
      {"CreateFile", 1, 32, "I/O error 32"},      {"WriteFile", 1, 112, "I/O error 112"},
      {"WriteFile", 2, 5, "File access denied"},  {"WriteFile", 3, 112, "I/O error 112"},
      {"WriteFile", 11, 33, "I/O error 33"},  // the piece with the rest, at close
      {"CloseFile", 1, 6, "I/O error 6"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(c.nth));
    FakePlatform fresh;
    platform = fresh;
    platform.FailCall(c.operation, c.nth, c.code);
    const std::optional<EInOutError> failure = Write(CompanionSettings());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->IoCode(), static_cast<std::int32_t>(c.code));
    EXPECT_EQ(failure->Message(), c.message);
    EXPECT_NE(failure->Address(), 0u);
    EXPECT_TRUE(platform.files.empty()) << "an incomplete file stays behind";
    EXPECT_EQ(PendingIoCode(), 0);
    // Nothing is written after the failing call.
    const auto failed = std::find_if(platform.calls.rbegin(), platform.calls.rend(),
                                     [&](const std::string& call) { return call.rfind(c.operation, 0) == 0; });
    for (auto later = failed.base(); later != platform.calls.end(); ++later) {
      EXPECT_EQ(later->rfind("WriteFile", 0), std::string::npos) << *later;
    }
  }
}

TEST_F(WriteConnectionFileTest, AFailedOpenTouchesNothing) {
  const std::string path = kDesktop + "\\PlanDesk Online.rdp";
  platform.files[path] = "older content";
  platform.FailCall("CreateFile", 1, 5);
  ASSERT_TRUE(Write(CompanionSettings()));
  EXPECT_EQ(platform.files.at(path), "older content");
  EXPECT_EQ(platform.calls.back(), "CreateFile " + path);
}

TEST_F(WriteConnectionFileTest, AFailedWriteClosesAndDeletesThePartialFile) {
  platform.FailCall("WriteFile", 3, 112);
  ASSERT_TRUE(Write(CompanionSettings()));
  const std::vector<std::string> tail(platform.calls.end() - 4, platform.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"WriteFile 128", "WriteFile 128", "CloseFile",
                                            "RemoveFile " + kDesktop + "\\PlanDesk Online.rdp"}));
}

TEST_F(WriteConnectionFileTest, AFailedDesktopLookupWritesNowhere) {
  platform.desktop.reset();
  const std::optional<EInOutError> failure = Write(CompanionSettings());
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->IoCode(), 3);
  EXPECT_EQ(failure->Message(), "Invalid filename");
  EXPECT_EQ(platform.calls, std::vector<std::string>{"DesktopFolder"});
}

}  // namespace
}  // namespace rdplaunch
