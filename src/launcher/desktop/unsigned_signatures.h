// The signatures of a build without a signing certificate: none, so every connection file
// is written unsigned. A signed build compiles in the header the hosting tool makes instead.
#pragma once

#include <array>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

inline constexpr bool kSignedBuild = false;
inline constexpr std::array<FileSignature, 0> kFileSignatures{};

}  // namespace rdplaunch
