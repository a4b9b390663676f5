// Feeds arbitrary bytes to the strict reader of signed connection files, without any
// cryptography, so that it runs at the reader's own speed: it must never crash, take
// longer than linear time, or hand on a message or signature from a file it refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "signing/signed_file_reader.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const rdplaunch::SignedFileReading reading = rdplaunch::ReadSignedFile(bytes);
  if (!reading.refusal.empty()) {
    Require(reading.message.empty() && reading.der.empty() && reading.uncovered.empty());
    return 0;
  }
  // A message of UTF-16 units ending in the scope line's CR LF and a NUL, and one DER sequence.
  Require(reading.message.size() % 2 == 0 && reading.message.ends_with(std::string("\r\0\n\0\0\0", 6)));
  Require(!reading.der.empty() && static_cast<unsigned char>(reading.der[0]) == 0x30);
  Require(reading.message.size() <= 2 * bytes.size());
  return 0;
}
