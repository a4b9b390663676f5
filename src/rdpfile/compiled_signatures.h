// The signatures of the connection files, made on the build machine when the build was
// given a certificate and its key (see cmake/Signing.cmake), compiled into the launcher.
// Without them the table is empty and every file is written unsigned.
#pragma once

#include <array>

#include "rdpfile/connection_file.h"

#if defined(RDPLAUNCH_SIGNED_FILES)
#include "rdpfile/signatures.h"  // generated: kFileSignatures
#else
namespace rdplaunch {
inline constexpr std::array<FileSignature, 0> kFileSignatures{};
}  // namespace rdplaunch
#endif

namespace rdplaunch {

// A file's lines depend only on alias, host and port, so those choose its signature.
constexpr const FileSignature* CompiledSignatureOf(const ConnectionTarget& target) {
  for (const FileSignature& signature : kFileSignatures) {
    if (signature.alias == target.alias && signature.host == target.host && signature.port == target.port) {
      return &signature;
    }
  }
  return nullptr;
}

}  // namespace rdplaunch
