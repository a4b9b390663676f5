// Making and checking launcher names with the launcher's own parser and profile table.
#include "hosting/launch_name_maker.h"

#include <cctype>
#include <cstdio>

#include "name/launch_name.h"
#include "profiles/profiles.h"
#include "text/cp1251.h"

namespace rdplaunch {

namespace {

// Characters Windows refuses in file names: browsers and Windows replace them when the
// file is saved, so the user would get another password than the one issued.
constexpr std::string_view kForbiddenInFileNames = "\\/:*?\"<>|";
bool WindowsForbids(unsigned char byte) {
  return byte < 0x20 || kForbiddenInFileNames.find(static_cast<char>(byte)) != std::string_view::npos;
}

// A character by itself and its code point; never more of the value it stands in, which
// may be a password. Characters one cannot see are named.
std::string Describe(unsigned char byte) {
  const std::string utf8 = Cp1251ToUtf8(std::string(1, static_cast<char>(byte)));
  std::size_t pos = 0;
  char codePoint[16];
  std::snprintf(codePoint, sizeof codePoint, "U+%04X", static_cast<unsigned>(NextUtf8CodePoint(utf8, pos)));
  if (byte < 0x20 || byte == 0x7F) return std::string("the control character ") + codePoint;
  if (byte == 0xA0) return std::string("a no-break space (") + codePoint + ")";
  if (byte == 0xAD) return std::string("a soft hyphen (") + codePoint + ")";
  return "the character '" + utf8 + "' (" + codePoint + ")";
}

// Why a value cannot travel in a file name, or nothing when it can.
std::string RefusalFor(std::string_view what, std::string_view value) {
  if (value.empty()) return std::string(what) + " is empty";
  if (!CanBeField(value)) return std::string(what) + " contains '$', which separates the fields of the name";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (WindowsForbids(byte)) {
      return std::string(what) + " contains " + Describe(byte) + ", which Windows does not allow in file names";
    }
  }
  if (std::string change = BrowserChangeIn(value); !change.empty()) {
    return std::string(what) + " contains " + change + ", which a browser changes when it saves the download";
  }
  return {};
}

// The first character code page 1251 lacks, by its code point alone: the character itself
// may be a combining or an invisible one, which would join or hide in the message.
std::string FirstUnconvertible(std::string_view utf8) {
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    const char32_t codePoint = NextUtf8CodePoint(utf8, pos);
    if (!Cp1251ByteOf(codePoint)) {
      char text[32];
      if (codePoint == kNotACodePoint) {
        std::snprintf(text, sizeof text, "the byte 0x%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(utf8[start])));
        pos = start + 1;
      } else {
        std::snprintf(text, sizeof text, "the character U+%04X", static_cast<unsigned>(codePoint));
      }
      return text;
    }
  }
  return "a character";
}

// The keys of the profile table, for a message that must not repeat the key it was given
// (values given in the wrong order would put a password there).
std::string ProfileKeys() {
  std::string keys;
  for (const ProductProfile& profile : ProfileTable()) keys += (keys.empty() ? "" : ", ") + std::string(profile.key);
  return keys;
}

struct Field {
  const char* what;
  std::string_view utf8;
  std::string bytes;
};

}  // namespace

MadeName MakeLaunchName(std::string_view key, std::string_view userName, std::string_view password) {
  Field fields[] = {{"the key", key, {}}, {"the user name", userName, {}}, {"the password", password, {}}};
  for (Field& field : fields) {
    std::optional<std::string> bytes = Utf8ToCp1251(field.utf8);
    if (!bytes) {
      return {{},
              std::string(field.what) + " contains " + FirstUnconvertible(field.utf8) +
                  ", which has no code page 1251 character"};
    }
    field.bytes = std::move(*bytes);
    if (std::string refusal = RefusalFor(field.what, field.bytes); !refusal.empty()) return {{}, refusal};
  }
  const std::string name = ComposeLaunchName(fields[0].bytes, fields[1].bytes, fields[2].bytes);
  if (name.size() > kMaxLaunchNameLength) {
    return {{},
            "the name would have " + std::to_string(name.size()) + " characters; at most " +
                std::to_string(kMaxLaunchNameLength) + " arrive whole in a download folder"};
  }
  if (const std::size_t bytes = Cp1251ToUtf8(name).size(); bytes > kMaxLaunchNameUtf8Bytes) {
    return {{},
            "the name would take " + std::to_string(bytes) + " bytes in UTF-8; at most " +
                std::to_string(kMaxLaunchNameUtf8Bytes) + " arrive whole where file systems count bytes"};
  }
  const NameCheck check = CheckLaunchName(name);
  if (!check.renameReason.empty()) return {{}, check.renameReason};
  // The launcher's own parser must give back exactly what was put in.
  const LaunchFields& parsed = check.read.fields;
  if (parsed.key != fields[0].bytes || parsed.userName != fields[1].bytes || parsed.password != fields[2].bytes) {
    return {{}, "the name does not parse back to the same values"};
  }
  return {name, {}};
}

// Measured by downloading every code page 1251 character, alone and twice in a row, with
// Chromium and Firefox: Firefox replaces '%' (and decodes "%41" to "A"), turns a no-break
// space into a space and a run of spaces into one; both replace DEL and the soft hyphen,
// and, as Windows cannot hold them, the control characters and those of kForbiddenInFileNames.
std::string BrowserChangeIn(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (WindowsForbids(byte)) return Describe(byte);
    if (byte == '%' || byte == 0x7F || byte == 0xA0 || byte == 0xAD) return Describe(byte);
    if (byte == ' ' && i + 1 < bytes.size() && bytes[i + 1] == ' ') return "two spaces in a row";
  }
  return {};
}

namespace {

bool PlainInQuotes(char32_t codePoint) {
  return codePoint >= 0x20 && codePoint < 0x7F && codePoint != '"' && codePoint != '\\' && codePoint != '%';
}

}  // namespace

// A name of plain ASCII is its own fallback. Any other would reach a client that reads only
// filename= with its characters replaced: another user name or password that still reads
// as a launcher name. So such a fallback is the name before its first '$' (the key), with
// no '$' at all, which the launcher refuses with its "download again" message.
std::string FallbackFileName(std::string_view utf8Name) {
  std::string fallback;
  bool plain = true;
  for (std::size_t pos = 0; pos < utf8Name.size();) {
    const char32_t codePoint = NextUtf8CodePoint(utf8Name, pos);
    plain = plain && PlainInQuotes(codePoint);
    fallback += PlainInQuotes(codePoint) ? static_cast<char>(codePoint) : '_';
  }
  if (plain) return fallback;
  const std::size_t separator = fallback.find('$');
  return separator == std::string::npos ? fallback : fallback.substr(0, separator) + ".exe";
}

// RFC 6266 with RFC 8187: filename holds the fallback above for old clients; filename*
// holds the name exactly, percent-encoded except for the characters RFC 8187 lets stand.
std::string ContentDisposition(std::string_view utf8Name) {
  constexpr std::string_view kAttributeChars = "!#$&+-.^_`|~";
  std::string exact;
  for (const char c : utf8Name) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || kAttributeChars.find(c) != std::string_view::npos) {
      exact += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      exact += escaped;
    }
  }
  return "attachment; filename=\"" + FallbackFileName(utf8Name) + "\"; filename*=UTF-8''" + exact;
}

std::string RefusalText(NameRefusal refusal) {
  switch (refusal) {
    case NameRefusal::kNone:
      return {};
    case NameRefusal::kNoSeparator:
      return "the name has no '$': it is not KEY$USER$PASSWORD$.exe";
    case NameRefusal::kUnknownKey:
      return "the key is not one of " + ProfileKeys();
    case NameRefusal::kNoUserName:
      return "the user name is empty";
    case NameRefusal::kNoThirdSeparator:
      return "the password is empty: the name has no third '$'";
    case NameRefusal::kNoPassword:
      return "the password is empty";
  }
  return "the name is not valid";
}

// Windows drops a final dot or space when it saves a file, so such a name never arrives.
NameCheck CheckLaunchName(std::string_view launchName) {
  NameCheck check{ReadLaunchName(launchName), {}, BrowserChangeIn(launchName)};
  if (check.browserChange.empty() && (launchName.ends_with('.') || launchName.ends_with(' '))) {
    check.browserChange = launchName.ends_with('.') ? "a '.' at its end" : "a space at its end";
  }
  check.renameReason = RefusalText(check.read.refusal);
  return check;
}

}  // namespace rdplaunch
