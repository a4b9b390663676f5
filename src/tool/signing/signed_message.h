// The message a connection file's signature covers: the lines of the settings a client
// insists on having signed, and their scope, as UTF-16LE; and the header of the signature
// block. Made when signing, rebuilt when checking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rdplaunch {

// The lines of a connection file that a signature covers: those of the settings a client
// insists on having signed, in the settings table's order (not the file's), and their
// scope: the names joined by ','.
struct SignedSettings {
  std::vector<std::string> lines;
  std::string scope;
};
SignedSettings SignedSettingsOf(const std::vector<std::string>& fileLines);

// UTF-16LE: each signed line and CR LF, then "signscope:s:" with the scope and CR LF, then
// one NUL character. Signing makes it from code page 1251 lines; checking from the lines
// and the scope as a file holds them, already UTF-16LE, with nothing converted.
std::string SignedMessage(const SignedSettings& settings);
std::string SignedMessageOfUtf16Le(std::span<const std::string> lines, std::string_view scope);

// The signature block's header before the DER: three little-endian 32-bit words, these
// two and the DER's length.
inline constexpr std::uint32_t kSignatureHeaderWords[] = {0x00010001, 0x00000001};
inline constexpr std::size_t kSignatureHeaderSize = 12;

}  // namespace rdplaunch
