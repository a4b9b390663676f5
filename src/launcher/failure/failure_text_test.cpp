#include "failure/failure_text.h"

#include <gtest/gtest.h>

#include "fakes/expected_files.h"
#include "fakes/fake_platform.h"
#include "name/launch_name.h"

namespace rdplaunch {
namespace {

TEST(IoErrorMessage, ListedCodesHaveTextsOthersShowTheirNumber) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {32, "I/O error 32"},
      {112, "I/O error 112"},
      {0, "I/O error 0"},
      {-5, "I/O error -5"},
      {2147483647, "I/O error 2147483647"},
      {-2147483647 - 1, "I/O error -2147483648"},
  };
  for (const auto& [code, message] : cases) EXPECT_EQ(IoErrorMessage(code), message) << code;
}

TEST(FormatFailureText, PutsClassModuleOffsetAndMessageInTheirPlaces) {
  const struct {
    const char* message;
    const char* expectedSecondLine;
  } cases[] = {
      {"File access denied", "File access denied.\r\n"},
      {"Ends in a period.", "Ends in a period.\r\n"},
      {"", "\r\n"},
      {"Two..", "Two..\r\n"},
  };
  for (const auto& c : cases) {
    FailureText text;
    FormatFailureText("EInOutError", "launcher.exe", 0x1A2B, c.message, text);
    EXPECT_EQ(text.View(),
              std::string("Exception EInOutError in module launcher.exe at 00001A2B.\r\n") + c.expectedSecondLine);
    EXPECT_EQ(text.bytes[text.length], '\0');
  }
}

TEST(FormatFailureText, IsCutTo1024Characters) {
  FailureText text;
  FormatFailureText("Exception", "m.exe", 0xFFFFFFFF, std::string(2000, 'x'), text);
  EXPECT_EQ(text.length, kFailureTextLimit);
  EXPECT_EQ(text.View().substr(0, 48), "Exception Exception in module m.exe at FFFFFFFF.");
  EXPECT_EQ(text.bytes[kFailureTextLimit], '\0');
}

// The box shows the file name part of the path, masked as every mask shows it.
TEST(MaskPasswordField, HidesTheFieldBetweenTheSecondAndThirdDollar) {
  for (const auto& [path, masked] : testing::ExpectedMaskedNames()) {
    ModuleName moduleName;
    TakeModuleName(path, moduleName);
    MaskPasswordField(moduleName);
    EXPECT_EQ(moduleName.View(), FileNamePart(masked)) << path;
  }
}

TEST(TakeModuleName, KeepsAtMost260CharactersAfterTheLastBackslashOrColon) {
  ModuleName name;
  TakeModuleName("C:\\a\\" + std::string(300, 'n'), name);
  EXPECT_EQ(name.View(), std::string(260, 'n'));
}

TEST(ComposeFailureText, NamesTheModuleOfTheAddressWithThePasswordMasked) {
  testing::FakePlatform platform;
  platform.ownPath = "C:\\Down\\PELTA_8$alice$s3cret$.exe";
  FailureText text;
  ComposeFailureText(platform, "EInOutError", "File access denied", 0x00401234, text);
  EXPECT_EQ(text.View(),
            "Exception EInOutError in module PELTA_8$alice$***$.exe at 00001234.\r\nFile access denied.\r\n");

  // Outside every module: the launcher itself, offset counted from its code start.
  ComposeFailureText(platform, "EAccessViolation", "Access violation", 0x7FFE0010, text);
  EXPECT_NE(text.View().find(" at 7FFDF010.\r\n"), std::string_view::npos);
  ComposeFailureText(platform, "Exception", "x", 0, text);
  EXPECT_NE(text.View().find(" at 00000000.\r\n"), std::string_view::npos);
}

TEST(FormatRuntimeErrorText, PatchesNumberAndAddressIntoTheTemplate) {
  const struct {
    int number;
    std::uintptr_t address;
    const char* text;
  } cases[] = {
      {217, 0x00401A2B, "Runtime error 217 at 00401A2B"},
      {203, 0, "Runtime error 203 at 00000000"},
      {5, 0xFFFFFFFF, "Runtime error   5 at FFFFFFFF"},
      {42, 0xABC, "Runtime error  42 at 00000ABC"},
  };
  for (const auto& c : cases) {
    RuntimeErrorText text;
    FormatRuntimeErrorText(c.number, c.address, text);
    EXPECT_STREQ(text.bytes, c.text);
  }
}

}  // namespace
}  // namespace rdplaunch
