// The signing policy as rows of certificate facts and the refusal each must give: no
// certificate, no cryptography library, only the rules.
#include "signing/signing_policy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fakes/expected_files.h"
#include "rdpfile/settings.h"

namespace rdplaunch {
namespace {

constexpr std::int64_t kNow = 1'800'000'000;  // 2027-01-15T08:00:00Z
constexpr std::int64_t kDay = 86400;

// A publisher that may sign, an intermediate and a self-signed root that may vouch for it.
CertificateFacts Publisher() {
  CertificateFacts f;
  f.subject = "CN=Publisher";
  f.rsa = true;
  f.keyBits = 2048;
  f.keyUsage = f.digitalSignature = true;
  f.extendedKeyUsage = f.codeSigning = true;
  f.signatureDigest = "SHA256";
  f.notBefore = kNow - 10 * kDay;
  f.notAfter = kNow + 400 * kDay;
  return f;
}
CertificateFacts Issuer(const char* subject, bool selfSigned) {
  CertificateFacts f;
  f.subject = subject;
  f.rsa = true;
  f.keyBits = 4096;
  f.ca = true;
  f.selfSigned = selfSigned;
  f.signatureDigest = selfSigned ? "" : "SHA384";
  f.notBefore = kNow - 100 * kDay;
  f.notAfter = kNow + 1000 * kDay;
  return f;
}

using Change = std::function<void(CertificateFacts&)>;

struct ChainCase {
  const char* what;
  int at;  // which certificate is changed: 0 the signer, 1 the intermediate, 2 the root
  Change change;
  std::string refusal;  // the whole message; empty: the chain may sign
};

TEST(ChainProblem, EveryCertificateFromSignerToAnchorIsJudged) {
  const std::string signer = "the certificate CN=Publisher cannot sign connection files: ";
  const std::string intermediate = "the certificate CN=Int on the signer's chain cannot vouch for it: ";
  const std::string root = "the certificate CN=Root on the signer's chain cannot vouch for it: ";
  const std::string neither = "its extended key usage allows neither code signing nor server authentication";
  const std::string below = " for the certificates below it";
  const std::string apart =
      "its extended key usage allows server authentication only, and the certificates below it code signing only: no "
      "one purpose runs the whole path";
  const ChainCase cases[] = {
      {"a good chain", 0, [](CertificateFacts&) {}, ""},
      {"server authentication", 0, [](CertificateFacts& f) { f.codeSigning = false, f.serverAuthentication = true; },
       ""},
      {"any purpose", 0, [](CertificateFacts& f) { f.codeSigning = false, f.anyPurpose = true; }, ""},
      {"the last second", 0, [](CertificateFacts& f) { f.notAfter = kNow; }, ""},
      {"the first second", 0, [](CertificateFacts& f) { f.notBefore = kNow; }, ""},
      {"SHA-512", 0, [](CertificateFacts& f) { f.signatureDigest = "SHA512"; }, ""},
      {"SHA3-256", 0, [](CertificateFacts& f) { f.signatureDigest = "SHA3-256"; }, ""},
      {"not RSA", 0, [](CertificateFacts& f) { f.rsa = false; }, signer + "its key is not an RSA key"},
      {"EC", 0, [](CertificateFacts& f) { f.rsa = false, f.keyType = "EC"; },
       signer + "its key is an EC key, not an RSA key"},
      {"RSA-PSS", 0, [](CertificateFacts& f) { f.rsa = false, f.keyType = "RSA-PSS"; },
       signer +
           "its key is an RSA key limited to RSA-PSS, which the policy does not allow: only unrestricted RSA keys"},
      {"an issuer's Ed25519", 1, [](CertificateFacts& f) { f.signatureDigest = "", f.signatureAlgorithm = "ED25519"; },
       intermediate +
           "its issuer signed it with ED25519, which names no digest: only RSA signatures with SHA-256 or stronger "
           "are accepted"},
      {"2047 bits", 0, [](CertificateFacts& f) { f.keyBits = 2047; },
       signer + "its RSA key has 2047 bits, fewer than 2048"},
      {"a CA", 0, [](CertificateFacts& f) { f.ca = true; },
       signer + "it is a certification authority's certificate, not a publisher's"},
      {"no key usage", 0, [](CertificateFacts& f) { f.keyUsage = f.digitalSignature = false; },
       signer + "it has no key usage"},
      {"no digital signature", 0, [](CertificateFacts& f) { f.digitalSignature = false; },
       signer + "its key usage does not allow digital signatures"},
      {"no extended key usage", 0, [](CertificateFacts& f) { f.extendedKeyUsage = f.codeSigning = false; },
       signer + "it has no extended key usage"},
      {"e-mail only", 0, [](CertificateFacts& f) { f.codeSigning = false; }, signer + neither},
      {"expired", 0, [](CertificateFacts& f) { f.notAfter = kNow - 1; }, signer + "it expired on 2027-01-15T07:59:59Z"},
      {"not yet valid", 0, [](CertificateFacts& f) { f.notBefore = kNow + 1; },
       signer + "it is not valid before 2027-01-15T08:00:01Z"},
      {"an unreadable date", 0, [](CertificateFacts& f) { f.datesReadable = false; },
       signer + "its validity dates cannot be read"},
      {"SHA-1 on the signer", 0, [](CertificateFacts& f) { f.signatureDigest = "SHA1"; },
       signer + "the digest of its issuer's signature is SHA-1: only SHA-256 or stronger is accepted"},
      {"SHA-224 on the signer", 0, [](CertificateFacts& f) { f.signatureDigest = "SHA224"; },
       signer + "the digest of its issuer's signature is SHA224: only SHA-256 or stronger is accepted"},
      {"an unknown digest", 0, [](CertificateFacts& f) { f.signatureDigest = ""; },
       signer + "the digest of its issuer's signature is unknown: only SHA-256 or stronger is accepted"},
      {"MD5 on the intermediate", 1, [](CertificateFacts& f) { f.signatureDigest = "MD5"; },
       intermediate + "the digest of its issuer's signature is MD5: only SHA-256 or stronger is accepted"},
      {"an intermediate that constrains policies alone", 1,
       [](CertificateFacts& f) { f.constrainsPoliciesAlone = true; },
       intermediate + "it constrains the certificate policies of the path but names no policy of its own"},
      {"a 1024-bit intermediate", 1, [](CertificateFacts& f) { f.keyBits = 1024; },
       intermediate + "its RSA key has 1024 bits, fewer than 2048"},
      {"an expired intermediate", 1, [](CertificateFacts& f) { f.notAfter = kNow - kDay; },
       intermediate + "it expired on 2027-01-14T08:00:00Z"},
      {"an intermediate's unreadable date", 1, [](CertificateFacts& f) { f.datesReadable = false; },
       intermediate + "its validity dates cannot be read"},
      {"a server-only intermediate", 1, [](CertificateFacts& f) { f.extendedKeyUsage = f.serverAuthentication = true; },
       intermediate + apart},
      {"a code-signing intermediate", 1, [](CertificateFacts& f) { f.extendedKeyUsage = f.codeSigning = true; }, ""},
      {"an any-purpose intermediate", 1, [](CertificateFacts& f) { f.extendedKeyUsage = f.anyPurpose = true; }, ""},
      {"an e-mail root", 2, [](CertificateFacts& f) { f.extendedKeyUsage = true; }, root + neither + below},
      {"an expired root", 2, [](CertificateFacts& f) { f.notAfter = kNow - kDay; },
       root + "it expired on 2027-01-14T08:00:00Z"},
      {"a root's own SHA-1 signature", 2, [](CertificateFacts& f) { f.signatureDigest = "SHA1"; }, ""},
      {"a root that is not self-signed", 2,
       [](CertificateFacts& f) { f.selfSigned = false, f.signatureDigest = "SHA1"; },
       root + "the digest of its issuer's signature is SHA-1: only SHA-256 or stronger is accepted"},
      {"a 1024-bit root", 2, [](CertificateFacts& f) { f.keyBits = 1024; },
       root + "its RSA key has 1024 bits, fewer than 2048"},
  };
  for (const ChainCase& c : cases) {
    std::vector<CertificateFacts> chain{Publisher(), Issuer("CN=Int", false), Issuer("CN=Root", true)};
    c.change(chain[static_cast<std::size_t>(c.at)]);
    EXPECT_EQ(ChainProblem(chain, kNow), c.refusal) << c.what;
  }
  // A server-authentication signer under an intermediate that allows only server authentication.
  std::vector<CertificateFacts> tls{Publisher(), Issuer("CN=Int", false)};
  tls[0].codeSigning = false;
  tls[0].serverAuthentication = true;
  tls[1].extendedKeyUsage = tls[1].serverAuthentication = true;
  EXPECT_EQ(ChainProblem(tls, kNow), "");
  // The same signer under an intermediate for code signing only: the purposes do not meet.
  tls[1].serverAuthentication = false;
  tls[1].codeSigning = true;
  EXPECT_NE(ChainProblem(tls, kNow), "");
  // A signer for both under an intermediate for code signing only, under a root for server
  // authentication only: each allows one of the signer's, but no purpose runs the whole chain.
  std::vector<CertificateFacts> mixed{Publisher(), Issuer("CN=Int", false), Issuer("CN=Root", true)};
  mixed[0].serverAuthentication = true;
  mixed[1].extendedKeyUsage = mixed[1].codeSigning = true;
  mixed[2].extendedKeyUsage = mixed[2].serverAuthentication = true;
  EXPECT_EQ(ChainProblem(mixed, kNow), root + apart);
  EXPECT_EQ(ChainProblem({}, kNow), "there is no certificate");
  // A self-signed publisher's own signature says nothing either.
  std::vector<CertificateFacts> alone{Publisher()};
  alone[0].selfSigned = true;
  alone[0].signatureDigest = "SHA1";
  EXPECT_EQ(ChainProblem(alone, kNow), "");
}

// The date to act by is the first end on the chain; the warning starts 30 days before it
// and names an issuer that is the reason.
TEST(ExpiryWarning, ComesThirtyDaysBeforeTheChainsFirstEnd) {
  std::vector<CertificateFacts> chain{Publisher(), Issuer("CN=Int", false), Issuer("CN=Root", true)};
  EXPECT_EQ(ExpiryWarning(chain, kNow), "");
  chain[0].notAfter = kNow + 30 * kDay;
  EXPECT_EQ(ExpiryWarning(chain, kNow), "") << "30 days are not less than 30";
  chain[0].notAfter = kNow + 30 * kDay - 1;
  EXPECT_EQ(ExpiryWarning(chain, kNow),
            "the certificate expires on 2027-02-14T07:59:59Z, in 29 days: sign with its successor, rebuild and hand "
            "out the new launcher before then");
  chain[0].notAfter = kNow + 400 * kDay;
  chain[1].notAfter = kNow + 10 * kDay;
  EXPECT_EQ(&FirstToExpire(chain), &chain[1]);
  EXPECT_EQ(ExpiryWarning(chain, kNow),
            "the certificate expires on 2027-01-25T08:00:00Z (when CN=Int on its chain expires), in 10 days: sign "
            "with its successor, rebuild and hand out the new launcher before then");
  chain[1].notAfter = kNow - kDay;
  EXPECT_NE(ExpiryWarning(chain, kNow).find(", in 0 days"), std::string::npos);
}

TEST(IsoTime, WritesEveryDateOfTheProlepticCalendar) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},
      {4107542399, "2100-02-28T23:59:59Z"},
      {2147483648, "2038-01-19T03:14:08Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
      {-62135596800, "0001-01-01T00:00:00Z"},
      {1800000000, "2027-01-15T08:00:00Z"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(IsoTime(seconds), text) << seconds;
}

// Outside the signature a setting holds only what its row allows, typed and canonical, and
// a refusal says why; which values each row allows is the next test's.
TEST(UnsignedSettingProblem, EachSettingHoldsOnlyWhatItsRowAllows) {
  const struct {
    const char* name;
    const char* type;
    const char* value;
    const char* refusal;  // empty: allowed
  } cases[] = {
      {"smart sizing", "i", "1", ""},
      {"smart sizing", "i", "2", "'smart sizing' is not covered by the signature and its value is no valid display"},
      {"smart sizing", "s", "1", "'smart sizing' is not covered by the signature and is not of type i"},
      {"smart sizing", "ii", "1", "is not of type i"},
      {"smart sizing", "i", "01", "its value is no valid display setting"},
      {"smart sizing", "i", "+1", "its value is no valid display setting"},
      {"smart sizing", "i", "-0", "its value is no valid display setting"},
      {"smart sizing", "i", "", "its value is no valid display setting"},
      {"smart sizing", "i", "1\x80", "its value is no valid display setting"},  // a character outside ASCII
      {"desktopwidth", "i", "1234567890", "its value is no valid display setting"},
      {"keyboardhook", "i", "1", "its value sends Windows key combinations to the server"},
      {"connection type", "i", "0", "is not one of those allowed"},
      {"winposstr", "s", "0,3,0,0,800", "its value is no valid display setting"},
      {"winposstr", "s", "0,3,0,0,800,", "its value is no valid display setting"},
      {"selectedmonitors", "s", "123456789", ""},
      {"selectedmonitors", "s", "1234567890", "its value is no valid display setting"},
      {"camerastoredirect", "s", "*", "'camerastoredirect' is not covered by the signature and its value redirects"},
      {"usbdevicestoredirect", "s", "*", "its value redirects USB devices"},
      {"audiocapturemode", "i", "1", "its value turns the microphone on"},
      {"redirectwebauthn", "i", "1", "its value redirects security keys"},
      {"redirectlocation", "i", "1", "its value shares the location"},
      {"gatewaybrokeringtype", "i", "1", "its value hands the connection to a broker"},
      {"enablerdsaadauth", "i", "1", "its value changes how the user signs in"},
      {"username", "s", "", "'username' is not covered by the signature and carries an account"},
      {"password 51", "b", "00", "'password 51' is not covered by the signature and carries a password"},
      {"gatewayaccesstoken", "s", "", "carries a gateway's access token"},
      {"full address", "s", "x", "'full address' must be covered by the signature"},
      {"colour", "i", "1", "'colour' is no setting this check knows, and the signature does not cover it"},
  };
  for (const auto& c : cases) {
    const std::string problem = UnsignedSettingProblem(c.name, c.type, c.value);
    if (*c.refusal == '\0') {
      EXPECT_EQ(problem, "") << c.name << ":" << c.type << ":" << c.value;
    } else {
      EXPECT_NE(problem.find(c.refusal), std::string::npos) << c.name << ":" << c.value << " -> " << problem;
    }
  }
}

// Every setting outside the signature, probed at the edges of what the list written out by
// hand allows: each allowed number and range end passes, the numbers just beside them and
// another type do not; the list names every such setting of the table.
TEST(UnsignedSettingProblem, EachSettingAllowsWhatTheHandWrittenListAllows) {
  std::size_t rows = 0;
  for (const std::string& line : testing::ExpectedLines("unsigned_settings.txt")) {
    const std::size_t typeAt = line.find(':');
    const std::string name = line.substr(0, typeAt);
    const std::string type = line.substr(typeAt + 1, 1);
    const std::string allowed = line.substr(typeAt + 4);
    const auto passes = [&](const std::string& value, const std::string& as) {
      return UnsignedSettingProblem(name, as, value).empty();
    };
    SCOPED_TRACE(line);
    ++rows;
    if (allowed == "never") {
      for (const char* value : {"", "0", "x"}) EXPECT_FALSE(passes(value, type)) << value;
      continue;
    }
    EXPECT_FALSE(passes(allowed == "empty" ? "" : "0", type == "i" ? "s" : "i")) << "another type";
    if (allowed == "empty") {
      EXPECT_TRUE(passes("", type));
      EXPECT_FALSE(passes("0", type));
    } else if (allowed.ends_with("numbers")) {
      const std::size_t count = allowed == "numbers" ? 3 : std::stoul(allowed);
      const auto zeros = [](std::size_t n) {
        std::string list = "0";
        for (std::size_t i = 1; i < n; ++i) list += ",0";
        return list;
      };
      EXPECT_TRUE(passes(zeros(count), type));
      EXPECT_EQ(passes(zeros(count + 1), type), allowed == "numbers");
      EXPECT_FALSE(passes("0,,0", type));
    } else {
      std::vector<std::pair<long, long>> ranges;
      for (std::size_t start = 0; start <= allowed.size();) {
        const std::size_t end = std::min(allowed.find(',', start), allowed.size());
        const std::string item = allowed.substr(start, end - start);
        const std::size_t dash = item.find('-');
        ranges.emplace_back(std::stol(item), std::stol(dash == std::string::npos ? item : item.substr(dash + 1)));
        start = end + 1;
      }
      const auto inside = [&](long n) {
        return std::any_of(ranges.begin(), ranges.end(), [&](const auto& r) { return r.first <= n && n <= r.second; });
      };
      for (const auto& [low, high] : ranges) {
        for (const long n : {low - 1, low, high, high + 1}) {
          if (n >= 0) {
            EXPECT_EQ(passes(std::to_string(n), type), inside(n)) << n;
          }
        }
      }
    }
  }
  EXPECT_EQ(rows, static_cast<std::size_t>(
                      std::count_if(kSettings.begin(), kSettings.end(), [](const Setting& s) { return !s.Secure(); })));
}

}  // namespace
}  // namespace rdplaunch
