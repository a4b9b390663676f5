// The Remote Desktop connection file (.rdp) for one remote application: its lines and
// bytes, the same for the launcher that writes it and the tool that shows or signs it.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace rdplaunch {

inline constexpr std::size_t kConnectionFileLineCount = 56;
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";

// What a connection file connects to. It carries no credentials.
struct ConnectionTarget {
  std::string_view displayName;  // also the base name of the .rdp file
  std::string_view alias;        // the remote application's alias on the server
  std::string_view host;
  std::string_view port;  // decimal digits
};

// Code page 1251 bytes where that is the system's code page (the client then reads them
// as they are); elsewhere UTF-16LE after a byte order mark, so that the alias arrives intact.
enum class FileEncoding { kCp1251, kUtf16Le };
FileEncoding ConnectionFileEncoding(unsigned ansiCodePage);

std::array<std::string, kConnectionFileLineCount> ConnectionFileLines(const ConnectionTarget& target);
// A file's bytes: the byte order mark where it is UTF-16LE, then each line with its line end.
std::string FileContent(std::span<const std::string> lines, FileEncoding encoding);
std::string ConnectionFileContent(const ConnectionTarget& target, FileEncoding encoding = FileEncoding::kCp1251);
// A connection file's name for a display name (in the display name's encoding), and its path.
std::string RdpFileName(std::string_view displayName);
std::string ConnectionFilePath(std::string_view desktopFolder, std::string_view displayName);

// The signature made for the file of one alias, host and port on the build machine.
struct FileSignature {
  std::string_view alias;
  std::string_view host;
  std::string_view port;
  std::string_view scope;      // the signscope value
  std::string_view signature;  // the signature value
};

// A file's lines depend only on alias, host and port: targets that share them share the
// lines, and so the signature.
constexpr bool SameLines(const ConnectionTarget& target, std::string_view alias, std::string_view host,
                         std::string_view port) {
  return target.alias == alias && target.host == host && target.port == port;
}

constexpr const FileSignature* SignatureOf(std::span<const FileSignature> signatures, const ConnectionTarget& target) {
  for (const FileSignature& signature : signatures) {
    if (SameLines(target, signature.alias, signature.host, signature.port)) return &signature;
  }
  return nullptr;
}

}  // namespace rdplaunch
