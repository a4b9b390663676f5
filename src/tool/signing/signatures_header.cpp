// Writing the signatures header of a signed build.
#include "signing/signatures_header.h"

#include <algorithm>
#include <cstdio>

namespace rdplaunch {

// Octal escapes, which never run into what follows; '?' too, so that no trigraph forms.
std::string CppLiteral(std::string_view bytes) {
  std::string literal = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\' && c != '?') {
      literal += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
      literal += escaped;
    }
  }
  return literal + "\"";
}

std::string SignaturesHeader(std::span<const FileSignature> signatures, std::string_view comment) {
  std::string entries;
  for (const FileSignature& s : signatures) {
    entries += "    FileSignature{" + CppLiteral(s.alias) + ", " + CppLiteral(s.host) + ", " + CppLiteral(s.port) +
               ", " + CppLiteral(s.scope) + ",\n                  " + CppLiteral(s.signature) + "},\n";
  }
  std::string commented;
  for (std::size_t start = 0; start < comment.size();) {
    const std::size_t end = std::min(comment.find('\n', start), comment.size());
    // Printable ASCII but the backslash, which would continue the comment onto the next line.
    std::string line(comment.substr(start, end - start));
    for (char& c : line) c = c >= 0x20 && c < 0x7F && c != '\\' ? c : '_';
    commented += "// " + line + "\n";
    start = end + 1;
  }
  return commented +
         "#pragma once\n\n#include <array>\n\n#include \"rdpfile/connection_file.h\"\n\nnamespace rdplaunch {\n\n"
         "inline constexpr bool kSignedBuild = true;\n"
         "inline constexpr std::array<FileSignature, " +
         std::to_string(signatures.size()) + "> kFileSignatures{\n" + entries + "};\n\n}  // namespace rdplaunch\n";
}

}  // namespace rdplaunch
