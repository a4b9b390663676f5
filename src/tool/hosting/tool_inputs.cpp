// Reading a launcher name argument and a signing identity for rdplaunch-name.
#include "hosting/tool_inputs.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "hosting/tool_files.h"
#include "name/launch_name.h"
#include "text/cp1251.h"

namespace rdplaunch {

// A name from the command line: UTF-8, possibly with a folder in front; refused when its
// file name has a character code page 1251 lacks.
std::variant<NameCheck, Answer> CheckedName(const std::string& argument) {
  const std::optional<std::string> bytes = Utf8ToCp1251(FileNamePart(argument));
  if (!bytes) return Answer::Failure(kExitRefused, "the name has characters without a code page 1251 byte");
  return CheckLaunchName(*bytes);
}

std::variant<SigningIdentity, Answer> LoadIdentity(const SigningOptions& options) {
  SigningFiles files;
  for (const auto& [path, pem] :
       {std::pair{&options.certificate, &files.certificate}, std::pair{&options.key, &files.key}}) {
    FileBytes read = ReadInputFile(*path, kMaxInputFileSize, *path);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    *pem = {*path, std::move(read.bytes)};
  }
  if (!options.chain.empty()) {
    FileBytes read = ReadInputFile(options.chain, kMaxInputFileSize, options.chain);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.chain = PemFile{options.chain, std::move(read.bytes)};
  }
  if (!options.passphraseFile.empty() && !options.passphraseVariable.empty()) {
    return Answer::Failure(kExitUsage, "--key-password-file and --key-password-env both give the passphrase: give one");
  }
  if (!options.passphraseFile.empty()) {
    FileBytes read = PassphraseOf(options.passphraseFile);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.passphrase = std::move(read.bytes);
    files.passphrasePath = options.passphraseFile;
  }
  // An operator's secret store hands the passphrase to the tool alone, as its environment.
  if (!options.passphraseVariable.empty()) {
    const std::string source = "the environment variable " + options.passphraseVariable;
    const char* value = std::getenv(options.passphraseVariable.c_str());
    if (value == nullptr)
      return Answer::Failure(kExitFileError, "cannot read the passphrase: " + source + " is not set");
    FileBytes read = PassphraseIn(value, source);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.passphrase = std::move(read.bytes);
    files.passphrasePath = source;
  }
  auto identity = SigningIdentity::Load(files);
  if (files.passphrase) std::fill(files.passphrase->begin(), files.passphrase->end(), '\0');
  if (const IdentityProblem* problem = std::get_if<IdentityProblem>(&identity)) {
    return Answer::Failure(problem->unreadable ? kExitFileError : kExitRefused, problem->message);
  }
  return std::move(std::get<SigningIdentity>(identity));
}

// What the hosting service puts into the policy of trusted publishers (the SHA-1
// thumbprint; current signing tools name a certificate by the SHA-256 one), the path a
// signature carries, and the date by which it must sign with the next certificate.
Answer& DescribeSigner(Answer& answer, const SignerSummary& signer) {
  return answer.Both("publisher", "publisher", signer.publisher)
      .Both("thumbprint", "SHA-1 thumbprint", signer.thumbprints.sha1)
      .Both("thumbprint_sha256", "SHA-256 thumbprint", signer.thumbprints.sha256)
      .Both("chain", "chain", signer.path)
      .Both("expires", "expires", signer.expires)
      .Both("expires_with", "expires with", signer.expiresWith);
}

Answer& DescribeIdentity(Answer& answer, const SigningIdentity& identity) {
  DescribeSigner(answer, identity.Summary());
  const std::vector<std::string> leftOut = identity.LeftOut();
  leftOut.empty() ? answer.Json("left_out", leftOut) : answer.Both("left_out", "left out of chain", leftOut);
  std::string warning = identity.ExpiryWarning();
  if (const std::string path = identity.PathWarning(); !path.empty()) {
    warning += (warning.empty() ? "" : "; ") + path;
  }
  return warning.empty() ? answer.Json("warning", nullptr) : answer.Both("warning", "warning", warning);
}

}  // namespace rdplaunch
