// The C++ header that carries a signed build's connection-file signatures into the
// launcher (the build names it by its path: connection-file-signatures.h), one
// FileSignature per file the launcher can write.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

// The header's text. A signed build's header says so (kSignedBuild), so that the build
// fails when its table is empty or lacks a file; the comment names the certificate.
std::string SignaturesHeader(std::span<const FileSignature> signatures, std::string_view comment);

// A C++ string literal of any bytes.
std::string CppLiteral(std::string_view bytes);

}  // namespace rdplaunch
