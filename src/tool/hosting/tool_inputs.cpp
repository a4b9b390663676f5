// Reading a launcher name argument and a signing identity for rdplaunch-name.
#include "hosting/tool_inputs.h"

#include <algorithm>
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

std::variant<SigningIdentity, Answer> LoadIdentity(const std::string& certificate, const std::string& key,
                                                   const std::string& chain, const std::string& passphraseFile) {
  SigningFiles files;
  for (const auto& [path, pem] : {std::pair{&certificate, &files.certificate}, std::pair{&key, &files.key}}) {
    FileBytes read = ReadInputFile(*path, kMaxInputFileSize, *path);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    *pem = {*path, std::move(read.bytes)};
  }
  if (!chain.empty()) {
    FileBytes read = ReadInputFile(chain, kMaxInputFileSize, chain);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.chain = PemFile{chain, std::move(read.bytes)};
  }
  if (!passphraseFile.empty()) {
    FileBytes read = PassphraseOf(passphraseFile);
    if (!read.error.empty()) return Answer::Failure(kExitFileError, read.error);
    files.passphrase = std::move(read.bytes);
    files.passphrasePath = passphraseFile;
  }
  auto identity = SigningIdentity::Load(files);
  if (files.passphrase) std::fill(files.passphrase->begin(), files.passphrase->end(), '\0');
  if (const std::string* error = std::get_if<std::string>(&identity)) return Answer::Failure(kExitFileError, *error);
  return std::move(std::get<SigningIdentity>(identity));
}

Answer& DescribeThumbprints(Answer& answer, const Thumbprints& thumbprints) {
  return answer.Both("thumbprint", "SHA-1 thumbprint:   ", thumbprints.sha1)
      .Both("thumbprint_sha256", "SHA-256 thumbprint: ", thumbprints.sha256);
}

}  // namespace rdplaunch
