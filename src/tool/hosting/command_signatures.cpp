// signatures: the connection-file signatures a signed build compiles in, made with the
// identity the signing policy accepts.
#include <algorithm>

#include "hosting/tool_files.h"
#include "hosting/tool_handlers.h"
#include "hosting/tool_inputs.h"
#include "profiles/profiles.h"
#include "signing/signatures_header.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

struct SignaturesArguments : SigningOptions {
  std::string out;
};

// Every file the launcher can write, once per alias, host and port (which alone decide a
// file's lines). The table's entries view the made signatures' strings, which are kept in
// a list that never moves them.
Answer Signatures(const SignaturesArguments& arguments) {
  auto loaded = LoadIdentity(arguments);
  if (Answer* failed = std::get_if<Answer>(&loaded)) return std::move(*failed);
  const SigningIdentity& identity = std::get<SigningIdentity>(loaded);
  struct Made {
    ConnectionTarget target;
    MadeSignature signature;
  };
  std::vector<Made> made;
  for (const ProductProfile& profile : ProfileTable()) {
    for (const ConnectionTarget& target : RowFiles(profile)) {
      const auto sameLines = [&](const Made& m) { return SameLines(m.target, target.alias, target.host, target.port); };
      if (std::any_of(made.begin(), made.end(), sameLines)) continue;
      made.push_back({target, SignConnectionFile(identity, target)});
      if (made.back().signature.signature.empty()) {
        return Answer::Failure(kExitToolFailure, "signing failed for " + Cp1251ToUtf8(RdpFileName(target.displayName)));
      }
    }
  }
  std::vector<FileSignature> signatures;
  for (const Made& m : made) {
    signatures.push_back({m.target.alias, m.target.host, m.target.port, m.signature.scope, m.signature.signature});
  }
  const SignerSummary signer = identity.Summary();
  const std::string header = SignaturesHeader(signatures, "Made by rdplaunch-name signatures for the certificate\n" +
                                                              signer.publisher + " (SHA-1 " + signer.thumbprints.sha1 +
                                                              "), which expires on " + signer.expires + ".");
  const bool toStandardOutput = arguments.out == kStandardOutput;
  if (!toStandardOutput) {
    if (const std::string error = WriteNewFiles({{arguments.out, header, 0644, arguments.out}}); !error.empty()) {
      return Answer::Failure(kExitFileError, error);
    }
  }
  Answer answer;
  answer.headline = "signed " + std::to_string(signatures.size()) + " connection files";
  answer.Json("valid", true).Json("files", static_cast<long long>(signatures.size()));
  DescribeIdentity(answer, identity);
  if (!toStandardOutput) return answer;
  // Standard output takes the header alone (or, in JSON, as "header"); what is said of
  // the identity goes to standard error.
  answer.notice = answer.headline;
  answer.headline.clear();
  for (AnswerField& field : answer.fields) field.label.clear();
  answer.bytes = header;
  return answer.Json("header", header);
}

using B = Bind<SignaturesArguments>;
constexpr auto kSigner = SignerOptions<SignaturesArguments>(true);
constexpr Parameter kOptions[] = {
    kSigner[0],
    kSigner[1],
    kSigner[2],
    kSigner[3],
    kSigner[4],
    B::Required<&SignaturesArguments::out>("--out", "HEADER", "where the header goes; - for standard output")};

std::string Help() {
  return "Signs every connection file the launcher can write and writes the C++ header the\n"
         "Windows build compiles in (the build runs this; the key never leaves this machine);\n"
         "with --out -, to standard output.";
}

}  // namespace

const CommandRow kSignaturesCommand{"signatures", {}, kOptions, Help, false, B::Run<Signatures>};

}  // namespace rdplaunch
