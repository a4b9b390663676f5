// A signed connection file's lines: the usual ones, the alternate address, then the
// signscope and signature lines. No cryptography here: the signature itself is made on the
// build machine by the hosting tool (which also makes the message it covers) and compiled
// into the launcher.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rdpfile/connection_file.h"

namespace rdplaunch {

// The file's lines before its signscope and signature: the usual lines, then an
// alternate address equal to the full address, which the signature covers too, so that
// no added line can send the client elsewhere.
std::vector<std::string> LinesToSign(const ConnectionTarget& target);

// The whole signed file: the lines to sign, then its signscope and signature lines; and
// the same as the file's bytes (UTF-16LE after the byte order mark, each line ending CR LF).
std::vector<std::string> SignedFileLines(const ConnectionTarget& target, const FileSignature& signature);
std::string SignedFileContent(const ConnectionTarget& target, const FileSignature& signature);

// The signscope and signature lines start with these; their names are what comes before the
// first ':'.
inline constexpr std::string_view kSignScopePrefix = "signscope:s:";
inline constexpr std::string_view kSignaturePrefix = "signature:s:";
inline constexpr std::string_view kSignScopeName = kSignScopePrefix.substr(0, kSignScopePrefix.find(':'));
inline constexpr std::string_view kSignatureName = kSignaturePrefix.substr(0, kSignaturePrefix.find(':'));

}  // namespace rdplaunch
