// The signatures of the connection files compiled into the launcher. The build puts one
// rdpfile/signatures.h on the include path: an empty table (src/rdpfile/unsigned), or the
// one made on the build machine with the hosting service's certificate and key (see
// cmake/Signing.cmake).
#pragma once

#include "rdpfile/connection_file.h"
#include "rdpfile/signatures.h"  // kFileSignatures

namespace rdplaunch {

constexpr const FileSignature* CompiledSignatureOf(const ConnectionTarget& target) {
  return SignatureOf(kFileSignatures, target);
}

}  // namespace rdplaunch
