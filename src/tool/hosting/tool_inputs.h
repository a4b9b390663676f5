// What several of rdplaunch-name's commands read and show: a launcher name given as an
// argument, a signing identity from its files and the options that name them, and the
// description of a signer's path.
#pragma once

#include <array>
#include <string>
#include <variant>

#include "hosting/launch_name_maker.h"
#include "hosting/tool_answer.h"
#include "hosting/tool_commands.h"
#include "signing/rdp_signing.h"

namespace rdplaunch {

// The NAME value of check and rdp (UTF-8, possibly a path), checked as the launcher would,
// or the answer to its refusal.
std::variant<NameCheck, Answer> CheckedName(const std::string& argument);

// The files of a signing identity, as the signing commands' options name them.
struct SigningOptions {
  std::string certificate;
  std::string key;
  std::string chain;
  std::string passphraseFile;
  std::string passphraseVariable;
};

// The options that name a signing identity, alike in every signing command: the signer's
// certificate and key, required or (where a command can do without signing) given
// together, and the chain and passphrase with them.
template <typename Args>
constexpr std::array<Parameter, 5> SignerOptions(bool required) {
  using B = Bind<Args>;
  constexpr std::string_view kCertificate = "the signer's certificate (PEM)";
  constexpr std::string_view kKey = "the signer's private key (PEM)";
  const std::string_view needs = required ? "" : "--cert";
  return {
      required ? B::template Required<&Args::certificate>("--cert", "CERT", kCertificate)
               : B::template Option<&Args::certificate>("--cert", "CERT", kCertificate, {}, "--key"),
      required ? B::template Required<&Args::key>("--key", "KEY", kKey)
               : B::template Option<&Args::key>("--key", "KEY", kKey, {}, "--cert"),
      B::template Option<&Args::chain>(
          "--chain", "CHAIN", "certificates that may stand on the signer's path up (PEM, any order)", {}, needs),
      B::template Option<&Args::passphraseFile>("--key-password-file", "FILE",
                                                "the encrypted key's passphrase: the one line of FILE", {}, needs),
      B::template Option<&Args::passphraseVariable>(
          "--key-password-env", "NAME", "the encrypted key's passphrase: the environment variable NAME", {}, needs)};
}

// The identity the options name: every file read as a bounded regular file, the passphrase
// by the rule the build follows too.
std::variant<SigningIdentity, Answer> LoadIdentity(const SigningOptions& options);

// A signer's path as identity, signatures and verify show it alike.
Answer& DescribeSigner(Answer& answer, const SignerSummary& signer);
// An identity as identity and signatures show it: its signer, what of the chain it leaves
// out, and a warning when its earliest end is near.
Answer& DescribeIdentity(Answer& answer, const SigningIdentity& identity);

}  // namespace rdplaunch
