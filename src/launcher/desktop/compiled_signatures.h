// The signatures of the connection files compiled into the launcher. The build names the
// one header that holds them (RDPLAUNCH_SIGNATURES_HEADER, a full path, so no include path
// is searched for it) and says whether it signs (RDPLAUNCH_SIGNED_BUILD): the empty table
// of desktop/unsigned_signatures.h, or the one cmake/Signing.cmake has the hosting tool make
// with the service's certificate and key. The two must agree.
#pragma once

#include "rdpfile/connection_file.h"

#if !defined(RDPLAUNCH_SIGNATURES_HEADER) || !defined(RDPLAUNCH_SIGNED_BUILD)
#error "the build names the signatures header and says whether it signs"
#endif
#include RDPLAUNCH_SIGNATURES_HEADER  // kSignedBuild, kFileSignatures

namespace rdplaunch {

static_assert(kSignedBuild == (RDPLAUNCH_SIGNED_BUILD != 0),
              "the signatures header does not match the build: a signed build needs signatures, an unsigned one none");

constexpr const FileSignature* CompiledSignatureOf(const ConnectionTarget& target) {
  return SignatureOf(kFileSignatures, target);
}

}  // namespace rdplaunch
