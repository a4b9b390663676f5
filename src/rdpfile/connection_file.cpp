// The 56 lines of the connection file, and the writer that puts them on the desktop.
// Values are appended unchanged: the client reads the file in the ANSI code page, and
// the user name and password never enter it.
#include "rdpfile/connection_file.h"

#include "failure/failure_reporting.h"
#include "rdpfile/desktop_folder.h"
#include "rdpfile/output_stream.h"

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

std::string ConnectionFileContent(const ConnectionTarget& target) {
  std::string content;
  for (const std::string& line : ConnectionFileLines(target)) {
    content += line;
    content += kLineEnd;
  }
  return content;
}

std::string ConnectionFilePath(std::string_view desktopFolder, std::string_view displayName) {
  std::string path(desktopFolder);
  path += '\\';
  path += displayName;
  path += ".rdp";
  return path;
}

// The stream removes a file it could not write completely before the check raises the
// failure, so the user never finds a half-written file to open later.
void WriteConnectionFile(Platform& platform, const ConnectionTarget& target) {
  const std::string path = ConnectionFilePath(DesktopFolder(platform), target.displayName);
  OutputStream stream(platform);
  stream.Open(path);
  IoCheck();
  for (const std::string& line : ConnectionFileLines(target)) {
    stream.Put(line);
    stream.Put(kLineEnd);
    IoCheck();
  }
  stream.Close();
  IoCheck();
}

}  // namespace rdplaunch
