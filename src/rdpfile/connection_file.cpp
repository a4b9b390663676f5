// The 56 lines of the connection file, and the writer that puts them on the desktop.
// Values are appended unchanged, and the user name and password never enter it. The
// client reads a file without byte order mark in the system's ANSI code page, so only a
// code page 1251 system gets the bytes as they are; every other gets UTF-16LE.
#include "rdpfile/connection_file.h"

#include "failure/failure_reporting.h"
#include "rdpfile/desktop_folder.h"
#include "rdpfile/output_stream.h"
#include "rdpfile/signed_file.h"
#include "text/cp1251.h"

namespace rdplaunch {

std::array<std::string, kConnectionFileLineCount> ConnectionFileLines(const ConnectionTarget& target) {
  const std::string port(target.port);
  const std::string host(target.host);
  const std::string alias(target.alias);
  return {
      "redirectclipboard:i:1",
      "redirectposdevices:i:0",
      "redirectprinters:i:1",
      "redirectcomports:i:0",
      "redirectsmartcards:i:0",
      "devicestoredirect:s:*",
      "drivestoredirect:s:*",
      "redirectdrives:i:1",
      "session bpp:i:24",
      "prompt for credentials on client:i:1",
      "span monitors:i:1",
      "use multimon:i:1",
      "remoteapplicationmode:i:1",
      "server port:i:" + port,
      "allow font smoothing:i:1",
      "promptcredentialonce:i:1",
      "authentication level:i:0",
      "gatewayusagemethod:i:2",
      "gatewayprofileusagemethod:i:0",
      "gatewaycredentialssource:i:0",
      "full address:s:" + host,
      "alternate shell:s:||" + alias,
      "remoteapplicationprogram:s:||" + alias,
      "gatewayhostname:s:",
      "remoteapplicationname:s:" + alias,
      "remoteapplicationcmdline:s:",
      "screen mode id:i:2",
      "winposstr:s:0,3,0,0,800,600",
      "compression:i:1",
      "keyboardhook:i:2",
      "audiocapturemode:i:0",
      "videoplaybackmode:i:1",
      "connection type:i:7",
      "networkautodetect:i:1",
      "bandwidthautodetect:i:1",
      "displayconnectionbar:i:1",
      "enableworkspacereconnect:i:0",
      "disable wallpaper:i:0",
      "allow desktop composition:i:0",
      "disable full window drag:i:1",
      "disable menu anims:i:1",
      "disable themes:i:0",
      "disable cursor setting:i:0",
      "bitmapcachepersistenable:i:1",
      "audiomode:i:0",
      "autoreconnection enabled:i:1",
      "prompt for credentials:i:0",
      "negotiate security layer:i:1",
      "remoteapplicationicon:s:",
      "shell working directory:s:",
      "gatewaybrokeringtype:i:0",
      "use redirection server name:i:0",
      "rdgiskdcproxy:i:0",
      "kdcproxyname:s:",
      "desktopwidth:i:800",
      "desktopheight:i:600",
  };
}

FileEncoding ConnectionFileEncoding(unsigned ansiCodePage) {
  constexpr unsigned kCp1251CodePage = 1251;
  return ansiCodePage == kCp1251CodePage ? FileEncoding::kCp1251 : FileEncoding::kUtf16Le;
}

namespace {

// One line with its line end, as the file holds it.
std::string EncodedLine(const std::string& line, FileEncoding encoding) {
  std::string text = line + std::string(kLineEnd);
  return encoding == FileEncoding::kCp1251 ? text : Cp1251ToUtf16Le(text);
}

}  // namespace

std::string ConnectionFileContent(const ConnectionTarget& target, FileEncoding encoding) {
  std::string content(encoding == FileEncoding::kUtf16Le ? kUtf16ByteOrderMark : "");
  for (const std::string& line : ConnectionFileLines(target)) content += EncodedLine(line, encoding);
  return content;
}

std::string ConnectionFilePath(std::string_view desktopFolder, std::string_view displayName) {
  std::string path(desktopFolder);
  path += '\\';
  path += displayName;
  path += ".rdp";
  return path;
}

// A launcher built with signatures writes only signed files, UTF-16LE whatever the
// system's code page, as Windows' own signing tool writes them; it never falls back to an
// unsigned file (the build stops when a file it can write has no signature, see
// src/launch/profiles.cpp).
void WriteConnectionFile(Platform& platform, const ConnectionTarget& target,
                         std::span<const FileSignature> signatures) {
  if (signatures.empty()) {
    const auto lines = ConnectionFileLines(target);
    return WriteFileLines(platform, target.displayName, lines, ConnectionFileEncoding(platform.AnsiCodePage()));
  }
  const FileSignature* signature = SignatureOf(signatures, target);
  if (signature == nullptr) throw Exception("the connection file has no signature");
  WriteFileLines(platform, target.displayName, SignedFileLines(target, *signature), FileEncoding::kUtf16Le);
}

// The stream removes a file it could not write completely before the check raises the
// failure, so the user never finds a half-written file to open later.
void WriteFileLines(Platform& platform, std::string_view displayName, std::span<const std::string> lines,
                    FileEncoding encoding) {
  const std::string path = ConnectionFilePath(DesktopFolder(platform), displayName);
  OutputStream stream(platform);
  stream.Open(path);
  IoCheck();
  if (encoding == FileEncoding::kUtf16Le) stream.Put(kUtf16ByteOrderMark);
  for (const std::string& line : lines) {
    stream.Put(EncodedLine(line, encoding));
    IoCheck();
  }
  stream.Close();
  IoCheck();
}

}  // namespace rdplaunch
