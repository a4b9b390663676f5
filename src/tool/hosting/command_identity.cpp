// identity: whether a certificate, its key, chain and passphrase can sign connection files,
// as configuring a signed build asks.
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "signing/signing_policy.h"

namespace rdplaunch {

namespace {

struct IdentityArguments : SigningOptions {};

Answer Identity(const IdentityArguments& arguments) {
  auto loaded = LoadIdentity(arguments);
  if (Answer* failed = std::get_if<Answer>(&loaded)) return std::move(*failed);
  Answer answer;
  answer.headline = "can sign connection files";
  answer.Json("valid", true);
  return DescribeIdentity(answer, std::get<SigningIdentity>(loaded));
}

constexpr auto kOptions = SignerOptions<IdentityArguments>(true);

std::string Help() {
  return "Checks that certificate, key, chain and passphrase can sign connection files, as\n"
         "configuring a signed build does: the path from the signer up through the chain.\n"
         "Prints the publisher, its SHA-1 and SHA-256 thumbprints, that path and what of the\n"
         "chain it leaves out, and the earliest expiry on the path, with a warning when that\n"
         "is less than " +
         std::to_string(kExpiryWarningDays) + " days away.";
}

}  // namespace

const CommandRow kIdentityCommand{"identity", {}, kOptions, Help, false, Bind<IdentityArguments>::Run<Identity>};

}  // namespace rdplaunch
