// The 56 lines of the connection file and their bytes. Values are appended unchanged, and
// the user name and password never enter it. The client reads a file without byte order mark in the system's ANSI code
// page, so only a code page 1251 system gets the bytes as they are; every other gets UTF-16LE.
#include "rdpfile/connection_file.h"

#include <iterator>

#include "rdpfile/settings.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

// What a line ends with after its fixed text.
enum class LineField { kNone, kPort, kHost, kAlias };
struct LineTemplate {
  std::string_view text;
  LineField field = LineField::kNone;
};

constexpr LineTemplate kLineTemplates[] = {
    {"redirectclipboard:i:1"},
    {"redirectposdevices:i:0"},
    {"redirectprinters:i:1"},
    {"redirectcomports:i:0"},
    {"redirectsmartcards:i:0"},
    {"devicestoredirect:s:*"},
    {"drivestoredirect:s:*"},
    {"redirectdrives:i:1"},
    {"session bpp:i:24"},
    {"prompt for credentials on client:i:1"},
    {"span monitors:i:1"},
    {"use multimon:i:1"},
    {"remoteapplicationmode:i:1"},
    {"server port:i:", LineField::kPort},
    {"allow font smoothing:i:1"},
    {"promptcredentialonce:i:1"},
    {"authentication level:i:0"},
    {"gatewayusagemethod:i:2"},
    {"gatewayprofileusagemethod:i:0"},
    {"gatewaycredentialssource:i:0"},
    {"full address:s:", LineField::kHost},
    {"alternate shell:s:||", LineField::kAlias},
    {"remoteapplicationprogram:s:||", LineField::kAlias},
    {"gatewayhostname:s:"},
    {"remoteapplicationname:s:", LineField::kAlias},
    {"remoteapplicationcmdline:s:"},
    {"screen mode id:i:2"},
    {"winposstr:s:0,3,0,0,800,600"},
    {"compression:i:1"},
    {"keyboardhook:i:2"},
    {"audiocapturemode:i:0"},
    {"videoplaybackmode:i:1"},
    {"connection type:i:7"},
    {"networkautodetect:i:1"},
    {"bandwidthautodetect:i:1"},
    {"displayconnectionbar:i:1"},
    {"enableworkspacereconnect:i:0"},
    {"disable wallpaper:i:0"},
    {"allow desktop composition:i:0"},
    {"disable full window drag:i:1"},
    {"disable menu anims:i:1"},
    {"disable themes:i:0"},
    {"disable cursor setting:i:0"},
    {"bitmapcachepersistenable:i:1"},
    {"audiomode:i:0"},
    {"autoreconnection enabled:i:1"},
    {"prompt for credentials:i:0"},
    {"negotiate security layer:i:1"},
    {"remoteapplicationicon:s:"},
    {"shell working directory:s:"},
    {"gatewaybrokeringtype:i:0"},
    {"use redirection server name:i:0"},
    {"rdgiskdcproxy:i:0"},
    {"kdcproxyname:s:"},
    {"desktopwidth:i:800"},
    {"desktopheight:i:600"},
};
static_assert(std::size(kLineTemplates) == kConnectionFileLineCount);

// Every line names a setting of the table, with its type: a line a client would not know,
// or would read as another type, does not compile.
constexpr bool EveryLineNamesASetting() {
  for (const LineTemplate& line : kLineTemplates) {
    bool named = false;
    for (const Setting& setting : kSettings) named = named || LineSets(line.text, setting);
    if (!named) return false;
  }
  return true;
}
static_assert(EveryLineNamesASetting(), "a connection file line names no setting of rdpfile/settings.h");

}  // namespace

std::array<std::string, kConnectionFileLineCount> ConnectionFileLines(const ConnectionTarget& target) {
  std::array<std::string, kConnectionFileLineCount> lines;
  for (std::size_t i = 0; i < kConnectionFileLineCount; ++i) {
    const LineTemplate& line = kLineTemplates[i];
    lines[i] = line.text;
    switch (line.field) {
      case LineField::kPort:
        lines[i] += target.port;
        break;
      case LineField::kHost:
        lines[i] += target.host;
        break;
      case LineField::kAlias:
        lines[i] += target.alias;
        break;
      case LineField::kNone:
        break;
    }
  }
  return lines;
}

FileEncoding ConnectionFileEncoding(unsigned ansiCodePage) {
  constexpr unsigned kCp1251CodePage = 1251;
  return ansiCodePage == kCp1251CodePage ? FileEncoding::kCp1251 : FileEncoding::kUtf16Le;
}

std::string FileContent(std::span<const std::string> lines, FileEncoding encoding) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append(kLineEnd);
  if (encoding == FileEncoding::kCp1251) return text;
  return std::string(kUtf16ByteOrderMark) + Cp1251ToUtf16Le(text);
}

std::string ConnectionFileContent(const ConnectionTarget& target, FileEncoding encoding) {
  return FileContent(ConnectionFileLines(target), encoding);
}

std::string RdpFileName(std::string_view displayName) { return std::string(displayName) + ".rdp"; }

std::string ConnectionFilePath(std::string_view desktopFolder, std::string_view displayName) {
  return std::string(desktopFolder) + '\\' + RdpFileName(displayName);
}

}  // namespace rdplaunch
