// Feeds arbitrary bytes as a connection file to the signed-file check that `verify` runs
// on files from anywhere: unsigned, checked against a trusted certificate (the one in
// RDPLAUNCH_FUZZ_CERT, made by scripts/fuzz.sh with the key of the seed files), and both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "signing/rdp_signing.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string trusted = [] {
    const char* path = std::getenv("RDPLAUNCH_FUZZ_CERT");
    std::ifstream in(path ? path : "", std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const rdplaunch::SignatureCheck unchecked = rdplaunch::CheckSignedFile(bytes, "");
  Require(unchecked.good != !unchecked.reason.empty());
  Require(!unchecked.publisherChecked);
  if (!trusted.empty()) {
    const rdplaunch::SignatureCheck checked = rdplaunch::CheckSignedFile(bytes, trusted);
    // A certificate can only take trust away from a file, never give it.
    Require(!checked.good || unchecked.good);
  }
  return 0;
}
