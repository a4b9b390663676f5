// A signed connection file: the lines the signature covers, the message that is signed,
// and the lines a signed file ends with. No cryptography here: the signature itself is
// made on the build machine (src/signing) and compiled into the launcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

// A setting the client only trusts when the signature covers it: the line's prefix and
// the name the scope lists it by.
struct SecureSetting {
  std::string_view prefix;
  std::string_view scopeName;
};

const std::vector<SecureSetting>& SecureSettings();

// The lines of a connection file that a signature covers, in the order of the secure list
// (not of the file), and their scope: the names joined by ','.
struct SignedSettings {
  std::vector<std::string> lines;
  std::string scope;
};
SignedSettings SignedSettingsOf(const std::vector<std::string>& fileLines);

// The file's lines before its signscope and signature: the usual lines, then an
// alternate address equal to the full address, which the signature covers too, so that
// no added line can send the client elsewhere.
std::vector<std::string> LinesToSign(const ConnectionTarget& target);

// UTF-16LE: each signed line and CR LF, then "signscope:s:" with the scope and CR LF, then
// one NUL character.
std::string SignedMessage(const SignedSettings& settings);

// The whole signed file: the lines to sign, then its signscope and signature lines; and
// the same as the file's bytes (UTF-16LE after the byte order mark, each line ending CR LF).
std::vector<std::string> SignedFileLines(const ConnectionTarget& target, const FileSignature& signature);
std::string SignedFileContent(const ConnectionTarget& target, const FileSignature& signature);

inline constexpr std::string_view kSignScopePrefix = "signscope:s:";
// The signature block's header before the DER: three little-endian 32-bit words, these
// two and the DER's length.
inline constexpr std::uint32_t kSignatureHeaderWords[] = {0x00010001, 0x00000001};
inline constexpr std::size_t kSignatureHeaderSize = 12;
inline constexpr std::string_view kSignaturePrefix = "signature:s:";

}  // namespace rdplaunch
