// Every documented connection-file setting, once: its name and type, whether a client
// insists on its signature (and the name a signature's scope lists it by), and, for the
// others, what a file may hold outside the signature. The secure list of signing, the
// reader's and the policy's rules, and the check of the launcher's own lines are views of
// this one table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace rdplaunch {

struct NumberRange {
  std::int32_t low;
  std::int32_t high;
};

// What a setting may hold outside the signature.
struct OutsideValues {
  enum class Kind {
    kSignedOnly,  // a client trusts it only when signed
    kNever,       // no value at all: it carries an account, a password or a token
    kNumbers,     // a number in one of the ranges
    kEmpty,       // the empty text only
    kNumberList,  // comma-separated numbers, listLength of them (0: any number of them)
  };
  Kind kind = Kind::kSignedOnly;
  std::array<NumberRange, 9> ranges{};
  std::size_t rangeCount = 0;
  std::size_t listLength = 0;
};

struct Setting {
  std::string_view name;       // as a line gives it, lower case
  char type;                   // 'i', 's' or 'b'
  std::string_view scopeName;  // empty when a client does not insist on its signature
  OutsideValues outside;
  std::string_view risk;  // what another value outside the signature would do
  constexpr bool Secure() const { return !scopeName.empty(); }
};

namespace settings_table {

using Kind = OutsideValues::Kind;

constexpr Setting Secure(std::string_view name, char type, std::string_view scopeName) {
  return {name, type, scopeName, {}, {}};
}
constexpr OutsideValues Never() { return {Kind::kNever, {}, 0, 0}; }
constexpr OutsideValues Empty() { return {Kind::kEmpty, {}, 0, 0}; }
constexpr OutsideValues NumberList(std::size_t length = 0) { return {Kind::kNumberList, {}, 0, length}; }
constexpr OutsideValues Range(std::int32_t low, std::int32_t high) { return {Kind::kNumbers, {{{low, high}}}, 1, 0}; }
constexpr OutsideValues OneOf(std::initializer_list<std::int32_t> numbers) {
  OutsideValues values{Kind::kNumbers, {}, 0, 0};
  for (const std::int32_t number : numbers) values.ranges[values.rangeCount++] = {number, number};
  return values;
}

constexpr std::string_view kNotAllowed = "is not one of those allowed";
constexpr std::string_view kNoDisplayValue = "is no valid display setting";

// The secure settings stand first, in the order a signature's scope lists them.
inline constexpr Setting kSettings[] = {
    Secure("full address", 's', "Full Address"),
    Secure("alternate full address", 's', "Alternate Full Address"),
    Secure("pcb", 's', "PCB"),
    Secure("use redirection server name", 'i', "Use Redirection Server Name"),
    Secure("server port", 'i', "Server Port"),
    Secure("negotiate security layer", 'i', "Negotiate Security Layer"),
    Secure("enablecredsspsupport", 'i', "EnableCredSspSupport"),
    Secure("disableconnectionsharing", 'i', "DisableConnectionSharing"),
    Secure("autoreconnection enabled", 'i', "AutoReconnection Enabled"),
    Secure("gatewayhostname", 's', "GatewayHostname"),
    Secure("gatewayusagemethod", 'i', "GatewayUsageMethod"),
    Secure("gatewayprofileusagemethod", 'i', "GatewayProfileUsageMethod"),
    Secure("gatewaycredentialssource", 'i', "GatewayCredentialsSource"),
    Secure("support url", 's', "Support URL"),
    Secure("promptcredentialonce", 'i', "PromptCredentialOnce"),
    Secure("require pre-authentication", 'i', "Require pre-authentication"),
    Secure("pre-authentication server address", 's', "Pre-authentication server address"),
    Secure("alternate shell", 's', "Alternate Shell"),
    Secure("shell working directory", 's', "Shell Working Directory"),
    Secure("remoteapplicationprogram", 's', "RemoteApplicationProgram"),
    Secure("remoteapplicationexpandworkingdir", 's', "RemoteApplicationExpandWorkingdir"),
    Secure("remoteapplicationmode", 'i', "RemoteApplicationMode"),
    Secure("remoteapplicationguid", 's', "RemoteApplicationGuid"),
    Secure("remoteapplicationname", 's', "RemoteApplicationName"),
    Secure("remoteapplicationicon", 's', "RemoteApplicationIcon"),
    Secure("remoteapplicationfile", 's', "RemoteApplicationFile"),
    Secure("remoteapplicationfileextensions", 's', "RemoteApplicationFileExtensions"),
    Secure("remoteapplicationcmdline", 's', "RemoteApplicationCmdLine"),
    Secure("remoteapplicationexpandcmdline", 's', "RemoteApplicationExpandCmdLine"),
    Secure("prompt for credentials", 'i', "Prompt For Credentials"),
    Secure("authentication level", 'i', "Authentication Level"),
    Secure("audiomode", 'i', "AudioMode"),
    Secure("redirectdrives", 'i', "RedirectDrives"),
    Secure("redirectprinters", 'i', "RedirectPrinters"),
    Secure("redirectcomports", 'i', "RedirectCOMPorts"),
    Secure("redirectsmartcards", 'i', "RedirectSmartCards"),
    Secure("redirectposdevices", 'i', "RedirectPOSDevices"),
    Secure("redirectclipboard", 'i', "RedirectClipboard"),
    Secure("devicestoredirect", 's', "DevicesToRedirect"),
    Secure("drivestoredirect", 's', "DrivesToRedirect"),
    Secure("loadbalanceinfo", 's', "LoadBalanceInfo"),
    Secure("redirectdirectx", 'i', "RedirectDirectX"),
    Secure("rdgiskdcproxy", 'i', "RDGIsKDCProxy"),
    Secure("kdcproxyname", 's', "KDCProxyName"),
    Secure("eventloguploadaddress", 's', "EventLogUploadAddress"),

    // Outside the signature, the connection settings may share nothing and weaken nothing.
    {"username", 's', {}, Never(), "carries an account"},
    {"domain", 's', {}, Never(), "carries an account"},
    {"password 51", 'b', {}, Never(), "carries a password"},
    {"clear password", 's', {}, Never(), "carries a password"},
    {"gatewayusername", 's', {}, Never(), "carries an account"},
    {"gatewaydomain", 's', {}, Never(), "carries an account"},
    {"gatewayaccesstoken", 's', {}, Never(), "carries a gateway's access token"},
    {"enablerdsaadauth", 'i', {}, Range(0, 0), "changes how the user signs in"},
    {"targetisaadjoined", 'i', {}, Range(0, 0), "changes how the server is authenticated"},
    {"gatewaybrokeringtype", 'i', {}, Range(0, 0), "hands the connection to a broker"},
    {"prompt for credentials on client", 'i', {}, Range(0, 1), kNotAllowed},
    {"administrative session", 'i', {}, Range(0, 0), "opens the server's administrative session"},
    {"connect to console", 'i', {}, Range(0, 0), "opens the server's administrative session"},
    {"bandwidthautodetect", 'i', {}, Range(0, 1), kNotAllowed},
    {"compression", 'i', {}, Range(0, 1), kNotAllowed},
    {"networkautodetect", 'i', {}, Range(0, 1), kNotAllowed},
    {"videoplaybackmode", 'i', {}, Range(0, 1), kNotAllowed},
    {"connection type", 'i', {}, Range(1, 7), kNotAllowed},
    {"enableworkspacereconnect", 'i', {}, Range(0, 1), kNotAllowed},
    {"bitmapcachepersistenable", 'i', {}, Range(0, 1), kNotAllowed},
    {"autoreconnect max retries", 'i', {}, Range(0, 100), kNotAllowed},
    {"audiocapturemode", 'i', {}, Range(0, 0), "turns the microphone on"},
    {"camerastoredirect", 's', {}, Empty(), "redirects cameras"},
    {"usbdevicestoredirect", 's', {}, Empty(), "redirects USB devices"},
    {"redirectlocation", 'i', {}, Range(0, 0), "shares the location"},
    {"redirectwebauthn", 'i', {}, Range(0, 0), "redirects security keys"},
    {"encode redirected video capture", 'i', {}, Range(0, 1), kNotAllowed},
    {"redirected video capture encoding quality", 'i', {}, Range(0, 2), kNotAllowed},
    {"keyboardhook", 'i', {}, OneOf({0, 2}), "sends Windows key combinations to the server"},

    // Display settings take any valid value.
    {"desktop size id", 'i', {}, Range(0, 4), kNoDisplayValue},
    {"desktopwidth", 'i', {}, Range(200, 8192), kNoDisplayValue},
    {"desktopheight", 'i', {}, Range(200, 8192), kNoDisplayValue},
    {"desktopscalefactor", 'i', {}, OneOf({100, 125, 150, 175, 200, 250, 300, 400, 500}), kNoDisplayValue},
    {"dynamic resolution", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"maximizetocurrentdisplays", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"screen mode id", 'i', {}, Range(1, 2), kNoDisplayValue},
    {"selectedmonitors", 's', {}, NumberList(), kNoDisplayValue},
    {"singlemoninwindowedmode", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"smart sizing", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"use multimon", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"span monitors", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"session bpp", 'i', {}, OneOf({15, 16, 24, 32}), kNoDisplayValue},
    {"winposstr", 's', {}, NumberList(6), kNoDisplayValue},
    {"allow font smoothing", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"allow desktop composition", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"disable wallpaper", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"disable full window drag", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"disable menu anims", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"disable themes", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"disable cursor setting", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"displayconnectionbar", 'i', {}, Range(0, 1), kNoDisplayValue},
    {"pinconnectionbar", 'i', {}, Range(0, 1), kNoDisplayValue},
};

}  // namespace settings_table

inline constexpr std::span<const Setting> kSettings = settings_table::kSettings;

constexpr const Setting* FindSetting(std::string_view name) {
  for (const Setting& setting : kSettings) {
    if (setting.name == name) return &setting;
  }
  return nullptr;
}

// A line "name:type:value" sets this setting: its name and type, matched whole.
constexpr bool LineSets(std::string_view line, const Setting& setting) {
  return line.size() >= setting.name.size() + 3 && line.starts_with(setting.name) && line[setting.name.size()] == ':' &&
         line[setting.name.size() + 1] == setting.type && line[setting.name.size() + 2] == ':';
}

}  // namespace rdplaunch
