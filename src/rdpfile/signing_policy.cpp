// The signing policy of connection files. Each rule is a list of what is allowed: a
// digest, a certificate's property or a setting that is not on it is refused.
#include "rdpfile/signing_policy.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

namespace rdplaunch {

std::string DigestProblem(std::string_view digest) {
  constexpr std::array<std::string_view, 6> kStrong{"SHA256", "SHA384", "SHA512", "SHA3-256", "SHA3-384", "SHA3-512"};
  if (std::find(kStrong.begin(), kStrong.end(), digest) != kStrong.end()) return {};
  const std::string shown = digest == "SHA1" ? "SHA-1" : digest.empty() ? "unknown" : std::string(digest);
  return "the signature's digest is " + shown + ": only SHA-256 or stronger is accepted";
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

std::string ValidityProblem(const CertificateFacts& certificate, std::int64_t now) {
  if (now < certificate.notBefore) return "it is not valid before " + IsoTime(certificate.notBefore);
  if (now > certificate.notAfter) return "it expired on " + IsoTime(certificate.notAfter);
  return {};
}

}  // namespace

// An end entity with an RSA key of at least 2048 bits, a key usage that includes digital
// signatures, and an extended key usage that includes code signing or server
// authentication (servers' TLS certificates are what connection files are commonly
// signed with), valid now.
std::string SignerProblem(const CertificateFacts& signer, std::int64_t now) {
  if (!signer.rsa) return "its key is not an RSA key";
  if (signer.keyBits < 2048) return "its RSA key has " + std::to_string(signer.keyBits) + " bits, fewer than 2048";
  if (signer.ca) return "it is a certification authority's certificate, not a publisher's";
  if (!signer.keyUsage) return "it has no key usage";
  if (!signer.digitalSignature) return "its key usage does not allow digital signatures";
  if (!signer.extendedKeyUsage) return "it has no extended key usage";
  if (!signer.codeSigning && !signer.serverAuthentication && !signer.anyPurpose) {
    return "its extended key usage allows neither code signing nor server authentication";
  }
  return ValidityProblem(signer, now);
}

// An issuer that limits its purposes must allow one the signer signs for.
std::string IssuerProblem(const CertificateFacts& signer, const CertificateFacts& issuer, std::int64_t now) {
  const bool signsCode = signer.codeSigning || signer.anyPurpose;
  const bool servesTls = signer.serverAuthentication || signer.anyPurpose;
  if (issuer.extendedKeyUsage && !issuer.anyPurpose && !(signsCode && issuer.codeSigning) &&
      !(servesTls && issuer.serverAuthentication)) {
    return "its extended key usage allows neither code signing nor server authentication";
  }
  return ValidityProblem(issuer, now);
}

std::string ExpiryWarning(const CertificateFacts& signer, std::int64_t now) {
  const std::int64_t left = signer.notAfter - now;
  if (left >= std::int64_t{kExpiryWarningDays} * 86400) return {};
  return "the certificate expires on " + IsoTime(signer.notAfter) + ", in " +
         std::to_string(left < 0 ? 0 : left / 86400) +
         " days: sign with its successor, rebuild and hand out the new launcher before then";
}

// Every documented setting that a client does not insist on having signed, and those the
// launcher writes unsigned. The secure ones (SecureSettings) must be signed whatever they
// hold, RemoteApp's among them; a name in neither list is refused.
std::span<const UnsignedSetting> UnsignedSettings() {
  using enum SettingGroup;
  static constexpr UnsignedSetting kSettings[] = {
      {"username", kConnection, 's', "none", "carries an account"},
      {"domain", kConnection, 's', "none", "carries an account"},
      {"password 51", kConnection, 'b', "none", "carries a password"},
      {"clear password", kConnection, 's', "none", "carries a password"},
      {"gatewayusername", kConnection, 's', "none", "carries an account"},
      {"gatewaydomain", kConnection, 's', "none", "carries an account"},
      {"gatewayaccesstoken", kConnection, 's', "none", "carries a gateway's access token"},
      {"enablerdsaadauth", kConnection, 'i', "0", "changes how the user signs in"},
      {"targetisaadjoined", kConnection, 'i', "0", "changes how the server is authenticated"},
      {"gatewaybrokeringtype", kConnection, 'i', "0", "hands the connection to a broker"},
      {"prompt for credentials on client", kConnection, 'i', "0-1", "is not one of those allowed"},
      {"administrative session", kConnection, 'i', "0", "opens the server's administrative session"},
      {"connect to console", kConnection, 'i', "0", "opens the server's administrative session"},
      {"bandwidthautodetect", kSessionBehaviour, 'i', "0-1", "is not one of those allowed"},
      {"compression", kSessionBehaviour, 'i', "0-1", "is not one of those allowed"},
      {"networkautodetect", kSessionBehaviour, 'i', "0-1", "is not one of those allowed"},
      {"videoplaybackmode", kSessionBehaviour, 'i', "0-1", "is not one of those allowed"},
      {"connection type", kSessionBehaviour, 'i', "1-7", "is not one of those allowed"},
      {"enableworkspacereconnect", kSessionBehaviour, 'i', "0-1", "is not one of those allowed"},
      {"bitmapcachepersistenable", kSessionBehaviour, 'i', "0-1", "is not one of those allowed"},
      {"autoreconnect max retries", kSessionBehaviour, 'i', "0-100", "is not one of those allowed"},
      {"audiocapturemode", kDeviceRedirection, 'i', "0", "turns the microphone on"},
      {"camerastoredirect", kDeviceRedirection, 's', "", "redirects cameras"},
      {"usbdevicestoredirect", kDeviceRedirection, 's', "", "redirects USB devices"},
      {"redirectlocation", kDeviceRedirection, 'i', "0", "shares the location"},
      {"redirectwebauthn", kDeviceRedirection, 'i', "0", "redirects security keys"},
      {"encode redirected video capture", kDeviceRedirection, 'i', "0-1", "is not one of those allowed"},
      {"redirected video capture encoding quality", kDeviceRedirection, 'i', "0-2", "is not one of those allowed"},
      {"keyboardhook", kDeviceRedirection, 'i', "0,2", "sends Windows key combinations to the server"},
      {"desktop size id", kDisplay, 'i', "0-4", "is no valid display setting"},
      {"desktopwidth", kDisplay, 'i', "200-8192", "is no valid display setting"},
      {"desktopheight", kDisplay, 'i', "200-8192", "is no valid display setting"},
      {"desktopscalefactor", kDisplay, 'i', "100,125,150,175,200,250,300,400,500", "is no valid display setting"},
      {"dynamic resolution", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"maximizetocurrentdisplays", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"screen mode id", kDisplay, 'i', "1-2", "is no valid display setting"},
      {"selectedmonitors", kDisplay, 's', "integers", "is no valid display setting"},
      {"singlemoninwindowedmode", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"smart sizing", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"use multimon", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"span monitors", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"session bpp", kDisplay, 'i', "15,16,24,32", "is no valid display setting"},
      {"winposstr", kDisplay, 's', "integers:6", "is no valid display setting"},
      {"allow font smoothing", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"allow desktop composition", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"disable wallpaper", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"disable full window drag", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"disable menu anims", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"disable themes", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"disable cursor setting", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"displayconnectionbar", kDisplay, 'i', "0-1", "is no valid display setting"},
      {"pinconnectionbar", kDisplay, 'i', "0-1", "is no valid display setting"},
  };
  return kSettings;
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

// "0", "0-1", "15,16,24,32": is the number one of them?
bool InValues(long number, std::string_view values) {
  for (std::size_t start = 0; start <= values.size();) {
    const std::size_t comma = std::min(values.find(',', start), values.size());
    const std::string_view item = values.substr(start, comma - start);
    const std::size_t dash = item.find('-');
    const auto low = NumberOf(item.substr(0, dash));
    const auto high = dash == std::string_view::npos ? low : NumberOf(item.substr(dash + 1));
    if (low && high && *low <= number && number <= *high) return true;
    start = comma + 1;
  }
  return false;
}

bool IsIntegerList(std::string_view value, std::size_t count) {
  std::size_t items = 0;
  for (std::size_t start = 0; start <= value.size(); ++items) {
    const std::size_t comma = std::min(value.find(',', start), value.size());
    if (!NumberOf(value.substr(start, comma - start))) return false;
    start = comma + 1;
  }
  return count == 0 || items == count;
}

bool Allowed(const UnsignedSetting& setting, std::string_view value) {
  if (setting.values == "none") return false;
  if (setting.type == 'i') {
    const auto number = NumberOf(value);
    return number && InValues(*number, setting.values);
  }
  if (setting.values.starts_with("integers")) {
    const std::size_t colon = setting.values.find(':');
    return IsIntegerList(value, colon == std::string_view::npos ? 0 : *NumberOf(setting.values.substr(colon + 1)));
  }
  return value == setting.values;
}

}  // namespace

std::string UnsignedSettingProblem(std::string_view name, std::string_view type, std::string_view value) {
  const auto settings = UnsignedSettings();
  const auto found =
      std::find_if(settings.begin(), settings.end(), [&](const UnsignedSetting& s) { return s.name == name; });
  std::string quoted(1, '\'');
  quoted.append(name).push_back('\'');
  if (found == settings.end()) return quoted + " is no setting this check knows, and the signature does not cover it";
  if (found->values == "none") return quoted + " is not covered by the signature and " + std::string(found->risk);
  if (type.size() != 1 || type[0] != found->type) {
    return quoted + " is not covered by the signature and is not of type " + std::string(1, found->type);
  }
  if (!Allowed(*found, value)) {
    return quoted + " is not covered by the signature and its value " + std::string(found->risk);
  }
  return {};
}

}  // namespace rdplaunch
