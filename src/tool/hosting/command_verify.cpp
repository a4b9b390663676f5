// verify: a signed connection file checked as strictly as a client reads it, by the
// signing policy.
#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "signing/rdp_signing.h"
#include "signing/signed_file_reader.h"

namespace rdplaunch {

namespace {

struct VerifyArguments {
  std::string file;
  std::string trusted;
};

Answer Verify(const VerifyArguments& arguments) {
  const FileBytes file = ReadInputFile(arguments.file, kMaxSignedFileSize, arguments.file);
  if (!file.error.empty()) return Answer::Failure(kExitFileError, file.error);
  std::string trusted;
  if (!arguments.trusted.empty()) {
    FileBytes read = ReadInputFile(arguments.trusted, kMaxInputFileSize, arguments.trusted);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    std::string problem;
    if (CertificateCount(read.bytes, &problem) == 0 || !problem.empty()) {
      return Answer::Failure(kExitFileError, "cannot read " + arguments.trusted + ": " +
                                                 (problem.empty() ? "it holds no PEM certificate" : problem));
    }
    trusted = std::move(read.bytes);
  }
  const SignatureCheck check = CheckSignedFile(file.bytes, trusted, arguments.trusted);
  Answer answer;
  answer.Json("valid", check.good).Json("publisher_checked", check.good && check.publisherChecked);
  if (!check.good) {
    return answer.Refusal("bad signature", check.reason);
  }
  // A valid signature by anyone at all is no reason to trust the file: only --trust says whose it must be.
  answer.exitCode = check.publisherChecked ? kExitDone : kExitPublisherNotChecked;
  answer.headline = check.publisherChecked ? "good signature" : "signature valid, publisher not checked";
  DescribeSigner(answer, check.signer);
  // Without --trust, the top of the path is taken as it stands: the answer names it.
  if (!check.publisherChecked) {
    answer.Sentence("trusted", "taken as it stands, unchecked", check.signer.path.back());
  }
  // What the signature leaves out, a client takes from the file as it is.
  return answer.Sentence("uncovered", "not covered by the signature", check.uncovered);
}

using B = Bind<VerifyArguments>;
constexpr Parameter kValues[] = {B::Value<&VerifyArguments::file>("FILE.rdp", "a signed connection file")};
constexpr Parameter kOptions[] = {
    B::Option<&VerifyArguments::trusted>("--trust", "CERT", "the publisher's certificates to trust (PEM)"),
    OlderSpelling("--cert", 1, "--trust")};

std::string Help() {
  return "Checks a signed connection file at least as strictly as the Remote Desktop client\n"
         "and prints its publisher, the certificate's SHA-1 and SHA-256 thumbprints, the path\n"
         "from it up and the earliest expiry on that path; with --trust, the path must lead\n"
         "to a certificate of that PEM file. Exit code " +
         std::to_string(kExitDone) + " for a good signature from that publisher,\n" +
         std::to_string(kExitPublisherNotChecked) +
         " for a valid signature whose publisher was not checked (no --trust), " + std::to_string(kExitRefused) +
         " for a bad one.";
}

}  // namespace

const CommandRow kVerifyCommand{"verify", kValues, kOptions, Help, false, B::Run<Verify>};

}  // namespace rdplaunch
