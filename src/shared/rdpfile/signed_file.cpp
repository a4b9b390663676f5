// The lines of a signed connection file.
#include "rdpfile/signed_file.h"

#include "text/cp1251.h"

namespace rdplaunch {

std::vector<std::string> LinesToSign(const ConnectionTarget& target) {
  const auto fileLines = ConnectionFileLines(target);
  std::vector<std::string> lines(fileLines.begin(), fileLines.end());
  lines.push_back("alternate full address:s:" + std::string(target.host));
  return lines;
}

std::vector<std::string> SignedFileLines(const ConnectionTarget& target, const FileSignature& signature) {
  std::vector<std::string> lines = LinesToSign(target);
  lines.push_back(std::string(kSignScopePrefix) + std::string(signature.scope));
  lines.push_back(std::string(kSignaturePrefix) + std::string(signature.signature));
  return lines;
}

std::string SignedFileContent(const ConnectionTarget& target, const FileSignature& signature) {
  return FileContent(SignedFileLines(target, signature), FileEncoding::kUtf16Le);
}

}  // namespace rdplaunch
