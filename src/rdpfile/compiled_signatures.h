// The signatures of the connection files compiled into the launcher. The build generates
// one rdpfile/signatures.h into its own folder: an empty table (cmake/unsigned-signatures.h.in),
// or the one made on the build machine with the hosting service's certificate and key
// (see cmake/Signing.cmake).
#pragma once

#include "rdpfile/connection_file.h"
#include "rdpfile/signatures.h"  // kSignedBuild, kFileSignatures

namespace rdplaunch {

constexpr const FileSignature* CompiledSignatureOf(const ConnectionTarget& target) {
  return SignatureOf(kFileSignatures, target);
}

}  // namespace rdplaunch
