// The strict reader of signed connection files. A signed file is UTF-16LE after its byte
// order mark, an even number of bytes, lines ending CR LF, and ends with its signature
// line's CR LF. Each line is looked at once, in the code units the file holds, so nothing
// is lost in a conversion and the time is linear.
#include "signing/signed_file_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>

#include "rdpfile/connection_file.h"
#include "rdpfile/settings.h"
#include "rdpfile/signed_file.h"
#include "signing/signed_message.h"
#include "signing/signing_policy.h"

namespace rdplaunch {

namespace {

using Units = std::u16string_view;

// A refusal names this many refused settings at most, and counts the rest.
constexpr std::size_t kRefusalsShown = 20;

// Every character Unicode counts as white space, and the invisible ones a reader could
// take for nothing: all are ignored around a name, as a client may ignore them.
bool IsBlank(char16_t unit) {
  return (unit >= 0x09 && unit <= 0x0D) || unit == 0x20 || unit == 0x85 || unit == 0xA0 || unit == 0x1680 ||
         (unit >= 0x2000 && unit <= 0x200B) || unit == 0x2028 || unit == 0x2029 || unit == 0x202F || unit == 0x205F ||
         unit == 0x3000 || unit == 0xFEFF;
}

Units Trimmed(Units text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A name as a client matches it: trimmed, any case. Names are ASCII; one that is not
// could match a setting under some case rule, so it has no name here (nullopt).
std::optional<std::string> NameOf(Units text) {
  std::string name;
  for (const char16_t unit : Trimmed(text)) {
    if (unit >= 0x80) return std::nullopt;
    const char c = static_cast<char>(unit);
    name += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return name;
}

std::string Utf16Le(Units units) {
  std::string bytes;
  bytes.reserve(2 * units.size());
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::u16string Units16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The secure settings by the name a line gives them, and by the name the scope gives them.
struct SecureIndex {
  std::unordered_map<std::string, std::size_t> byLineName;
  std::unordered_map<std::string, std::size_t> byScopeName;
};

// Indexes into the settings table.
const SecureIndex& Index() {
  static const SecureIndex index = [] {
    SecureIndex built;
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
      if (!kSettings[i].Secure()) continue;
      built.byLineName.emplace(kSettings[i].name, i);
      built.byScopeName.emplace(*NameOf(Units16(kSettings[i].scopeName)), i);
    }
    return built;
  }();
  return index;
}

// Code units as UTF-8, for the policy's rules; a value outside ASCII matches none of them,
// so each such unit stands as one byte that no rule allows.
std::string Narrow(Units units) {
  std::string text;
  for (const char16_t unit : units) text += unit < 0x80 ? static_cast<char>(unit) : '\x80';
  return text;
}

std::optional<std::uint8_t> Base64Digit(char16_t unit) {
  if (unit >= 'A' && unit <= 'Z') return unit - 'A';
  if (unit >= 'a' && unit <= 'z') return unit - 'a' + 26;
  if (unit >= '0' && unit <= '9') return unit - '0' + 52;
  if (unit == '+') return 62;
  if (unit == '/') return 63;
  return std::nullopt;
}

// Standard base64 with its padding, nothing else (no line breaks, no blanks).
std::optional<std::string> FromBase64(Units text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const std::optional<std::uint8_t> digit =
          j >= 4 - padding ? std::optional<std::uint8_t>(0) : Base64Digit(text[i + j]);
      if (!digit) return std::nullopt;
      group = group << 6 | *digit;
    }
    for (std::size_t j = 0; j < 3 - padding; ++j) bytes += static_cast<char>(group >> (16 - 8 * j) & 0xFF);
  }
  return bytes;
}

std::uint32_t WordAt(std::string_view bytes, std::size_t offset) {
  std::uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return word;
}

// The signature block's DER, or why the block is not one: the header's words and length,
// and a DER structure that fills the rest exactly.
std::string DerOf(Units value, std::string& der) {
  const std::optional<std::string> block = FromBase64(value);
  if (!block) return "the signature value is not base64";
  if (block->size() < kSignatureHeaderSize || WordAt(*block, 0) != kSignatureHeaderWords[0] ||
      WordAt(*block, 4) != kSignatureHeaderWords[1]) {
    return "the signature block has no valid header";
  }
  if (WordAt(*block, 8) != block->size() - kSignatureHeaderSize) return "the signature block's length is not its size";
  der = block->substr(kSignatureHeaderSize);
  // One SEQUENCE, its length in the short or the long form, and nothing after it.
  if (der.size() < 2 || static_cast<unsigned char>(der[0]) != 0x30) return "the signature is not a DER sequence";
  std::size_t length = static_cast<unsigned char>(der[1]);
  std::size_t header = 2;
  if (length >= 0x80) {
    const std::size_t digits = length & 0x7F;
    if (digits == 0 || digits > 4 || der.size() < 2 + digits) return "the signature's DER length is malformed";
    length = 0;
    for (std::size_t i = 0; i < digits; ++i) length = length << 8 | static_cast<unsigned char>(der[2 + i]);
    header += digits;
  }
  if (header + length < der.size()) return "bytes stand after the signature's DER";
  if (header + length > der.size()) return "the signature's DER is cut short";
  return {};
}

SignedFileReading Refused(std::string reason) { return {std::move(reason), {}, {}, {}}; }

// The file's code units after its byte order mark, or why it is no UTF-16LE file.
std::string DecodeUnits(std::string_view fileBytes, std::u16string& text) {
  if (fileBytes.size() > kMaxSignedFileSize) {
    return "the file is larger than " + std::to_string(kMaxSignedFileSize) + " bytes";
  }
  if (!fileBytes.starts_with(kUtf16ByteOrderMark)) {
    // A file that nowhere names a signature, in one byte or two a character, is one of the
    // launcher's unsigned files, and is said to be no more than that.
    const auto names = [&](std::string_view name) {
      return std::search(fileBytes.begin(), fileBytes.end(), name.begin(), name.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
             }) != fileBytes.end();
    };
    std::string wide;
    for (const char c : kSignatureName) wide.append({c, '\0'});
    return names(kSignatureName) || names(wide) ? "the file is not UTF-16LE with a byte order mark"
                                                : "the file is not signed";
  }
  if (fileBytes.size() % 2 != 0) return "the file has an odd number of bytes: it is not UTF-16";
  text.reserve(fileBytes.size() / 2);
  for (std::size_t i = 2; i < fileBytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(fileBytes[i]) |
                                  static_cast<unsigned char>(fileBytes[i + 1]) << 8);
  }
  return {};
}

// A line holds characters only: no CR, LF or NUL of its own, no lone surrogate.
std::string UnitsProblem(Units line, const std::string& where) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char16_t unit = line[i];
    if (unit == u'\r' || unit == u'\n' || unit == 0) return where + " holds a CR, LF or NUL of its own";
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    const bool low = unit >= 0xDC00 && unit < 0xE000;
    if (low || (high && (i + 1 >= line.size() || line[i + 1] < 0xDC00 || line[i + 1] >= 0xE000))) {
      return where + " holds a code unit that is no character";
    }
    if (high) ++i;
  }
  return {};
}

// What the lines of a file say, each looked at once.
struct ScannedLines {
  std::vector<std::optional<Units>> secure = std::vector<std::optional<Units>>(kSettings.size());
  std::optional<Units> scope;
  std::optional<Units> signature;
  std::set<std::string> uncovered;
  std::set<std::string> refusedNames;  // the settings outside the signature that the policy refuses
  std::string refusedSettings;         // the first kRefusalsShown of them, each with why
};

// Sorts one line: the signscope, the signature, a secure setting, or one outside the
// signature, which the policy judges. Returns why the file is refused, or nothing.
std::string ScanLine(Units line, const std::string& where, ScannedLines& scanned) {
  if (scanned.signature) return where + " stands after the signature";
  const std::size_t nameEnd = line.find(u':');
  if (nameEnd == Units::npos) return {};  // no setting: a client skips it
  const std::optional<std::string> name = NameOf(line.substr(0, nameEnd));
  if (!name) return where + " names its setting with characters outside ASCII";
  const std::size_t typeEnd = line.find(u':', nameEnd + 1);
  const Units value = typeEnd == Units::npos ? Units() : line.substr(typeEnd + 1);
  if (*name == kSignScopeName) {
    if (scanned.scope) return where + " is a second signscope";
    scanned.scope = value;
  } else if (*name == kSignatureName) {
    scanned.signature = value;
  } else if (const auto secure = Index().byLineName.find(*name); secure != Index().byLineName.end()) {
    if (scanned.secure[secure->second]) {
      return "the file sets " + QuotedName(kSettings[secure->second].scopeName) + " twice";
    }
    scanned.secure[secure->second] = line;
  } else {
    const Units type =
        typeEnd == Units::npos ? line.substr(nameEnd + 1) : line.substr(nameEnd + 1, typeEnd - nameEnd - 1);
    scanned.uncovered.insert(*name);
    std::string problem = UnsignedSettingProblem(*name, Narrow(type), Narrow(value));
    if (!problem.empty() && scanned.refusedNames.insert(*name).second &&
        scanned.refusedNames.size() <= kRefusalsShown) {
      scanned.refusedSettings += (scanned.refusedSettings.empty() ? "" : "; ") + problem;
    }
  }
  return {};
}

// Every line, each ending CR LF. Returns why the file is refused, or nothing.
std::string ScanLines(Units all, ScannedLines& scanned) {
  std::size_t number = 0;
  for (std::size_t start = 0; start < all.size();) {
    const std::string where = "line " + std::to_string(++number);
    const std::size_t end = all.find(u"\r\n", start);
    if (end == Units::npos) return where + " does not end with CR LF";
    const Units line = all.substr(start, end - start);
    start = end + 2;
    std::string problem = UnitsProblem(line, where);
    if (problem.empty()) problem = ScanLine(line, where, scanned);
    if (!problem.empty()) return problem;
  }
  if (!scanned.scope || !scanned.signature) return "the file is not signed: it has no signscope or no signature line";
  return {};
}

// The message holds the lines the scope names, in the scope's order, then the scope; every
// secure setting the file sets must be among them. Returns why not, or nothing.
std::string ScopedMessage(const ScannedLines& scanned, std::string& message) {
  const Units scope = *scanned.scope;
  std::vector<bool> scoped(scanned.secure.size());
  std::vector<std::string> signedLines;
  for (std::size_t start = 0;;) {
    const std::size_t comma = scope.find(u',', start);
    const std::size_t end = comma == Units::npos ? scope.size() : comma;
    const std::optional<std::string> name = NameOf(scope.substr(start, end - start));
    const auto secure = name ? Index().byScopeName.find(*name) : Index().byScopeName.end();
    const std::string shown = QuotedName(name.value_or("(a name outside ASCII)"));
    if (secure == Index().byScopeName.end()) return "the scope names " + shown + ", which is no secure setting";
    if (scoped[secure->second]) return "the scope names " + shown + " twice";
    scoped[secure->second] = true;
    if (!scanned.secure[secure->second]) return "the scope names " + shown + ", which the file does not set";
    signedLines.push_back(Utf16Le(*scanned.secure[secure->second]));
    if (comma == Units::npos) break;
    start = comma + 1;
  }
  for (std::size_t i = 0; i < scanned.secure.size(); ++i) {
    if (scanned.secure[i] && !scoped[i]) {
      return QuotedName(kSettings[i].scopeName) + " is a secure setting outside the signature's scope";
    }
  }
  message = SignedMessageOfUtf16Le(signedLines, Utf16Le(scope));
  return {};
}

}  // namespace

SignedFileReading ReadSignedFile(std::string_view fileBytes) {
  std::u16string text;
  if (std::string problem = DecodeUnits(fileBytes, text); !problem.empty()) return Refused(problem);
  ScannedLines scanned;
  if (std::string problem = ScanLines(text, scanned); !problem.empty()) return Refused(problem);
  SignedFileReading reading;
  if (std::string problem = ScopedMessage(scanned, reading.message); !problem.empty()) return Refused(problem);
  if (scanned.refusedNames.size() > kRefusalsShown) {
    scanned.refusedSettings += "; and " + std::to_string(scanned.refusedNames.size() - kRefusalsShown) + " more";
  }
  if (!scanned.refusedSettings.empty()) return Refused(scanned.refusedSettings);
  if (std::string error = DerOf(*scanned.signature, reading.der); !error.empty()) return Refused(error);
  reading.uncovered.assign(scanned.uncovered.begin(), scanned.uncovered.end());
  return reading;
}

}  // namespace rdplaunch
