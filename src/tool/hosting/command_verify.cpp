// verify: a signed connection file checked as strictly as a client reads it, by the
// signing policy.
#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "signing/rdp_signing.h"

namespace rdplaunch {

Answer VerifyCommand(const Request& request) {
  const std::string& path = request.values[0];
  const FileBytes file = ReadInputFile(path, kMaxInputFileSize, path);
  if (!file.error.empty()) return Answer::Failure(kExitFileError, file.error);
  std::string trusted;
  if (request.Has(kCertOption)) {
    const std::string certificate = request.Option(kCertOption);
    FileBytes read = ReadInputFile(certificate, kMaxInputFileSize, certificate);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    if (CertificateCount(read.bytes) == 0) {
      return Answer::Failure(kExitFileError, "cannot read " + certificate + ": it holds no PEM certificate");
    }
    trusted = std::move(read.bytes);
  }
  const SignatureCheck check = CheckSignedFile(file.bytes, trusted);
  Answer answer;
  answer.Json("valid", check.good).Json("publisher_checked", check.good && check.publisherChecked);
  if (!check.good) {
    answer.exitCode = kExitRefused;
    return answer.Both("reason", "bad signature: ", check.reason);
  }
  // A valid signature by anyone at all is no reason to trust the file: only --cert says whose it must be.
  answer.exitCode = check.publisherChecked ? kExitDone : kExitPublisherNotChecked;
  answer.headline = check.publisherChecked ? "good signature" : "signature valid, publisher not checked";
  answer.Both("publisher", "publisher:          ", check.publisher);
  DescribeThumbprints(answer, check.thumbprint);
  answer.Both("chain", "chain:              ", check.path);
  answer.Both("expires", "expires:            ", check.expires)
      .Both("expires_with", "expires with:       ", check.expiresWith);
  // What the signature leaves out, a client takes from the file as it is.
  return answer.Both("uncovered", "not covered by the signature: ", check.uncovered);
}

}  // namespace rdplaunch
