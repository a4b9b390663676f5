#include "signing/rdp_signing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fakes/expected_files.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kCyrillicTarget{"ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, "rds-b.example.com", "3395"};
const ConnectionTarget kPlainTarget{"ПЕЛТА 8"_cp1251, "PELTA8", "rds-a.example.com", "3395"};

std::string Utf16(std::string_view cp1251) { return Cp1251ToUtf16Le(cp1251); }

// Certificates and keys made for this run with the openssl command, never kept: two
// unrelated publishers, a publisher issued by an intermediate under a root (its use
// limited to code signing), and an encrypted copy of the first key with its passphrase.
class SignedFileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::filesystem::temp_directory_path() / ("rdplaunch-signing-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    Write("ca.ext", "basicConstraints=critical,CA:TRUE\nkeyUsage=keyCertSign\n");
    Write("leaf.ext", "keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n");
    for (const std::string command : {
             "req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Unit Test Publisher' -keyout a.key -out a.pem",
             "req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Another Publisher' -keyout b.key -out b.pem",
             "req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Test Root' -keyout root.key -out root.pem"
             " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign",
             "req -newkey rsa:2048 -nodes -subj '/CN=Test Intermediate' -keyout int.key -out int.csr",
             "x509 -req -in int.csr -CA root.pem -CAkey root.key -set_serial 2 -days 2 -extfile ca.ext -out int.pem",
             "req -newkey rsa:2048 -nodes -subj '/CN=Leaf Publisher' -keyout leaf.key -out leaf.csr",
             "x509 -req -in leaf.csr -CA int.pem -CAkey int.key -set_serial 3 -days 2 -extfile leaf.ext -out leaf.pem",
             "pkey -in a.key -aes256 -passout 'pass:correct horse' -out encrypted.key",
         }) {
      ASSERT_EQ(OpenSsl(command), 0) << command;
    }
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

  static std::string Path(const char* name) { return (folder_ / name).string(); }
  static void Write(const char* name, std::string_view bytes) { std::ofstream(Path(name)) << bytes; }
  static int OpenSsl(const std::string& arguments) {
    return std::system(
        ("cd '" + folder_.string() + "' && openssl " + arguments + " >/dev/null 2>&1 </dev/null").c_str());
  }

  static std::string Pem(const char* name) {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static SigningFiles Files(const char* cert, const char* key, const char* chain = "") {
    SigningFiles files{{cert, Pem(cert)}, {key, Pem(key)}, {}, {}, {}};
    if (*chain) files.chain = PemFile{chain, Pem(chain)};
    return files;
  }
  static SigningIdentity Identity(const char* cert, const char* key, const char* chain = "") {
    auto identity = SigningIdentity::Load(Files(cert, key, chain));
    EXPECT_TRUE(std::holds_alternative<SigningIdentity>(identity)) << std::get<std::string>(identity);
    return std::move(std::get<SigningIdentity>(identity));
  }
  static std::string SignedFile(const ConnectionTarget& target, const char* cert = "a.pem", const char* key = "a.key",
                                const char* chain = "") {
    return SignedConnectionFileContent(Identity(cert, key, chain), target);
  }
  // The file with lines put in before its signscope line.
  static std::string Inserted(const std::string& file, std::string_view lines) {
    const std::size_t scope = file.find(Utf16("signscope:s:"));
    return file.substr(0, scope) + Utf16(lines) + file.substr(scope);
  }

  static inline std::filesystem::path folder_;
};

// Written down here, not taken from the code: signing and checking share that code, so
// they would agree with each other even if both were wrong. The ASCII target's UTF-16LE
// is each byte followed by a zero.
TEST_F(SignedFileTest, TheSignedMessageAndTheSignatureBlockAreTheBytesClientsExpect) {
  constexpr std::string_view kScope =
      "Full Address,Alternate Full Address,Use Redirection Server Name,Server Port,Negotiate Security Layer,"
      "AutoReconnection Enabled,GatewayHostname,GatewayUsageMethod,GatewayProfileUsageMethod,"
      "GatewayCredentialsSource,PromptCredentialOnce,Alternate Shell,Shell Working Directory,"
      "RemoteApplicationProgram,RemoteApplicationMode,RemoteApplicationName,RemoteApplicationIcon,"
      "RemoteApplicationCmdLine,Prompt For Credentials,Authentication Level,AudioMode,RedirectDrives,"
      "RedirectPrinters,RedirectCOMPorts,RedirectSmartCards,RedirectPOSDevices,RedirectClipboard,"
      "DevicesToRedirect,DrivesToRedirect,RDGIsKDCProxy,KDCProxyName";
  constexpr std::string_view kSignedLines =
      "full address:s:rds-a.example.com\nalternate full address:s:rds-a.example.com\n"
      "use redirection server name:i:0\nserver port:i:3395\nnegotiate security layer:i:1\n"
      "autoreconnection enabled:i:1\ngatewayhostname:s:\ngatewayusagemethod:i:2\ngatewayprofileusagemethod:i:0\n"
      "gatewaycredentialssource:i:0\npromptcredentialonce:i:1\nalternate shell:s:||PELTA8\n"
      "shell working directory:s:\nremoteapplicationprogram:s:||PELTA8\nremoteapplicationmode:i:1\n"
      "remoteapplicationname:s:PELTA8\nremoteapplicationicon:s:\nremoteapplicationcmdline:s:\n"
      "prompt for credentials:i:0\nauthentication level:i:0\naudiomode:i:0\nredirectdrives:i:1\n"
      "redirectprinters:i:1\nredirectcomports:i:0\nredirectsmartcards:i:0\nredirectposdevices:i:0\n"
      "redirectclipboard:i:1\ndevicestoredirect:s:*\ndrivestoredirect:s:*\nrdgiskdcproxy:i:0\nkdcproxyname:s:\n";
  std::string expected;
  for (const char c : std::string(kSignedLines) + "signscope:s:" + std::string(kScope) + "\n") {
    if (c == '\n') expected += std::string("\r\0", 2);
    expected += c;
    expected += '\0';
  }
  expected.append(2, '\0');
  const SignedSettings settings = SignedSettingsOf(LinesToSign(kPlainTarget));
  EXPECT_EQ(settings.scope, kScope);
  EXPECT_EQ(SignedMessage(settings), expected);

  // The signature block: 01 00 01 00, 01 00 00 00, the DER's length, then the DER, which
  // the openssl command verifies over the message above.
  const std::string signature = SignConnectionFile(Identity("a.pem", "a.key"), kPlainTarget).signature;
  std::string block(signature.size(), '\0');
  const int decoded =
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(block.data()),
                      reinterpret_cast<const unsigned char*>(signature.data()), static_cast<int>(signature.size()));
  ASSERT_GT(decoded, 12);
  block.resize(static_cast<std::size_t>(decoded) - (signature.ends_with("==") ? 2 : signature.ends_with("=") ? 1 : 0));
  EXPECT_EQ(block.substr(0, 8), std::string("\x01\x00\x01\x00\x01\x00\x00\x00", 8));
  const std::size_t length = block.size() - 12;
  EXPECT_EQ(block.substr(8, 4),
            std::string({static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
                         static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)}));
  Write("message.bin", expected);
  Write("signature.der", block.substr(12));
  EXPECT_EQ(OpenSsl("cms -verify -binary -inform DER -in signature.der -content message.bin -CAfile a.pem"
                    " -purpose any -out /dev/null"),
            0);
}

TEST_F(SignedFileTest, AGoodFileNamesItsPublisherAndOnlyACertificateChecksWhoThatIs) {
  const std::string file = SignedFile(kCyrillicTarget);
  EXPECT_TRUE(file.starts_with("\xFF\xFE"));
  const SignatureCheck checked = CheckSignedFile(file, Pem("a.pem"));
  EXPECT_TRUE(checked.good && checked.publisherChecked) << checked.reason;
  EXPECT_EQ(checked.publisher, "CN=Unit Test Publisher");
  const SignatureCheck unchecked = CheckSignedFile(file, "");
  EXPECT_TRUE(unchecked.good) << unchecked.reason;
  EXPECT_FALSE(unchecked.publisherChecked) << "any self-made certificate signs as well";
  EXPECT_FALSE(CheckSignedFile(file, Pem("b.pem")).good) << "signed by A, checked against B";
  EXPECT_FALSE(CheckSignedFile(SignedFile(kCyrillicTarget, "b.pem", "b.key"), Pem("a.pem")).good);
}

// What an administrator pastes into the policy of trusted publishers must be what the
// openssl command prints for the certificate.
TEST_F(SignedFileTest, TheThumbprintIsTheCertificatesSha1Fingerprint) {
  const std::string output = Path("fingerprint.txt");
  ASSERT_EQ(OpenSsl("x509 -in a.pem -noout -fingerprint -sha1 -out '" + output + "'"), 0);
  std::string fingerprint;
  std::getline(std::ifstream(output), fingerprint);
  fingerprint = fingerprint.substr(fingerprint.find('=') + 1);
  std::erase(fingerprint, ':');
  EXPECT_EQ(Identity("a.pem", "a.key").Thumbprint(), fingerprint);
  EXPECT_EQ(CheckSignedFile(SignedFile(kPlainTarget), "").thumbprint, fingerprint);
}

TEST_F(SignedFileTest, AnIntermediatesCertificateTravelsInTheSignatureSoTheRootAloneChecksIt) {
  const SignatureCheck withChain =
      CheckSignedFile(SignedFile(kPlainTarget, "leaf.pem", "leaf.key", "int.pem"), Pem("root.pem"));
  EXPECT_TRUE(withChain.good && withChain.publisherChecked) << withChain.reason;
  EXPECT_EQ(withChain.publisher, "CN=Leaf Publisher") << "a certificate for code signing only signs too";
  EXPECT_FALSE(CheckSignedFile(SignedFile(kPlainTarget, "leaf.pem", "leaf.key"), Pem("root.pem")).good)
      << "without the intermediate the chain breaks";
}

TEST_F(SignedFileTest, AnEncryptedKeyOpensWithItsPassphraseFileAndNeverAsks) {
  SigningFiles files = Files("a.pem", "encrypted.key");
  const auto without = SigningIdentity::Load(files);
  ASSERT_TRUE(std::holds_alternative<std::string>(without));
  EXPECT_NE(std::get<std::string>(without).find("is encrypted"), std::string::npos);
  files.passphrase = "correct horse";
  EXPECT_TRUE(std::holds_alternative<SigningIdentity>(SigningIdentity::Load(files)));
  files.passphrase = "wrong horse";
  const auto wrong = SigningIdentity::Load(files);
  ASSERT_TRUE(std::holds_alternative<std::string>(wrong));
  EXPECT_NE(std::get<std::string>(wrong).find("does not open"), std::string::npos);
}

TEST_F(SignedFileTest, OneChangedCharacterInAnySignedLineFails) {
  const std::string file = SignedFile(kCyrillicTarget);
  for (const std::string& line : SignedSettingsOf(LinesToSign(kCyrillicTarget)).lines) {
    const std::string original = Utf16(line + "\r\n");
    std::string changed = line + "\r\n";
    changed[line.size() - 1] = changed[line.size() - 1] == 'x' ? 'y' : 'x';
    std::string tampered = file;
    tampered.replace(file.find(original), original.size(), Utf16(changed));
    EXPECT_FALSE(CheckSignedFile(tampered, Pem("a.pem")).good) << line;
  }
}

// Every setting a client only trusts when it is signed, written out independently of the
// code in tests/expected as "prefix -> scope name" lines.
std::vector<std::string> SecureNames() {
  std::vector<std::string> names;
  for (const std::string& line : testing::ExpectedLines("secure_settings.txt")) {
    names.push_back(line.substr(0, line.find(':')));
  }
  return names;
}

TEST_F(SignedFileTest, EverySecureSettingOutsideTheScopeIsRefused) {
  const std::string file = SignedFile(kCyrillicTarget);
  const std::vector<std::string> names = SecureNames();
  EXPECT_EQ(SecureSettings().size(), names.size());
  for (const std::string& name : names) {
    const SignatureCheck check = CheckSignedFile(Inserted(file, std::string(name) + ":s:x\r\n"), Pem("a.pem"));
    EXPECT_FALSE(check.good) << name;
  }
}

// Whatever a client could read differently from what was signed.
TEST_F(SignedFileTest, ATamperedFileIsRefusedWithAReason) {
  const std::string file = SignedFile(kCyrillicTarget);
  const std::size_t signatureLine = file.find(Utf16("signature:s:"));
  const std::string scopeLine =
      file.substr(file.find(Utf16("signscope:s:")), signatureLine - file.find(Utf16("signscope:s:")));
  const std::string signature = file.substr(signatureLine);
  const std::string unsignedPart = file.substr(0, file.find(Utf16("signscope:s:")));
  const std::pair<const char*, std::string> cases[] = {
      {"another case", Inserted(file, "Full Address:s:attacker.example\r\n")},
      {"upper case", Inserted(file, "FULL ADDRESS:s:attacker.example\r\n")},
      {"a leading blank", Inserted(file, " full address:s:attacker.example\r\n")},
      {"redirectdrives in another case", Inserted(file, "RedirectDrives:i:1\r\n")},
      {"a bare line feed", Inserted(file, "username:s:x\nfull address:s:attacker.example\r\n")},
      {"a bare carriage return", Inserted(file, "username:s:x\rfull address:s:attacker.example\r\n")},
      {"a NUL", Inserted(file, std::string("username:s:x\0y\r\n", 16))},
      {"a second signscope before", Inserted(file, "signscope:s:Full Address\r\n")},
      {"a second signscope after", file + scopeLine},
      {"a second signature before", unsignedPart + signature + scopeLine + signature},
      {"a second signature after", file + signature},
      {"a line after the signature", file + Utf16("username:s:anyone\r\n")},
      {"a scope naming a setting twice, with an unscoped one beside it",
       unsignedPart.substr(0, unsignedPart.find(Utf16("redirectdrives:i:1"))) +
           unsignedPart.substr(unsignedPart.find(Utf16("redirectdrives:i:1")) +
                               Utf16("redirectdrives:i:1\r\n").size()) +
           Utf16("redirectdrives:i:1\r\nsignscope:s:Full Address,Full Address\r\n") + signature},
      {"an unknown scope name", unsignedPart + Utf16("signscope:s:Full Address,Colour\r\n") + signature},
      {"no signature", unsignedPart + scopeLine},
      {"a signature that is no block", unsignedPart + scopeLine + Utf16("signature:s:AAAA\r\n")},
      {"a block shorter than its header", unsignedPart + scopeLine + Utf16("signature:s:AQABAAEAAAA=\r\n")},
      {"a changed byte",
       [&] {
         std::string changed = file;
         changed[changed.find(Utf16("3395"))] = '4';
         return changed;
       }()},
  };
  for (const auto& [what, bytes] : cases) {
    const SignatureCheck check = CheckSignedFile(bytes, Pem("a.pem"));
    EXPECT_FALSE(check.good) << what;
    EXPECT_FALSE(check.reason.empty()) << what;
  }
  EXPECT_TRUE(CheckSignedFile(Inserted(file, "username:s:anyone\r\n"), Pem("a.pem")).good)
      << "a setting outside the secure list needs no signature";
  EXPECT_TRUE(CheckSignedFile(file, Pem("a.pem")).good);
}

}  // namespace
}  // namespace rdplaunch
