// The one signing policy of connection files, for everything that signs or checks them:
// which digests, which certificates along the whole chain and which dates may sign, and
// what a setting outside the signature may hold. It knows no cryptography library:
// callers hand it the facts. Whatever it does not know, it refuses.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rdplaunch {

// Why a digest (OpenSSL's short name: "SHA256", "MD5", ...) is refused, or nothing.
std::string DigestProblem(std::string_view digest, std::string_view what = "the signature's digest");

// What the policy needs to know of a certificate.
struct CertificateFacts {
  std::string subject;  // names it in messages
  bool rsa = false;
  std::string keyType;  // as OpenSSL names it ("RSA", "RSA-PSS", "EC", "ED25519"), for messages
  int keyBits = 0;
  bool keyUsage = false;  // it has a key usage extension
  bool digitalSignature = false;
  bool extendedKeyUsage = false;  // it has an extended key usage extension
  bool codeSigning = false;
  bool serverAuthentication = false;
  bool anyPurpose = false;               // "any extended key usage"
  bool ca = false;                       // basic constraints say it is a certification authority
  bool selfSigned = false;               // its own key verifies its signature: that signature says nothing
  bool constrainsPoliciesAlone = false;  // it has policy constraints but names no policy of its own
  std::string signatureDigest;           // the digest of the signature its issuer put on it
  std::string signatureAlgorithm;        // that signature's algorithm, for messages where it names no digest
  bool datesReadable = true;             // both dates could be read
  std::int64_t notBefore = 0;            // seconds since 1970-01-01 UTC
  std::int64_t notAfter = 0;
};

// Why a chain cannot sign connection files at the time now, or nothing. chain[0] is the
// signer, each next certificate the issuer of the one before; the last may be the trust
// anchor. The message names the certificate.
std::string ChainProblem(std::span<const CertificateFacts> chain, std::int64_t now);
// The refusal of chain[index] for a problem found with it, named as ChainProblem names it.
std::string CertificateRefusal(std::span<const CertificateFacts> chain, std::size_t index, std::string_view problem);

// A time as ISO 8601 in UTC: 2026-12-31T23:59:59Z.
std::string IsoTime(std::int64_t seconds);
inline constexpr int kExpiryWarningDays = 30;
// The certificate on the chain that expires first: the chain can sign until then.
const CertificateFacts& FirstToExpire(std::span<const CertificateFacts> chain);
// A warning when the chain expires within kExpiryWarningDays of now, or nothing.
std::string ExpiryWarning(std::span<const CertificateFacts> chain, std::int64_t now);

// A setting's name as refusals show it: in single quotes.
std::string QuotedName(std::string_view name);

// Why a setting outside the signature is refused, or nothing. The name is trimmed and in
// lower case; type and value are as the line gives them (UTF-8).
std::string UnsignedSettingProblem(std::string_view name, std::string_view type, std::string_view value);

}  // namespace rdplaunch
