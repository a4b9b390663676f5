// signatures and identity: the signing identity a signed build uses, checked by the
// signing policy, and the connection-file signatures it compiles in.
#include <algorithm>

#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "profiles/profiles.h"
#include "signing/signatures_header.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

std::variant<SigningIdentity, Answer> IdentityOf(const Request& request) {
  return LoadIdentity(request.Option(kCertOption), request.Option(kKeyOption), request.Option(kChainOption),
                      request.Option(kKeyPasswordFileOption));
}

// What the hosting service puts into the policy of trusted publishers' thumbprints, the
// path every signature carries (and what of --chain it leaves out), and the date by which
// it must sign with the next certificate.
Answer& Describe(Answer& answer, const SigningIdentity& identity) {
  answer.Both("publisher", "publisher:          ", identity.Subject());
  DescribeThumbprints(answer, identity.Thumbprint());
  answer.Both("chain", "chain:              ", identity.Path());
  const std::vector<std::string> leftOut = identity.LeftOut();
  leftOut.empty() ? answer.Json("left_out", leftOut) : answer.Both("left_out", "left out of chain:  ", leftOut);
  answer.Both("expires", "expires:            ", identity.Expires())
      .Both("expires_with", "expires with:       ", identity.ExpiresWith());
  const std::string warning = identity.ExpiryWarning();
  warning.empty() ? answer.Json("warning", nullptr) : answer.Both("warning", "warning:            ", warning);
  return answer;
}

}  // namespace

Answer IdentityCommand(const Request& request) {
  auto loaded = IdentityOf(request);
  if (Answer* failed = std::get_if<Answer>(&loaded)) return std::move(*failed);
  Answer answer;
  answer.headline = "can sign connection files";
  answer.Json("valid", true);
  return Describe(answer, std::get<SigningIdentity>(loaded));
}

// Every file the launcher can write, once per alias, host and port (which alone decide a
// file's lines).
Answer SignaturesCommand(const Request& request) {
  auto loaded = IdentityOf(request);
  if (Answer* failed = std::get_if<Answer>(&loaded)) return std::move(*failed);
  const SigningIdentity& identity = std::get<SigningIdentity>(loaded);
  std::vector<MadeSignature> made;
  std::vector<FileSignature> signatures;
  std::vector<ConnectionTarget> signedTargets;
  for (const ProductProfile& profile : ProfileTable()) {
    for (const ConnectionTarget& target : RowFiles(profile)) {
      const auto sameLines = [&](const ConnectionTarget& t) {
        return SameLines(t, target.alias, target.host, target.port);
      };
      if (std::any_of(signedTargets.begin(), signedTargets.end(), sameLines)) continue;
      signedTargets.push_back(target);
      made.push_back(SignConnectionFile(identity, target));
      if (made.back().signature.empty()) {
        return Answer::Failure(kExitFileError, "signing failed for " + Cp1251ToUtf8(target.displayName) + ".rdp");
      }
    }
  }
  // The table's entries view the made signatures' strings, so they are taken only once
  // `made` stops growing.
  for (std::size_t i = 0; i < made.size(); ++i) {
    const ConnectionTarget& t = signedTargets[i];
    signatures.push_back({t.alias, t.host, t.port, made[i].scope, made[i].signature});
  }
  const std::string header = SignaturesHeader(
      signatures, "Made by rdplaunch-name signatures for the certificate\n" + identity.Subject() + " (SHA-1 " +
                      identity.Thumbprint().sha1 + "), which expires on " + identity.Expires() + ".");
  const std::string out = request.Option(kOutOption);
  if (const std::string error = WriteNewFiles({{out, header, 0644, out}}); !error.empty()) {
    return Answer::Failure(kExitFileError, error);
  }
  Answer answer;
  answer.headline = "signed " + std::to_string(signatures.size()) + " connection files";
  answer.Json("valid", true).Json("files", static_cast<long long>(signatures.size()));
  return Describe(answer, identity);
}

}  // namespace rdplaunch
