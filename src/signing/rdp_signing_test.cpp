#include "signing/rdp_signing.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "fakes/expected_files.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kCyrillicTarget{"ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, "rds-b.example.com", "3395"};
const ConnectionTarget kPlainTarget{"ПЕЛТА 8"_cp1251, "PELTA8", "rds-a.example.com", "3395"};

std::string Utf16(std::string_view cp1251) { return Cp1251ToUtf16Le(cp1251); }

// Certificates and keys made for this run by tests/fixtures/make-certificates.sh, never
// kept: two unrelated publishers, a publisher issued by an intermediate under a root (its
// use limited to code signing), an encrypted copy of the first key, and certificates that
// may or may not sign connection files.
class SignedFileTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    folder_ = std::filesystem::temp_directory_path() / ("rdplaunch-signing-" + std::to_string(getpid()));
    const std::string command = "'" RDPLAUNCH_FIXTURES_DIR "/make-certificates.sh' '" + folder_.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

  static std::string Path(const std::string& name) { return (folder_ / name).string(); }
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

// The launcher's file for a target, signed with any certificate by the openssl command,
// as another tool would sign it.
std::string SignedByOpenSsl(const std::string& name, const ConnectionTarget& target) {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(target));
  std::ofstream(SignedFileTest::Path("message.bin"), std::ios::binary) << SignedMessage(settings);
  const std::string der = name + ".der";
  EXPECT_EQ(SignedFileTest::OpenSsl("cms -sign -binary -noattr -md sha256 -outform DER -in message.bin -signer " +
                                    name + ".pem -inkey " + name + ".key -out " + der),
            0)
      << name;
  std::string block("\x01\x00\x01\x00\x01\x00\x00\x00", 8);
  const std::string bytes = SignedFileTest::Pem(der.c_str());
  for (int i = 0; i < 4; ++i) block += static_cast<char>(bytes.size() >> (8 * i) & 0xFF);
  block += bytes;
  std::string base64(4 * ((block.size() + 2) / 3) + 1, '\0');
  base64.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()),
                                reinterpret_cast<const unsigned char*>(block.data()), static_cast<int>(block.size())));
  return SignedFileContent(target, {target.alias, target.host, target.port, settings.scope, base64});
}

// Signing refuses a certificate that cannot sign connection files, and so does checking a
// file signed with one; a certificate only out of its validity period still checks
// without --cert, and not against itself.
TEST_F(SignedFileTest, OnlyCertificatesThatMaySignFilesSignOrCheck) {
  const struct {
    const char* name;
    std::string refusal;  // empty: it signs
    bool checks;          // a file it signed checks against it
  } cases[] = {
      {"codesign", "", true},
      {"server", "", true},
      {"leaf", "", true},
      {"email", "its key usage does not allow digital signatures", false},
      {"rsa1024", "its RSA key has 1024 bits, fewer than 2048", false},
      {"ec", "its key is not an RSA key", false},
      {"expired", "it has expired", false},
      {"future", "it is not valid yet", false},
  };
  for (const auto& c : cases) {
    const std::string pem = std::string(c.name) + ".pem";
    const std::string key = std::string(c.name) + ".key";
    const auto loaded = SigningIdentity::Load(Files(pem.c_str(), key.c_str()));
    if (c.refusal.empty()) {
      EXPECT_TRUE(std::holds_alternative<SigningIdentity>(loaded)) << c.name;
    } else {
      ASSERT_TRUE(std::holds_alternative<std::string>(loaded)) << c.name;
      EXPECT_EQ(std::get<std::string>(loaded),
                "the certificate " + pem + " cannot sign connection files: " + c.refusal);
    }
    const std::string file = SignedByOpenSsl(c.name, kPlainTarget);
    const SignatureCheck checked = CheckSignedFile(file, Pem(pem.c_str()));
    EXPECT_EQ(checked.good, c.checks) << c.name << ": " << checked.reason;
    const bool usable = c.refusal.empty() || c.refusal.starts_with("it ");
    EXPECT_EQ(CheckSignedFile(file, "").good, usable) << c.name;
    if (!usable) {
      EXPECT_EQ(checked.reason, "the signer's certificate cannot sign connection files: " + c.refusal) << c.name;
    }
  }
}

// A UTF-16LE file re-encoded in code page 1251 (all its characters have a byte there).
std::string AsCp1251(std::string_view utf16) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const char32_t unit = static_cast<unsigned char>(utf16[i]) | static_cast<unsigned char>(utf16[i + 1]) << 8;
    bytes += static_cast<char>(Cp1251ByteOf(unit).value_or('?'));
  }
  return bytes;
}

// The signature line with its block changed: the 12-byte header, then the DER.
std::string WithBlock(const std::string& file, const std::function<void(std::string&)>& change) {
  const std::size_t start = file.find(Utf16("signature:s:")) + Utf16("signature:s:").size();
  const std::size_t end = file.size() - 4;  // before the last CR LF
  std::string base64;
  for (std::size_t i = start; i < end; i += 2) base64 += file[i];
  std::string block(base64.size(), '\0');
  block.resize(EVP_DecodeBlock(reinterpret_cast<unsigned char*>(block.data()),
                               reinterpret_cast<const unsigned char*>(base64.data()), static_cast<int>(base64.size())) -
               (base64.ends_with("==")  ? 2
                : base64.ends_with("=") ? 1
                                        : 0));
  change(block);
  std::string encoded(4 * ((block.size() + 2) / 3) + 1, '\0');
  encoded.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                 reinterpret_cast<const unsigned char*>(block.data()), static_cast<int>(block.size())));
  return file.substr(0, start) + Utf16(encoded) + file.substr(end);
}

// Whatever a client could read differently from what was signed, each refused for its
// own reason: no check stands in for another.
TEST_F(SignedFileTest, ATamperedFileIsRefusedWithAReason) {
  const std::string file = SignedFile(kCyrillicTarget);
  const std::size_t signatureLine = file.find(Utf16("signature:s:"));
  const std::string scopeLine =
      file.substr(file.find(Utf16("signscope:s:")), signatureLine - file.find(Utf16("signscope:s:")));
  const std::string signature = file.substr(signatureLine);
  const std::string unsignedPart = file.substr(0, file.find(Utf16("signscope:s:")));
  const std::string bom = "\xFF\xFE";
  const ConnectionTarget questionMark{"Q", "Q?R", "rds-a.example.com", "3395"};
  const std::string lossy = SignedFile(questionMark);
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string changedLength = WithBlock(file, [](std::string& b) { b[8] = static_cast<char>(b[8] + 1); });
  const std::string afterDer = WithBlock(file, [](std::string& b) {
    b += "XY";
    b[8] = static_cast<char>(b[8] + 2);
  });
  const struct {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"another case", Inserted(file, "Full Address:s:attacker.example\r\n"), "sets 'Full Address' twice"},
      {"a leading blank", Inserted(file, " full address:s:attacker.example\r\n"), "sets 'Full Address' twice"},
      {"a tab around the name", Inserted(file, "\tfull address\t:s:evil.example\r\n"), "sets 'Full Address' twice"},
      {"a forged duplicate before the signed line", bom + Utf16("full address:s:evil.example\r\n") + file.substr(2),
       "sets 'Full Address' twice"},
      {"redirectdrives in another case", Inserted(file, "RedirectDrives:i:1\r\n"), "sets 'RedirectDrives' twice"},
      {"a bare line feed", Inserted(file, "a:s:x\nfull address:s:attacker.example\r\n"), "CR, LF or NUL of its own"},
      {"a bare carriage return", Inserted(file, "a:s:x\rb:s:y\r\n"), "CR, LF or NUL of its own"},
      {"a NUL", Inserted(file, std::string("a:s:x\0y\r\n", 9)), "CR, LF or NUL of its own"},
      {"a second signscope before", Inserted(file, "signscope:s:Full Address\r\n"), "a second signscope"},
      {"a second signature before", unsignedPart + signature + scopeLine + signature, "stands after the signature"},
      {"a line after the signature", file + Utf16("a:s:x\r\n"), "stands after the signature"},
      {"a scope naming a setting twice", replaced(file, Utf16("signscope:s:"), Utf16("signscope:s:Full Address,")),
       "names 'full address' twice"},
      {"an unknown scope name", unsignedPart + Utf16("signscope:s:Full Address,Colour\r\n") + signature,
       "which is no secure setting"},
      {"no signature", unsignedPart + scopeLine, "has no signscope or no signature"},
      {"a signature that is no block", unsignedPart + scopeLine + Utf16("signature:s:AAAA\r\n"), "no valid header"},
      {"a header whose length is wrong", changedLength, "length is not its size"},
      {"bytes after the DER", afterDer, "bytes stand after the signature's DER"},
      {"a changed byte", replaced(file, Utf16("3395"), Utf16("4395")), "does not verify"},
      {"a character code page 1251 lacks",
       replaced(lossy, Utf16("name:s:Q?R"), Utf16("name:s:Q") + "\x00\x4E" + Utf16("R")), "does not verify"},
      {"a replacement character", replaced(lossy, Utf16("name:s:Q?R"), Utf16("name:s:Q") + "\xFD\xFF" + Utf16("R")),
       "does not verify"},
      {"a byte after the last line", file + "A", "odd number of bytes"},
      {"a NUL byte after the last line", file + std::string(1, '\0'), "odd number of bytes"},
      {"a NUL character after the last line", file + std::string(2, '\0'), "does not end with CR LF"},
      {"code page 1251", AsCp1251(file.substr(2)), "not UTF-16LE with a byte order mark"},
      {"UTF-8 without byte order mark", Cp1251ToUtf8(AsCp1251(file.substr(2))), "not UTF-16LE"},
      {"an unsigned camera", Inserted(file, "camerastoredirect:s:*\r\n"), "redirects a device or carries an account"},
      {"unsigned USB devices", Inserted(file, "usbdevicestoredirect:s:*\r\n"), "redirects a device"},
      {"an unsigned user name", Inserted(file, "username:s:x\r\n"), "redirects a device or carries an account"},
      {"an unsigned domain", Inserted(file, " Domain :s:x\r\n"), "redirects a device or carries an account"},
  };
  for (const auto& c : cases) {
    const SignatureCheck check = CheckSignedFile(c.bytes, Pem("a.pem"));
    EXPECT_FALSE(check.good) << c.what;
    EXPECT_NE(check.reason.find(c.reason), std::string::npos) << c.what << ": " << check.reason;
  }
  const SignatureCheck harmless = CheckSignedFile(Inserted(file, "Smart Sizing:i:1\r\n"), Pem("a.pem"));
  EXPECT_TRUE(harmless.good) << harmless.reason;
  EXPECT_NE(std::find(harmless.uncovered.begin(), harmless.uncovered.end(), "smart sizing"), harmless.uncovered.end());
  EXPECT_TRUE(CheckSignedFile(file, Pem("a.pem")).good);
  EXPECT_TRUE(CheckSignedFile(lossy, Pem("a.pem")).good);
}

}  // namespace
}  // namespace rdplaunch
