// The signatures header of a build without a signing certificate: no signatures, so
// every connection file is written unsigned. A signed build puts the header it makes
// with the hosting service's certificate on the include path instead.
#pragma once

#include <array>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

inline constexpr std::array<FileSignature, 0> kFileSignatures{};

}  // namespace rdplaunch
