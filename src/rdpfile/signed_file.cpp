// The parts of a signed connection file that need no cryptography.
#include "rdpfile/signed_file.h"

#include "text/cp1251.h"

namespace rdplaunch {

// The settings the Remote Desktop client trusts only when signed, in the order the
// signature lists them. "prompt for credentials on client:i:" is not
// "prompt for credentials:i:": prefixes are matched whole, colon and type included.
const std::vector<SecureSetting>& SecureSettings() {
  static const std::vector<SecureSetting> settings{
      {"full address:s:", "Full Address"},
      {"alternate full address:s:", "Alternate Full Address"},
      {"pcb:s:", "PCB"},
      {"use redirection server name:i:", "Use Redirection Server Name"},
      {"server port:i:", "Server Port"},
      {"negotiate security layer:i:", "Negotiate Security Layer"},
      {"enablecredsspsupport:i:", "EnableCredSspSupport"},
      {"disableconnectionsharing:i:", "DisableConnectionSharing"},
      {"autoreconnection enabled:i:", "AutoReconnection Enabled"},
      {"gatewayhostname:s:", "GatewayHostname"},
      {"gatewayusagemethod:i:", "GatewayUsageMethod"},
      {"gatewayprofileusagemethod:i:", "GatewayProfileUsageMethod"},
      {"gatewaycredentialssource:i:", "GatewayCredentialsSource"},
      {"support url:s:", "Support URL"},
      {"promptcredentialonce:i:", "PromptCredentialOnce"},
      {"require pre-authentication:i:", "Require pre-authentication"},
      {"pre-authentication server address:s:", "Pre-authentication server address"},
      {"alternate shell:s:", "Alternate Shell"},
      {"shell working directory:s:", "Shell Working Directory"},
      {"remoteapplicationprogram:s:", "RemoteApplicationProgram"},
      {"remoteapplicationexpandworkingdir:s:", "RemoteApplicationExpandWorkingdir"},
      {"remoteapplicationmode:i:", "RemoteApplicationMode"},
      {"remoteapplicationguid:s:", "RemoteApplicationGuid"},
      {"remoteapplicationname:s:", "RemoteApplicationName"},
      {"remoteapplicationicon:s:", "RemoteApplicationIcon"},
      {"remoteapplicationfile:s:", "RemoteApplicationFile"},
      {"remoteapplicationfileextensions:s:", "RemoteApplicationFileExtensions"},
      {"remoteapplicationcmdline:s:", "RemoteApplicationCmdLine"},
      {"remoteapplicationexpandcmdline:s:", "RemoteApplicationExpandCmdLine"},
      {"prompt for credentials:i:", "Prompt For Credentials"},
      {"authentication level:i:", "Authentication Level"},
      {"audiomode:i:", "AudioMode"},
      {"redirectdrives:i:", "RedirectDrives"},
      {"redirectprinters:i:", "RedirectPrinters"},
      {"redirectcomports:i:", "RedirectCOMPorts"},
      {"redirectsmartcards:i:", "RedirectSmartCards"},
      {"redirectposdevices:i:", "RedirectPOSDevices"},
      {"redirectclipboard:i:", "RedirectClipboard"},
      {"devicestoredirect:s:", "DevicesToRedirect"},
      {"drivestoredirect:s:", "DrivesToRedirect"},
      {"loadbalanceinfo:s:", "LoadBalanceInfo"},
      {"redirectdirectx:i:", "RedirectDirectX"},
      {"rdgiskdcproxy:i:", "RDGIsKDCProxy"},
      {"kdcproxyname:s:", "KDCProxyName"},
      {"eventloguploadaddress:s:", "EventLogUploadAddress"},
  };
  return settings;
}

SignedSettings SignedSettingsOf(const std::vector<std::string>& fileLines) {
  SignedSettings signedSettings;
  for (const SecureSetting& setting : SecureSettings()) {
    for (const std::string& line : fileLines) {
      if (!line.starts_with(setting.prefix)) continue;
      if (!signedSettings.scope.empty()) signedSettings.scope += ',';
      signedSettings.scope += setting.scopeName;
      signedSettings.lines.push_back(line);
      break;
    }
  }
  return signedSettings;
}

std::vector<std::string> LinesToSign(const ConnectionTarget& target) {
  const auto fileLines = ConnectionFileLines(target);
  std::vector<std::string> lines(fileLines.begin(), fileLines.end());
  lines.push_back("alternate full address:s:" + std::string(target.host));
  return lines;
}

std::string SignedMessage(const SignedSettings& settings) {
  std::string message;
  for (const std::string& line : settings.lines) message += line + std::string(kLineEnd);
  message += std::string(kSignScopePrefix) + settings.scope + std::string(kLineEnd);
  std::string utf16 = Cp1251ToUtf16Le(message);
  utf16.append(2, '\0');
  return utf16;
}

std::vector<std::string> SignedFileLines(const ConnectionTarget& target, const FileSignature& signature) {
  std::vector<std::string> lines = LinesToSign(target);
  lines.push_back(std::string(kSignScopePrefix) + std::string(signature.scope));
  lines.push_back(std::string(kSignaturePrefix) + std::string(signature.signature));
  return lines;
}

std::string SignedFileContent(const ConnectionTarget& target, const FileSignature& signature) {
  std::string text;
  for (const std::string& line : SignedFileLines(target, signature)) text += line + std::string(kLineEnd);
  return std::string(kUtf16ByteOrderMark) + Cp1251ToUtf16Le(text);
}

}  // namespace rdplaunch
