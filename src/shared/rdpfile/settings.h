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

enum class SettingGroup { kSigned, kConnection, kSessionBehaviour, kDeviceRedirection, kDisplay };

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
  SettingGroup group;
  OutsideValues outside;
  std::string_view risk;  // what another value outside the signature would do
  constexpr bool Secure() const { return !scopeName.empty(); }
};

namespace settings_table {

using enum SettingGroup;
using Kind = OutsideValues::Kind;

constexpr Setting Secure(std::string_view name, char type, std::string_view scopeName) {
  return {name, type, scopeName, kSigned, {}, {}};
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
    {"username", 's', {}, kConnection, Never(), "carries an account"},
    {"domain", 's', {}, kConnection, Never(), "carries an account"},
    {"password 51", 'b', {}, kConnection, Never(), "carries a password"},
    {"clear password", 's', {}, kConnection, Never(), "carries a password"},
    {"gatewayusername", 's', {}, kConnection, Never(), "carries an account"},
    {"gatewaydomain", 's', {}, kConnection, Never(), "carries an account"},
    {"gatewayaccesstoken", 's', {}, kConnection, Never(), "carries a gateway's access token"},
    {"enablerdsaadauth", 'i', {}, kConnection, Range(0, 0), "changes how the user signs in"},
    {"targetisaadjoined", 'i', {}, kConnection, Range(0, 0), "changes how the server is authenticated"},
    {"gatewaybrokeringtype", 'i', {}, kConnection, Range(0, 0), "hands the connection to a broker"},
    {"prompt for credentials on client", 'i', {}, kConnection, Range(0, 1), kNotAllowed},
    {"administrative session", 'i', {}, kConnection, Range(0, 0), "opens the server's administrative session"},
    {"connect to console", 'i', {}, kConnection, Range(0, 0), "opens the server's administrative session"},
    {"bandwidthautodetect", 'i', {}, kSessionBehaviour, Range(0, 1), kNotAllowed},
    {"compression", 'i', {}, kSessionBehaviour, Range(0, 1), kNotAllowed},
    {"networkautodetect", 'i', {}, kSessionBehaviour, Range(0, 1), kNotAllowed},
    {"videoplaybackmode", 'i', {}, kSessionBehaviour, Range(0, 1), kNotAllowed},
    {"connection type", 'i', {}, kSessionBehaviour, Range(1, 7), kNotAllowed},
    {"enableworkspacereconnect", 'i', {}, kSessionBehaviour, Range(0, 1), kNotAllowed},
    {"bitmapcachepersistenable", 'i', {}, kSessionBehaviour, Range(0, 1), kNotAllowed},
    {"autoreconnect max retries", 'i', {}, kSessionBehaviour, Range(0, 100), kNotAllowed},
    {"audiocapturemode", 'i', {}, kDeviceRedirection, Range(0, 0), "turns the microphone on"},
    {"camerastoredirect", 's', {}, kDeviceRedirection, Empty(), "redirects cameras"},
    {"usbdevicestoredirect", 's', {}, kDeviceRedirection, Empty(), "redirects USB devices"},
    {"redirectlocation", 'i', {}, kDeviceRedirection, Range(0, 0), "shares the location"},
    {"redirectwebauthn", 'i', {}, kDeviceRedirection, Range(0, 0), "redirects security keys"},
    {"encode redirected video capture", 'i', {}, kDeviceRedirection, Range(0, 1), kNotAllowed},
    {"redirected video capture encoding quality", 'i', {}, kDeviceRedirection, Range(0, 2), kNotAllowed},
    {"keyboardhook", 'i', {}, kDeviceRedirection, OneOf({0, 2}), "sends Windows key combinations to the server"},

    // Display settings take any valid value.
    {"desktop size id", 'i', {}, kDisplay, Range(0, 4), kNoDisplayValue},
    {"desktopwidth", 'i', {}, kDisplay, Range(200, 8192), kNoDisplayValue},
    {"desktopheight", 'i', {}, kDisplay, Range(200, 8192), kNoDisplayValue},
    {"desktopscalefactor", 'i', {}, kDisplay, OneOf({100, 125, 150, 175, 200, 250, 300, 400, 500}), kNoDisplayValue},
    {"dynamic resolution", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"maximizetocurrentdisplays", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"screen mode id", 'i', {}, kDisplay, Range(1, 2), kNoDisplayValue},
    {"selectedmonitors", 's', {}, kDisplay, NumberList(), kNoDisplayValue},
    {"singlemoninwindowedmode", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"smart sizing", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"use multimon", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"span monitors", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"session bpp", 'i', {}, kDisplay, OneOf({15, 16, 24, 32}), kNoDisplayValue},
    {"winposstr", 's', {}, kDisplay, NumberList(6), kNoDisplayValue},
    {"allow font smoothing", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"allow desktop composition", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"disable wallpaper", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"disable full window drag", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"disable menu anims", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"disable themes", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"disable cursor setting", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"displayconnectionbar", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
    {"pinconnectionbar", 'i', {}, kDisplay, Range(0, 1), kNoDisplayValue},
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
