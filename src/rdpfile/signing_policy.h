// The one signing policy of connection files, for everything that signs or checks them:
// which digests, which certificates and which dates may sign, and what a setting outside
// the signature may hold. It knows no cryptography library: callers hand it the facts.
// Whatever it does not know, it refuses.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rdplaunch {

// Why a signature's digest (OpenSSL's short name: "SHA256", "MD5", ...) is refused, or nothing.
std::string DigestProblem(std::string_view digest);

// What the policy needs to know of a certificate.
struct CertificateFacts {
  bool rsa = false;
  int keyBits = 0;
  bool keyUsage = false;  // it has a key usage extension
  bool digitalSignature = false;
  bool extendedKeyUsage = false;  // it has an extended key usage extension
  bool codeSigning = false;
  bool serverAuthentication = false;
  bool anyPurpose = false;     // "any extended key usage"
  bool ca = false;             // basic constraints say it is a certification authority
  std::int64_t notBefore = 0;  // seconds since 1970-01-01 UTC
  std::int64_t notAfter = 0;
};

// Why the signer's certificate cannot sign connection files at the time now, or nothing.
std::string SignerProblem(const CertificateFacts& signer, std::int64_t now);
// Why a certificate that issued the signer's (or an issuer's) cannot vouch for it, or nothing.
std::string IssuerProblem(const CertificateFacts& signer, const CertificateFacts& issuer, std::int64_t now);

// A time as ISO 8601 in UTC: 2026-12-31T23:59:59Z.
std::string IsoTime(std::int64_t seconds);
inline constexpr int kExpiryWarningDays = 30;
// A warning when the signer expires within kExpiryWarningDays of now, or nothing.
std::string ExpiryWarning(const CertificateFacts& signer, std::int64_t now);

enum class SettingGroup { kConnection, kSessionBehaviour, kDeviceRedirection, kDisplay };

// A setting the signature leaves out, and what it may hold there. Display settings take
// any valid value; the others only values that share nothing and weaken nothing.
struct UnsignedSetting {
  std::string_view name;  // lower case, as a client matches it
  SettingGroup group;
  char type;                // 'i', 's' or 'b'
  std::string_view values;  // 'i': numbers and ranges ("0", "0-1", "15,16,24,32"); 's': "" (empty only),
                            // "integers" or "integers:6" (a comma-separated list); "none": no value at all
  std::string_view risk;    // what another value would do
};
std::span<const UnsignedSetting> UnsignedSettings();

// Why a setting outside the signature is refused, or nothing. The name is trimmed and in
// lower case; type and value are as the line gives them (UTF-8).
std::string UnsignedSettingProblem(std::string_view name, std::string_view type, std::string_view value);

}  // namespace rdplaunch
