#include "signing/rdp_signing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "text/cp1251.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kCyrillicTarget{"ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, "rds-b.example.com", "3395"};

// A certificate and key made for this run with the openssl command, never kept.
class SignedFileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::filesystem::temp_directory_path() / ("rdplaunch-signing-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Unit Test Publisher'"
        " -keyout '" +
        (folder_ / "key.pem").string() + "' -out '" + (folder_ / "cert.pem").string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

  static std::string Certificate() { return (folder_ / "cert.pem").string(); }

  static std::string SignedFile(const ConnectionTarget& target) {
    auto identity = SigningIdentity::Load(Certificate(), (folder_ / "key.pem").string(), "");
    EXPECT_TRUE(std::holds_alternative<SigningIdentity>(identity)) << std::get<std::string>(identity);
    EXPECT_FALSE(SignConnectionFile(std::get<SigningIdentity>(identity), target).signature.empty());
    return SignedConnectionFileContent(std::get<SigningIdentity>(identity), target);
  }

  static std::string Utf16(std::string_view cp1251) { return Cp1251ToUtf16Le(cp1251); }

  static inline std::filesystem::path folder_;
};

TEST(SignedSettings, CoverExactlyTheSecureLinesOfOurFilesInTheSecureListsOrder) {
  EXPECT_EQ(SignedSettingsOf(LinesToSign(kCyrillicTarget)).scope,
            "Full Address,Alternate Full Address,Use Redirection Server Name,Server Port,Negotiate Security Layer,"
            "AutoReconnection Enabled,GatewayHostname,GatewayUsageMethod,GatewayProfileUsageMethod,"
            "GatewayCredentialsSource,PromptCredentialOnce,Alternate Shell,Shell Working Directory,"
            "RemoteApplicationProgram,RemoteApplicationMode,RemoteApplicationName,RemoteApplicationIcon,"
            "RemoteApplicationCmdLine,Prompt For Credentials,Authentication Level,AudioMode,RedirectDrives,"
            "RedirectPrinters,RedirectCOMPorts,RedirectSmartCards,RedirectPOSDevices,RedirectClipboard,"
            "DevicesToRedirect,DrivesToRedirect,RDGIsKDCProxy,KDCProxyName");
  const std::string message = SignedMessage(SignedSettingsOf(LinesToSign(kCyrillicTarget)));
  EXPECT_EQ(message.substr(0, 2 * 36), Cp1251ToUtf16Le("full address:s:rds-b.example.com\r\nal"));
  EXPECT_EQ(message.substr(message.size() - 6), std::string("\r\0\n\0\0\0", 6)) << "ends in CR LF and a NUL";
}

TEST_F(SignedFileTest, ASignedFilePassesAndNamesItsPublisher) {
  const std::string file = SignedFile(kCyrillicTarget);
  EXPECT_TRUE(file.starts_with("\xFF\xFE"));
  for (const std::string& trusted : {Certificate(), std::string()}) {
    const SignatureCheck check = CheckSignedFile(file, trusted);
    EXPECT_TRUE(check.good) << check.reason;
    EXPECT_EQ(check.publisher, "CN=Unit Test Publisher");
    EXPECT_EQ(check.thumbprint.size(), 40u);
  }
}

TEST_F(SignedFileTest, OneChangedCharacterInAnySignedLineFails) {
  const std::string file = SignedFile(kCyrillicTarget);
  for (const std::string& line : SignedSettingsOf(LinesToSign(kCyrillicTarget)).lines) {
    const std::string original = Utf16(line + "\r\n");
    std::string changed = line + "\r\n";
    changed[line.size() - 1] = changed[line.size() - 1] == 'x' ? 'y' : 'x';
    std::string tampered = file;
    tampered.replace(file.find(original), original.size(), Utf16(changed));
    EXPECT_FALSE(CheckSignedFile(tampered, Certificate()).good) << line;
  }
}

TEST_F(SignedFileTest, AnAddedLineThatOverridesASecureSettingFails) {
  const std::string file = SignedFile(kCyrillicTarget);
  for (const char* added : {"full address:s:attacker.example\r\n", "redirectdrives:i:1\r\n", "pcb:s:x\r\n"}) {
    const SignatureCheck check = CheckSignedFile(file + Utf16(added), Certificate());
    EXPECT_FALSE(check.good) << added;
    EXPECT_FALSE(check.reason.empty());
  }
  EXPECT_TRUE(CheckSignedFile(file + Utf16("username:s:anyone\r\n"), Certificate()).good)
      << "a setting outside the secure list needs no signature";
}

}  // namespace
}  // namespace rdplaunch
