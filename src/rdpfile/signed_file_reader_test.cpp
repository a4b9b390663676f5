#include "rdpfile/signed_file_reader.h"

#include <gtest/gtest.h>

#include <chrono>

#include "rdpfile/signed_file.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

const ConnectionTarget kTarget{"Plan", "PlnDsk", "rds-a.example.com", "3397"};

// A signed file of the launcher's with a syntactically valid signature block (header and
// an empty DER sequence: "AQABAAEAAAACAAAAMAA=") and `filler` unsigned lines before it.
std::string FileWithLines(std::size_t filler) {
  const SignedSettings settings = SignedSettingsOf(LinesToSign(kTarget));
  const std::string file =
      SignedFileContent(kTarget, {kTarget.alias, kTarget.host, kTarget.port, settings.scope, "AQABAAEAAAACAAAAMAA="});
  std::string lines;
  for (std::size_t i = 0; i < filler; ++i) lines += "x" + std::to_string(i % 1000) + ":i:1\r\n";
  return file.substr(0, 2) + Cp1251ToUtf16Le(lines) + file.substr(2);
}

double SecondsToRead(const std::string& file) {
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const SignedFileReading reading = ReadSignedFile(file);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_EQ(reading.refusal, "");
  }
  return best;
}

TEST(ReadSignedFile, TakesTimeLinearInTheFilesSizeAndRefusesALargeOneAtOnce) {
  const std::string file = FileWithLines(20000);
  const std::string twice = FileWithLines(40000);
  ASSERT_LT(twice.size(), kMaxSignedFileSize);
  EXPECT_EQ(ReadSignedFile(file).message, SignedMessage(SignedSettingsOf(LinesToSign(kTarget))));
  EXPECT_EQ(ReadSignedFile(file).uncovered.size(), ReadSignedFile(FileWithLines(0)).uncovered.size() + 1000)
      << "each name once";
  EXPECT_LT(SecondsToRead(twice), 3 * SecondsToRead(file));
  EXPECT_EQ(ReadSignedFile(FileWithLines(80000)).refusal, "the file is larger than 1048576 bytes");
}

}  // namespace
}  // namespace rdplaunch
