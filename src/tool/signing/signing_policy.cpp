// The signing policy of connection files. Each rule is a list of what is allowed: a
// digest, a certificate's property or a setting that is not on it is refused.
#include "signing/signing_policy.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

#include "rdpfile/settings.h"
#include "text/joined.h"

namespace rdplaunch {

std::string DigestProblem(std::string_view digest, std::string_view what) {
  constexpr std::array<std::string_view, 6> kStrong{"SHA256", "SHA384", "SHA512", "SHA3-256", "SHA3-384", "SHA3-512"};
  if (std::find(kStrong.begin(), kStrong.end(), digest) != kStrong.end()) return {};
  const std::string shown = digest == "SHA1" ? "SHA-1" : digest.empty() ? "unknown" : std::string(digest);
  return std::string(what) + " is " + shown + ": only SHA-256 or stronger is accepted";
}

// The civil date of a day count (days since 1970-01-01, proleptic Gregorian), by
// Howard Hinnant's algorithm: the same on every system, whatever its time functions.
std::string IsoTime(std::int64_t seconds) {
  const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const std::int64_t second = seconds - days * 86400;
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(second / 3600),
                static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60));
  return text;
}

namespace {

// A date that cannot be read is no date at all: nothing is valid then.
std::string ValidityProblem(const CertificateFacts& certificate, std::int64_t now) {
  if (!certificate.datesReadable) return "its validity dates cannot be read";
  if (now < certificate.notBefore) return "it is not valid before " + IsoTime(certificate.notBefore);
  if (now > certificate.notAfter) return "it expired on " + IsoTime(certificate.notAfter);
  return {};
}

constexpr int kMinRsaBits = 2048;

// What every certificate on the chain needs: an RSA key of at least kMinRsaBits, a strong
// digest in the signature its issuer put on it (a self-signed certificate's own signature
// proves nothing and is not judged), and its dates.
std::string CertificateProblem(const CertificateFacts& certificate, std::int64_t now) {
  if (!certificate.rsa) {
    if (certificate.keyType == "RSA-PSS") {
      return "its key is an RSA key limited to RSA-PSS, which the policy does not allow: only unrestricted RSA keys";
    }
    return certificate.keyType.empty() ? "its key is not an RSA key"
                                       : "its key is an " + certificate.keyType + " key, not an RSA key";
  }
  if (certificate.keyBits < kMinRsaBits) {
    return "its RSA key has " + std::to_string(certificate.keyBits) + " bits, fewer than " +
           std::to_string(kMinRsaBits);
  }
  // No authority constrains the policies below it without naming its own (the policy
  // processing of OpenSSL 3.0 also loses memory on such a certificate).
  if (certificate.constrainsPoliciesAlone) {
    return "it constrains the certificate policies of the path but names no policy of its own";
  }
  if (!certificate.selfSigned) {
    if (certificate.signatureDigest.empty() && !certificate.signatureAlgorithm.empty()) {
      return "its issuer signed it with " + certificate.signatureAlgorithm +
             ", which names no digest: only RSA signatures with SHA-256 or stronger are accepted";
    }
    if (std::string problem = DigestProblem(certificate.signatureDigest, "the digest of its issuer's signature");
        !problem.empty()) {
      return problem;
    }
  }
  return ValidityProblem(certificate, now);
}

// An end entity with a key usage that includes digital signatures, and an extended key
// usage that includes code signing or server authentication (servers' TLS certificates
// are what connection files are commonly signed with).
std::string SignerProblem(const CertificateFacts& signer, std::int64_t now) {
  if (signer.ca) return "it is a certification authority's certificate, not a publisher's";
  if (!signer.keyUsage) return "it has no key usage";
  if (!signer.digitalSignature) return "its key usage does not allow digital signatures";
  if (!signer.extendedKeyUsage) return "it has no extended key usage";
  if (!signer.codeSigning && !signer.serverAuthentication && !signer.anyPurpose) {
    return "its extended key usage allows neither code signing nor server authentication";
  }
  return CertificateProblem(signer, now);
}

// The purposes a certificate allows the ones below it: those it names, or all when it
// names none or any purpose. The signer names its own.
struct Purposes {
  bool codeSigning = true;
  bool serverAuthentication = true;
};
Purposes AllowedBy(const CertificateFacts& certificate) {
  if (!certificate.extendedKeyUsage || certificate.anyPurpose) return {};
  return {certificate.codeSigning, certificate.serverAuthentication};
}

std::string Named(Purposes purposes) {
  return purposes.codeSigning && purposes.serverAuthentication ? "code signing and server authentication"
         : purposes.codeSigning                                ? "code signing"
                                                               : "server authentication";
}

// Why no purpose runs from the certificates below an issuer through it.
std::string PurposeProblem(Purposes below, Purposes allowed) {
  if (!allowed.codeSigning && !allowed.serverAuthentication) {
    return "its extended key usage allows neither code signing nor server authentication for the certificates "
           "below it";
  }
  return "its extended key usage allows " + Named(allowed) + " only, and the certificates below it " + Named(below) +
         " only: no one purpose runs the whole path";
}

}  // namespace

std::string CertificateRefusal(std::span<const CertificateFacts> chain, std::size_t index, std::string_view problem) {
  return "the certificate " + chain[index].subject +
         (index == 0 ? " cannot sign connection files: " : " on the signer's chain cannot vouch for it: ") +
         std::string(problem);
}

// One purpose must run the whole chain: an issuer (the trust anchor included) that limits
// its purposes must allow one that every certificate below it allows.
std::string ChainProblem(std::span<const CertificateFacts> chain, std::int64_t now) {
  if (chain.empty()) return "there is no certificate";
  if (std::string problem = SignerProblem(chain[0], now); !problem.empty())
    return CertificateRefusal(chain, 0, problem);
  Purposes left = AllowedBy(chain[0]);
  for (std::size_t i = 1; i < chain.size(); ++i) {
    const Purposes allowed = AllowedBy(chain[i]);
    const Purposes below = left;
    left = {left.codeSigning && allowed.codeSigning, left.serverAuthentication && allowed.serverAuthentication};
    std::string problem = left.codeSigning || left.serverAuthentication ? CertificateProblem(chain[i], now)
                                                                        : PurposeProblem(below, allowed);
    if (!problem.empty()) return CertificateRefusal(chain, i, problem);
  }
  return {};
}

const CertificateFacts& FirstToExpire(std::span<const CertificateFacts> chain) {
  return *std::min_element(chain.begin(), chain.end(), [](const CertificateFacts& a, const CertificateFacts& b) {
    return a.notAfter < b.notAfter;
  });
}

std::string ExpiryWarning(std::span<const CertificateFacts> chain, std::int64_t now) {
  const CertificateFacts& first = FirstToExpire(chain);
  const std::int64_t left = first.notAfter - now;
  if (left >= std::int64_t{kExpiryWarningDays} * 86400) return {};
  const std::string which = &first == &chain[0] ? "" : " (when " + first.subject + " on its chain expires)";
  return "the certificate expires on " + IsoTime(first.notAfter) + which + ", in " +
         std::to_string(left < 0 ? 0 : left / 86400) +
         " days: sign with its successor, rebuild and hand out the new launcher before then";
}

namespace {

// A number as a client cannot read two ways: decimal digits, no sign, no leading zero.
std::optional<long> NumberOf(std::string_view text) {
  if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  long number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || text[0] == '-' || text[0] == '+') return std::nullopt;
  return number;
}

bool IsNumberList(std::string_view value, std::size_t length) {
  std::size_t items = 0;
  for (std::size_t start = 0; start <= value.size(); ++items) {
    const std::size_t comma = std::min(value.find(',', start), value.size());
    if (!NumberOf(value.substr(start, comma - start))) return false;
    start = comma + 1;
  }
  return length == 0 || items == length;
}

bool Allowed(const OutsideValues& allowed, std::string_view value) {
  using enum OutsideValues::Kind;
  switch (allowed.kind) {
    case kNumbers: {
      const auto number = NumberOf(value);
      return number && std::any_of(allowed.ranges.begin(), allowed.ranges.begin() + allowed.rangeCount,
                                   [&](const NumberRange& r) { return r.low <= *number && *number <= r.high; });
    }
    case kEmpty:
      return value.empty();
    case kNumberList:
      return IsNumberList(value, allowed.listLength);
    case kSignedOnly:
    case kNever:
      return false;
  }
  return false;
}

}  // namespace

std::string QuotedName(std::string_view name) { return Joined({"'", name, "'"}); }

// Every documented setting has a row in the settings table; a name that has none, or a
// secure one outside the signature, is refused.
std::string UnsignedSettingProblem(std::string_view name, std::string_view type, std::string_view value) {
  const Setting* found = FindSetting(name);
  const std::string quoted = QuotedName(name);
  if (found == nullptr) return quoted + " is no setting this check knows, and the signature does not cover it";
  if (found->Secure()) return quoted + " must be covered by the signature";
  if (found->outside.kind == OutsideValues::Kind::kNever) {
    return quoted + " is not covered by the signature and " + std::string(found->risk);
  }
  if (type.size() != 1 || type[0] != found->type) {
    return quoted + " is not covered by the signature and is not of type " + std::string(1, found->type);
  }
  if (!Allowed(found->outside, value)) {
    return quoted + " is not covered by the signature and its value " + std::string(found->risk);
  }
  return {};
}

}  // namespace rdplaunch
