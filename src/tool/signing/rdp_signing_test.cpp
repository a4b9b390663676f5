#include "signing/rdp_signing.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <vector>

#include "fakes/connection_file_text.h"
#include "fakes/expected_files.h"
#include "fakes/test_certificates.h"
#include "fakes/test_files.h"
#include "profiles/profiles.h"
#include "rdpfile/signed_file.h"
#include "signing/certificate_path.h"
#include "signing/signed_message.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kCyrillicTarget{"ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, "rds-b.example.com", "3395"};
const ConnectionTarget kPlainTarget{"ПЕЛТА 8"_cp1251, "PELTA8", "rds-a.example.com", "3395"};

using testing::Utf16;

// Certificates that bear an issuer's name but issued nothing of the fixtures': self-signed,
// all with one new key, with a subject key identifier or without.
std::string Lookalikes(int count, const char* name, bool keyIdentifier = false) {
  Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_RSA_gen(1024));
  std::string pem;
  for (int i = 0; i < count; ++i) {
    Owned<X509, X509_free> certificate(X509_new());
    X509* c = certificate.get();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), 1000000 + i);  // no fixture has such a serial
    X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
    X509_set_issuer_name(c, X509_get_subject_name(c));
    X509_gmtime_adj(X509_getm_notBefore(c), 0);
    X509_gmtime_adj(X509_getm_notAfter(c), 86400);
    X509_set_pubkey(c, key.get());
    if (keyIdentifier) {
      X509V3_CTX context;
      X509V3_set_ctx(&context, c, c, nullptr, nullptr, 0);
      Owned<X509_EXTENSION, X509_EXTENSION_free> identifier(
          X509V3_EXT_conf_nid(nullptr, &context, NID_subject_key_identifier, "hash"));
      X509_add_ext(c, identifier.get(), -1);
    }
    X509_sign(c, key.get(), EVP_sha256());
    Bio out(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(out.get(), c);
    char* data = nullptr;
    pem.append(data, static_cast<std::size_t>(BIO_get_mem_data(out.get(), &data)));
  }
  return pem;
}

// What the OpenSSL code does: reading a certificate's facts for the policy, building its
// chain, and making and checking a CMS signature. What the policy makes of the facts is
// signing_policy_test.cpp's. Certificates and keys are made for this run by
// tests/fixtures/make-certificates.sh, never kept.
class SignedFileTest : public ::testing::Test {
 public:
  // Each test process works on a copy of its own.
  static void SetUpTestSuite() {
    folder_ = testing::OwnFolder("signing");
    testing::PutTestCertificates(folder_);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

  static std::string Path(const std::string& name) { return (folder_ / name).string(); }
  static void Write(const char* name, std::string_view bytes) { std::ofstream(Path(name)) << bytes; }
  static int OpenSsl(const std::string& arguments) {
    return std::system(
        ("cd '" + folder_.string() + "' && openssl " + arguments + " >/dev/null 2>&1 </dev/null").c_str());
  }

  static std::string Pem(const char* name) { return testing::ReadFile(Path(name)); }
  static SigningFiles Files(const char* cert, const char* key, const char* chain = "") {
    SigningFiles files{{cert, Pem(cert)}, {key, Pem(key)}, {}, {}, {}};
    if (*chain) files.chain = PemFile{chain, Pem(chain)};
    return files;
  }
  static SigningIdentity Identity(const char* cert, const char* key, const char* chain = "") {
    auto identity = SigningIdentity::Load(Files(cert, key, chain));
    EXPECT_TRUE(std::holds_alternative<SigningIdentity>(identity)) << std::get<IdentityProblem>(identity).message;
    return std::move(std::get<SigningIdentity>(identity));
  }
  static std::string SignedFile(const ConnectionTarget& target, const char* cert = "a.pem", const char* key = "a.key",
                                const char* chain = "") {
    return SignedConnectionFileContent(Identity(cert, key, chain), target);
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
  EXPECT_EQ(checked.signer.publisher, "CN=Unit Test Publisher");
  const SignatureCheck unchecked = CheckSignedFile(file, "");
  EXPECT_TRUE(unchecked.good) << unchecked.reason;
  EXPECT_FALSE(unchecked.publisherChecked) << "any self-made certificate signs as well";
  EXPECT_FALSE(CheckSignedFile(file, Pem("b.pem")).good) << "signed by A, checked against B";
  EXPECT_FALSE(CheckSignedFile(SignedFile(kCyrillicTarget, "b.pem", "b.key"), Pem("a.pem")).good);
}

// What an administrator pastes into the policy of trusted publishers (SHA-1), and what
// current signing tools name a certificate by (SHA-256), must be what the openssl command
// prints for the certificate.
TEST_F(SignedFileTest, TheThumbprintsAreTheCertificatesFingerprints) {
  const auto fingerprint = [&](const char* digest) {
    const std::string output = Path("fingerprint.txt");
    EXPECT_EQ(OpenSsl(std::string("x509 -in a.pem -noout -fingerprint -") + digest + " -out '" + output + "'"), 0);
    std::string line;
    std::getline(std::ifstream(output), line);
    line = line.substr(line.find('=') + 1);
    std::erase(line, ':');
    return line;
  };
  const Thumbprints signing = Identity("a.pem", "a.key").Summary().thumbprints;
  const Thumbprints checked = CheckSignedFile(SignedFile(kPlainTarget), "").signer.thumbprints;
  EXPECT_EQ(signing.sha1, fingerprint("sha1"));
  EXPECT_EQ(signing.sha256, fingerprint("sha256"));
  EXPECT_EQ(checked.sha1, signing.sha1);
  EXPECT_EQ(checked.sha256, signing.sha256);
}

TEST_F(SignedFileTest, AnIntermediatesCertificateTravelsInTheSignatureSoTheRootAloneChecksIt) {
  const SignatureCheck withChain =
      CheckSignedFile(SignedFile(kPlainTarget, "leaf.pem", "leaf.key", "int.pem"), Pem("root.pem"));
  EXPECT_TRUE(withChain.good && withChain.publisherChecked) << withChain.reason;
  EXPECT_EQ(withChain.signer.publisher, "CN=Leaf Publisher") << "a certificate for code signing only signs too";
  EXPECT_FALSE(CheckSignedFile(SignedFile(kPlainTarget, "leaf.pem", "leaf.key"), Pem("root.pem")).good)
      << "without the intermediate the chain breaks";
  const auto noChain = SigningIdentity::Load(Files("leaf.pem", "leaf.key", "leaf.key"));
  ASSERT_TRUE(std::holds_alternative<IdentityProblem>(noChain)) << "a chain file without a certificate is no chain";
  EXPECT_EQ(std::get<IdentityProblem>(noChain).message, "leaf.key holds no PEM certificate");
  EXPECT_TRUE(std::get<IdentityProblem>(noChain).unreadable);
  const auto notPem = SigningIdentity::Load(Files("leaf.key", "leaf.key"));
  ASSERT_TRUE(std::holds_alternative<IdentityProblem>(notPem));
  EXPECT_EQ(std::get<IdentityProblem>(notPem).message,
            "leaf.key is not a PEM certificate: no start line (PEM routines)")
      << "OpenSSL's reason in words follows";
  // A certificate file that holds the chain after the signer, as authorities deliver it:
  // the chain is used, and a path that stops short of a self-signed root is said.
  Write("fullchain.pem", Pem("leaf.pem") + Pem("int.pem"));
  Write("introot.pem", Pem("int.pem") + Pem("root.pem"));
  const SigningIdentity full = Identity("fullchain.pem", "leaf.key");
  EXPECT_EQ(full.Summary().path, (std::vector<std::string>{"CN=Leaf Publisher", "CN=Test Intermediate"}));
  EXPECT_EQ(full.PathWarning(),
            "the path ends at CN=Test Intermediate, which is not self-signed: its issuer is not among the certificates "
            "given, so whoever checks the files must trust CN=Test Intermediate itself");
  EXPECT_EQ(Identity("leaf.pem", "leaf.key", "introot.pem").PathWarning(), "");
  // Of several certificates with the issuer's name that did not issue, one is named whatever
  // their order; one that did not issue a certificate below the top is not the top's.
  const std::string bySignature = Lookalikes(1, "Test Intermediate");
  const std::string byKeyIdentifier = Lookalikes(1, "Test Intermediate", true);
  Write("misses.pem", bySignature + byKeyIdentifier);
  Write("misses-reversed.pem", byKeyIdentifier + bySignature);
  EXPECT_EQ(Identity("leaf.pem", "leaf.key", "misses.pem").PathWarning(),
            Identity("leaf.pem", "leaf.key", "misses-reversed.pem").PathWarning());
  Write("fullchain-lookalike.pem", Pem("fullchain.pem") + bySignature);
  EXPECT_EQ(Identity("fullchain-lookalike.pem", "leaf.key").PathWarning(), full.PathWarning());
  // A block that cannot be read is never skipped: what stands after it would be lost.
  Write("broken.pem",
        Pem("int.pem") + "-----BEGIN CERTIFICATE-----\n#not base64#\n-----END CERTIFICATE-----\n" + Pem("root.pem"));
  const auto unreadable = SigningIdentity::Load(Files("leaf.pem", "leaf.key", "broken.pem"));
  ASSERT_TRUE(std::holds_alternative<IdentityProblem>(unreadable));
  EXPECT_TRUE(std::get<IdentityProblem>(unreadable).unreadable);
  EXPECT_EQ(std::get<IdentityProblem>(unreadable).message,
            "broken.pem cannot be read: its certificate 2 cannot be read (bad base64 decode)");
}

TEST_F(SignedFileTest, AnEncryptedKeyOpensWithItsPassphraseFileAndNeverAsks) {
  SigningFiles files = Files("a.pem", "encrypted.key");
  const auto without = SigningIdentity::Load(files);
  ASSERT_TRUE(std::holds_alternative<IdentityProblem>(without));
  EXPECT_NE(std::get<IdentityProblem>(without).message.find("is encrypted"), std::string::npos);
  files.passphrase = "correct horse";
  EXPECT_TRUE(std::holds_alternative<SigningIdentity>(SigningIdentity::Load(files)));
  files.passphrase = "wrong horse";
  const auto wrong = SigningIdentity::Load(files);
  ASSERT_TRUE(std::holds_alternative<IdentityProblem>(wrong));
  EXPECT_NE(std::get<IdentityProblem>(wrong).message.find("does not open"), std::string::npos);
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

// The launcher's file for a target, signed with any certificate by the openssl command,
// as another tool would sign it.
std::string SignedByOpenSsl(const std::string& name, const ConnectionTarget& target,
                            const std::string& digest = "sha256", const std::string& chain = "") {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(target));
  std::ofstream(SignedFileTest::Path("message.bin"), std::ios::binary) << SignedMessage(settings);
  const std::string der = name + ".der";
  EXPECT_EQ(SignedFileTest::OpenSsl("cms -sign -binary -noattr -md " + digest +
                                    " -outform DER -in message.bin -signer " + name + ".pem -inkey " + name + ".key" +
                                    (chain.empty() ? "" : " -certfile " + chain) + " -out " + der),
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

// One path for signing and checking: the signing side takes the first path up through
// the bundle that validates and that the policy accepts, and signs exactly when a check of
// the file it signs accepts it, trusting the anchor or what the file carries (a signer
// given without its chain knows no anchor). A check of a file
// another tool signed, carrying the whole bundle, finds the same path. Refusals name the
// certificate and the reason.
TEST_F(SignedFileTest, SigningAndCheckingFindOnePathAndJudgeItAlike) {
  Write("lookalikes.pem", Lookalikes(513, "Test Intermediate"));
  const struct {
    const char* name;
    const char* bundle;  // --chain, or nothing
    const char* anchor;
    std::string refusal;  // empty: it signs
    std::vector<std::string> path = {};
  } cases[] = {
      {"codesign", "", "codesign", "", {"CN=Code Signing"}},
      {"server", "", "server", ""},
      {"anypurpose", "", "anypurpose", ""},
      {"leaf", "int.pem", "root", "", {"CN=Leaf Publisher", "CN=Test Intermediate"}},
      {"email", "", "email", "CN=E-mail Only cannot sign connection files: its key usage does not allow digital"},
      {"rsa1024", "", "rsa1024", "CN=Short Key cannot sign connection files: its RSA key has 1024 bits"},
      {"ec", "", "ec", "CN=Elliptic Curve cannot sign connection files: its key is an EC key, not an RSA key"},
      {"noext", "", "noext", "cannot sign connection files: it has no key usage"},
      {"noeku", "", "noeku", "cannot sign connection files: it has no extended key usage"},
      {"ca", "", "ca", "cannot sign connection files: it is a certification authority's certificate"},
      {"expired", "", "expired", "CN=Expired cannot sign connection files: it expired on "},
      {"future", "", "future", "cannot sign connection files: it is not valid before 2099-01-01T00:00:00Z"},
      {"baddate", "", "baddate", "cannot sign connection files: its validity dates cannot be read"},
      {"sha1leaf", "int.pem", "root",
       "CN=SHA-1 Leaf cannot sign connection files: the digest of its issuer's signature is SHA-1"},
      {"weakleaf", "weakint.pem", "root",
       "CN=Weak Intermediate on the signer's chain cannot vouch for it: its RSA key has 1024 bits"},
      {"oldleaf", "oldint.pem", "root",
       "CN=Old Intermediate on the signer's chain cannot vouch for it: it expired on "},
      {"serverleaf", "serverint.pem", "root",
       "CN=Server Intermediate on the signer's chain cannot vouch for it: its extended key usage allows server "
       "authentication only, and the certificates below it code signing only"},
      {"mailleaf", "mailint.pem", "root",
       "CN=Mail Intermediate on the signer's chain cannot vouch for it: its extended"},
      {"mailrootleaf", "", "mailroot", "CN=Mail Root on the signer's chain cannot vouch for it: its extended key"},
      {"lookalike", "lookalike-chain.pem", "lookca",
       "CN=Lookalike CA cannot sign connection files: the digest of its issuer's signature is MD5"},
      {"renleaf", "renewed-new-first.pem", "root", "", {"CN=Renewed Leaf", "CN=Renewed Intermediate"}},
      {"renleaf", "renewed-old-first.pem", "root", "", {"CN=Renewed Leaf", "CN=Renewed Intermediate"}},
      {"xleaf", "xleaf-chain.pem", "xroot", "", {"CN=Cross Leaf", "CN=Cross Root"}},
      {"rekleaf", "rekleaf-chain.pem", "root", "", {"CN=Re-keyed Leaf", "CN=Re-keyed Intermediate"}},
      {"unrelated", "unrelated-chain.pem", "root", "", {"CN=Leaf Publisher", "CN=Test Intermediate"}},
      {"notcaleaf", "notcaleaf-chain.pem", "root",
       "CN=Not A CA on the signer's chain cannot vouch for it: invalid CA certificate"},
      {"nokcsleaf", "nokcsleaf-chain.pem", "root",
       "CN=No Certificate Signing on the signer's chain cannot vouch for it: invalid CA certificate"},
      {"plleaf", "plleaf-chain.pem", "plroot", "cannot vouch for it: path length constraint exceeded"},
      {"critleaf", "critleaf-chain.pem", "root",
       "CN=Critical Leaf cannot sign connection files: unhandled critical extension"},
      {"mixleaf", "mixleaf-chain.pem", "root",
       "CN=Server Intermediate on the signer's chain cannot vouch for it: its extended key usage allows server "
       "authentication only, and the certificates below it code signing only"},
      {"pssleaf", "pssleaf-chain.pem", "root", "", {"CN=PSS Leaf", "CN=Test Intermediate"}},
      {"loopleaf", "loopleaf-chain.pem", "loopb", "", {"CN=Loop Leaf", "CN=Loop A", "CN=Loop B"}},
      {"polleaf", "polleaf-chain.pem", "root", "no explicit policy"},
      {"anyleaf", "anyleaf-chain.pem", "root", "no explicit policy"},
      {"mleaf", "mleaf-chain.pem", "m00", "no path from the signer up was found within 256 steps of the search"},
      {"leaf", "lookalikes.pem", "root", "no path from the signer up was found within 512 signature checks"},
      {"longleaf", "longleaf-chain.pem", "root",
       "no path from the signer up was found within the 10 certificates a path may hold"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.bundle);
    const std::string pem = std::string(c.name) + ".pem";
    const std::string key = std::string(c.name) + ".key";
    const std::string anchor = Pem((std::string(c.anchor) + ".pem").c_str());
    const auto loaded = SigningIdentity::Load(Files(pem.c_str(), key.c_str(), c.bundle));
    const bool anchorOnly = std::string(c.anchor) != c.name && !*c.bundle;  // the signing side knows no anchor
    const IdentityProblem* refused = std::get_if<IdentityProblem>(&loaded);
    EXPECT_EQ(refused == nullptr, c.refusal.empty() || anchorOnly) << (refused ? refused->message : "");
    if (refused != nullptr && !c.refusal.empty()) {
      EXPECT_NE(refused->message.find(c.refusal), std::string::npos) << refused->message;
      EXPECT_FALSE(refused->unreadable);
    }
    std::vector<std::string> files{SignedByOpenSsl(c.name, kPlainTarget, "sha256", c.bundle)};
    if (const auto* identity = std::get_if<SigningIdentity>(&loaded)) {
      files.push_back(SignedConnectionFileContent(*identity, kPlainTarget));
      if (!c.path.empty()) {
        EXPECT_EQ(identity->Summary().path, c.path);
      }
    }
    for (const std::string& file : files) {
      const SignatureCheck checked = CheckSignedFile(file, anchor);
      EXPECT_EQ(checked.good, c.refusal.empty()) << checked.reason;
      EXPECT_NE(checked.reason.find(c.refusal), std::string::npos) << checked.reason;
      if (anchorOnly) continue;
      const SignatureCheck carried = CheckSignedFile(file, "");
      EXPECT_EQ(carried.good, c.refusal.empty()) << carried.reason;
      if (!c.path.empty()) {
        EXPECT_EQ(carried.signer.path, c.path);
      }
    }
  }
  EXPECT_EQ(CheckSignedFile(SignedFile(kPlainTarget, "leaf.pem", "leaf.key", "int.pem"), Pem("b.pem")).reason,
            "the signer's path does not lead to a trusted certificate");
  // A public exponent of 32 bits is one real keys use; one of 33 bits is no issuer's.
  EXPECT_TRUE(CheckSignedFile(SignedByOpenSsl("e32leaf", kPlainTarget, "sha256", "e32int.pem"), Pem("root.pem")).good);
  EXPECT_EQ(CheckSignedFile(SignedByOpenSsl("e33leaf", kPlainTarget, "sha256", "e33int.pem"), Pem("root.pem")).reason,
            "the signer's path does not lead to a trusted certificate: CN=Exponent 33 is given, but it did not issue "
            "CN=Exponent 33 Leaf: its key is no authority's (an RSA key over 16384 bits or with a public exponent over "
            "32 bits)");
  // A certificate with the issuer's name that did not issue the signer is named, and why.
  EXPECT_EQ(CheckSignedFile(SignedByOpenSsl("kidleaf", kPlainTarget, "sha256", "kidint-b.pem"), Pem("root.pem")).reason,
            "the signer's path does not lead to a trusted certificate: CN=Key Id Intermediate is given, but it did not "
            "issue CN=Key Id Leaf: CN=Key Id Leaf names another key identifier for its issuer");
  EXPECT_EQ(Identity("rekleaf.pem", "rekleaf.key", "rekint-b.pem").PathWarning(),
            "the path ends at CN=Re-keyed Leaf, which is not self-signed: its issuer is not among the certificates "
            "given (CN=Re-keyed Intermediate is given, but it did not issue CN=Re-keyed Leaf: its key does not verify "
            "the signature on CN=Re-keyed Leaf), so whoever checks the files must trust CN=Re-keyed Leaf itself");
  // A signature carries the path and nothing else of the bundle, whatever its order.
  EXPECT_EQ(SignedFile(kPlainTarget, "renleaf.pem", "renleaf.key", "renewed-old-first.pem"),
            SignedFile(kPlainTarget, "renleaf.pem", "renleaf.key", "renint.pem"));
  EXPECT_EQ(SignedFile(kPlainTarget, "leaf.pem", "leaf.key", "unrelated-chain.pem"),
            SignedFile(kPlainTarget, "leaf.pem", "leaf.key", "int.pem"));
  EXPECT_EQ(Identity("leaf.pem", "leaf.key", "unrelated-chain.pem").LeftOut(),
            std::vector<std::string>{"CN=Another Publisher"});
}

// The date to act by is the earliest end on the chain, wherever it stands.
TEST_F(SignedFileTest, TheExpiryIsTheChainsEarliest) {
  const SigningIdentity soon = Identity("soonleaf.pem", "soonleaf.key", "soonint.pem");
  const std::string expires = soon.Summary().expires;
  EXPECT_TRUE(soon.ExpiryWarning().starts_with("the certificate expires on " + expires +
                                               " (when CN=Soon Intermediate on its chain expires), in "))
      << soon.ExpiryWarning();
  EXPECT_EQ(CheckSignedFile(SignedFile(kPlainTarget, "soonleaf.pem", "soonleaf.key", "soonint.pem"), "").signer.expires,
            expires);
  EXPECT_EQ(Identity("a.pem", "a.key").ExpiryWarning(), "") << "400 days away";
  EXPECT_EQ(Identity("soonleaf.pem", "soonleaf.key", "soonint-both.pem").ExpiryWarning(), "")
      << "of two valid copies of an intermediate, the newer";
}

// SHA-256 or stronger: a file the openssl command signed with a weaker digest is refused
// by the digest's name; so is one whose signature embeds what it signs.
TEST_F(SignedFileTest, OnlySha256OrStrongerDigestsAreAccepted) {
  for (const auto& [digest, refusal] :
       {std::pair{"sha256", ""},
        {"sha512", ""},
        {"md5", "the signature's digest is MD5: only SHA-256 or stronger is accepted"},
        {"sha1", "the signature's digest is SHA-1: only SHA-256 or stronger is accepted"},
        // A signature that carries the signed bytes inside it is not a connection file's.
        {"sha256 -nodetach", "the signature carries content of its own: a connection file's signature is detached"}}) {
    const SignatureCheck check =
        CheckSignedFile(SignedByOpenSsl("codesign", kPlainTarget, digest), Pem("codesign.pem"));
    EXPECT_EQ(check.reason, refusal) << digest;
  }
}

// What the reader passes, the signature itself must cover: a changed byte, or a character
// the file's UTF-16 holds but code page 1251 lacks, fails the signature; the rest of the
// refusals are the reader's (signed_file_reader_test.cpp).
TEST_F(SignedFileTest, ATamperedFileIsRefusedWithAReason) {
  const std::string file = SignedFile(kCyrillicTarget);
  const ConnectionTarget questionMark{"Q", "Q?R", "rds-a.example.com", "3395"};
  const std::string lossy = SignedFile(questionMark);
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const struct {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"a changed byte", replaced(file, Utf16("3395"), Utf16("4395")), "does not verify"},
      {"a character code page 1251 lacks",
       replaced(lossy, Utf16("name:s:Q?R"), Utf16("name:s:Q") + "\x00\x4E" + Utf16("R")), "does not verify"},
      {"a replacement character", replaced(lossy, Utf16("name:s:Q?R"), Utf16("name:s:Q") + "\xFD\xFF" + Utf16("R")),
       "does not verify"},
  };
  for (const auto& c : cases) {
    const SignatureCheck check = CheckSignedFile(c.bytes, Pem("a.pem"));
    EXPECT_FALSE(check.good) << c.what;
    EXPECT_NE(check.reason.find(c.reason), std::string::npos) << c.what << ": " << check.reason;
  }
  const SignatureCheck harmless =
      CheckSignedFile(testing::InsertedBeforeScope(file, "Smart Sizing:i:1\r\n"), Pem("a.pem"));
  EXPECT_TRUE(harmless.good) << harmless.reason;
  EXPECT_NE(std::find(harmless.uncovered.begin(), harmless.uncovered.end(), "smart sizing"), harmless.uncovered.end());
  EXPECT_TRUE(CheckSignedFile(lossy, Pem("a.pem")).good);
}

// Every file the launcher can write, signed as a signed build signs it, verifies.
TEST_F(SignedFileTest, TheLaunchersOwnSignedFilesVerify) {
  const SigningIdentity identity = Identity("a.pem", "a.key");
  std::size_t files = 0;
  for (const ProductProfile& profile : ProfileTable()) {
    for (const ConnectionTarget& target : RowFiles(profile)) {
      const SignatureCheck check = CheckSignedFile(SignedConnectionFileContent(identity, target), Pem("a.pem"));
      EXPECT_TRUE(check.good && check.publisherChecked) << target.displayName << ": " << check.reason;
      ++files;
    }
  }
  EXPECT_EQ(files, 14u) << "twelve rows, two with a companion";
}

}  // namespace
}  // namespace rdplaunch
