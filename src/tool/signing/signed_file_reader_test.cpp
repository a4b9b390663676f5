#include "signing/signed_file_reader.h"

#include <gtest/gtest.h>

#include <chrono>

#include "fakes/connection_file_text.h"
#include "fakes/expected_files.h"
#include "rdpfile/signed_file.h"
#include "signing/signed_message.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kTarget{"Plan", "PlnDsk", "rds-a.example.com", "3397"};
// A syntactically valid signature block: the header and an empty DER sequence.
constexpr std::string_view kBlock = "AQABAAEAAAACAAAAMAA=";

using testing::Utf16;

// A signed file of the launcher's with the given block, its signature line replaced by
// `signature` when one is given, and `lines` put in before its signscope line.
std::string FileWith(std::string_view lines, std::string_view block = kBlock) {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(kTarget));
  return testing::InsertedBeforeScope(
      SignedFileContent(kTarget, {kTarget.alias, kTarget.host, kTarget.port, settings.scope, block}), lines);
}

// Every refusal for its own reason, no check standing in for another.
TEST(ReadSignedFile, RefusesWhatAClientCouldReadOtherwiseWithItsReason) {
  const std::string file = FileWith("");
  const std::size_t scopeAt = file.find(Utf16("signscope:s:"));
  const std::size_t signatureAt = file.find(Utf16("signature:s:"));
  const std::string unsignedPart = file.substr(0, scopeAt);
  const std::string scopeLine = file.substr(scopeAt, signatureAt - scopeAt);
  const std::string signature = file.substr(signatureAt);
  // U+0130, which must not read as any digit a rule allows.
  std::string outsideAscii = FileWith("redirectlocation:i:Q\r\n");
  outsideAscii.replace(outsideAscii.find(Utf16("Q")), 2, "\x30\x01");
  // UTF-16 code units put in as a line of their own: U+1F600 is D83D DE00.
  const auto units = [&](std::string_view bytes) {
    return unsignedPart + std::string(bytes) + Utf16("\r\n") + scopeLine + signature;
  };
  std::string twentyOne;
  for (int i = 1; i <= 21; ++i) twentyOne += (i < 10 ? "x0" : "x") + std::to_string(i) + ":i:1\r\n";
  const struct {
    const char* what;
    std::string bytes;
    const char* reason;  // empty: it reads
  } cases[] = {
      {"another case", FileWith("Full Address:s:attacker.example\r\n"), "sets 'Full Address' twice"},
      {"a leading blank", FileWith(" full address:s:attacker.example\r\n"), "sets 'Full Address' twice"},
      {"a tab around the name", FileWith("\tfull address\t:s:evil.example\r\n"), "sets 'Full Address' twice"},
      {"a form feed", FileWith("\ffull address:s:evil.example\r\n"), "sets 'Full Address' twice"},
      {"a vertical tab", FileWith("\vfull address:s:evil.example\r\n"), "sets 'Full Address' twice"},
      {"a forged duplicate first", "\xFF\xFE" + Utf16("full address:s:evil.example\r\n") + file.substr(2),
       "sets 'Full Address' twice"},
      {"redirectdrives in another case", FileWith("RedirectDrives:i:1\r\n"), "sets 'RedirectDrives' twice"},
      {"a secure RemoteApp setting unsigned", FileWith("remoteapplicationfile:s:x\r\n"),
       "outside the signature's scope"},
      {"a bare line feed", FileWith("a:s:x\nfull address:s:attacker.example\r\n"), "CR, LF or NUL of its own"},
      {"a bare carriage return", FileWith("a:s:x\rb:s:y\r\n"), "CR, LF or NUL of its own"},
      {"a NUL", FileWith(std::string("a:s:x\0y\r\n", 9)), "CR, LF or NUL of its own"},
      {"a second signscope", FileWith("signscope:s:Full Address\r\n"), "a second signscope"},
      {"a second signature", unsignedPart + signature + scopeLine + signature, "stands after the signature"},
      {"a line after the signature", file + Utf16("a:s:x\r\n"), "stands after the signature"},
      {"an unknown scope name", unsignedPart + Utf16("signscope:s:Full Address,Colour\r\n") + signature,
       "which is no secure setting"},
      {"no signature", unsignedPart + scopeLine, "has no signscope or no signature"},
      {"a block that is too short", FileWith("", "AAAA"), "no valid header"},
      {"a header's second word", FileWith("", "AQABAAIAAAACAAAAMAA="), "no valid header"},
      {"a header's length short", FileWith("", "AQABAAEAAAABAAAAMAA="), "length is not its size"},
      {"a byte after the DER", FileWith("", "AQABAAEAAAADAAAAMAAA"), "bytes stand after the signature's DER"},
      {"a DER cut short", FileWith("", "AQABAAEAAAACAAAAMAU="), "the signature's DER is cut short"},
      {"a byte after the last line", file + "A", "odd number of bytes"},
      {"a surrogate pair", units(std::string("\x3D\xD8\x00\xDE", 4)), ""},
      {"the first and the last surrogate pair", units(std::string("\x00\xD8\x00\xDC\xFF\xDB\xFF\xDF", 8)), ""},
      {"a lone low surrogate, the first", units(std::string("\x00\xDC", 2)), "holds a code unit that is no character"},
      {"a lone high surrogate", units(std::string("x\0\x3D\xD8", 4)), "holds a code unit that is no character"},
      {"a high surrogate before another unit", units(std::string("\x3D\xD8x\0", 4)), "no character"},
      {"a NUL character after the last line", file + std::string(2, '\0'), "does not end with CR LF"},
      {"no byte order mark", file.substr(2), "not UTF-16LE with a byte order mark"},
      {"a signature in one byte a character", "full address:s:x\r\nSignature:s:AQAB\r\n", "not UTF-16LE"},
      {"an unsigned file", "full address:s:x\r\n", "the file is not signed"},
      // What the signature leaves out is the policy's to judge (signing_policy_test.cpp), by the
      // name as a client reads it and the type and value as the line gives them.
      {"a domain", FileWith(" Domain :s:x\r\n"), "'domain' is not covered by the signature and carries an account"},
      {"another type", FileWith("redirectwebauthn:s:0\r\n"), "is not of type i"},
      {"a value", FileWith("audiocapturemode:i:1\r\n"), "its value turns the microphone on"},
      {"an unknown setting", FileWith("colour:i:1\r\n"), "'colour' is no setting this check knows"},
      {"two refused at once", FileWith("audiocapturemode:i:1\r\nusername:s:x\r\n"), "microphone on; 'username'"},
      {"a valid display setting", FileWith("Smart Sizing:i:1\r\nselectedmonitors:s:0,1\r\n"), ""},
      {"the safe values", FileWith("gatewaybrokeringtype:i:0\r\naudiocapturemode:i:0\r\nkeyboardhook:i:0\r\n"), ""},
      {"a value outside ASCII", outsideAscii, "its value shares the location"},
      {"twenty refused are named", FileWith(twentyOne), "'x20' is no setting"},
      {"the rest are counted", FileWith(twentyOne),
       "'x19' is no setting this check knows, and the signature does "
       "not cover it; 'x20' is no setting this check knows, and the "
       "signature does not cover it; and 1 more"},
  };
  for (const auto& c : cases) {
    const std::string refusal = ReadSignedFile(c.bytes).refusal;
    if (*c.reason == '\0') {
      EXPECT_EQ(refusal, "") << c.what;
    } else {
      EXPECT_NE(refusal.find(c.reason), std::string::npos) << c.what << ": " << refusal;
    }
  }
  const std::string twenty = twentyOne.substr(0, twentyOne.find("x21"));
  EXPECT_TRUE(ReadSignedFile(FileWith(twenty))
                  .refusal.ends_with("'x20' is no setting this check knows, and the "
                                     "signature does not cover it"))
      << "twenty refused are all named, and none counted";
}

// Every setting a client only trusts when it is signed (written out by hand in
// tests/expected), set outside the scope, is refused, whatever its type.
TEST(ReadSignedFile, EverySecureSettingOutsideTheScopeIsRefused) {
  for (const std::string& line : testing::ExpectedLines("secure_settings.txt")) {
    const std::string name = line.substr(0, line.find(':'));
    EXPECT_NE(ReadSignedFile(FileWith(name + ":s:x\r\n")).refusal, "") << name;
  }
}

// A file of the launcher's with `filler` valid unsigned lines (repeated display settings).
std::string FileWithLines(std::size_t filler) {
  std::string lines;
  for (std::size_t i = 0; i < filler; ++i) lines += i % 2 ? "session bpp:i:32\r\n" : "Use Multimon:i:0\r\n";
  return FileWith(lines);
}

// The best of several runs, so that another process on the machine does not count.
double SecondsToRead(const std::string& file) {
  double best = 1e9;
  for (int run = 0; run < 15; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const SignedFileReading reading = ReadSignedFile(file);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_EQ(reading.refusal, "");
  }
  return best;
}

TEST(ReadSignedFile, TakesTimeLinearInTheFilesSizeAndRefusesALargeOneAtOnce) {
  // Sixteen times the lines: a linear reader takes about 16 times as long, a
  // quadratic one about 256 times; the bound between them leaves room for a
  // busy machine either way.
  const std::string file = FileWithLines(1000);
  const std::string larger = FileWithLines(16000);
  ASSERT_LT(larger.size(), kMaxSignedFileSize);
  EXPECT_EQ(ReadSignedFile(file).message, SignedMessage(SignedSettingsOf(LinesToSign(kTarget))));
  EXPECT_EQ(ReadSignedFile(file).uncovered, ReadSignedFile(FileWithLines(0)).uncovered) << "each name once";
  EXPECT_LT(SecondsToRead(larger), 64 * SecondsToRead(file));
  EXPECT_EQ(ReadSignedFile(FileWithLines(80000)).refusal, "the file is larger than 1048576 bytes");
}

}  // namespace
}  // namespace rdplaunch
