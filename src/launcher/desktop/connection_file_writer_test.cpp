#include "desktop/connection_file_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "desktop/output_stream.h"
#include "failure/failure_reporting.h"
#include "fakes/expected_files.h"
#include "fakes/fake_platform.h"
#include "text/cp1251.h"

namespace rdplaunch {
namespace {

using testing::ExpectedConnectionFile;
using testing::FakePlatform;

const ConnectionTarget kCyrillicTarget{"ПЕЛТА НРД 2016"_cp1251, "ПЕЛТА НРД2016"_cp1251, "rds-b.example.com", "3395"};

// Any target: the writer writes what it is given.
const ConnectionTarget kTarget{"Test Desk", "TstDsk", "rds.test.example", "4000"};
const std::string kTargetFile = ExpectedConnectionFile("4000", "rds.test.example", "TstDsk");

const std::string kDesktop = FakePlatform::kDesktop;

class WriteConnectionFileTest : public ::testing::Test {
 protected:
  void SetUp() override { PendingIoCode() = 0; }

  // Runs the writer and returns the failure it raised, if any.
  std::optional<EInOutError> Write(const ConnectionTarget& settings) {
    try {
      WriteConnectionFile(platform, settings, {});
    } catch (const EInOutError& failure) {
      return failure;
    }
    return std::nullopt;
  }

  FakePlatform platform;
};

// The buffered writer loses nothing, whether or not the content fills its last buffer.
TEST_F(WriteConnectionFileTest, WritesTheWholeContentAndClosesTheFile) {
  ConnectionTarget settings = kTarget;
  const std::string paddedHost = std::string(settings.host) + std::string(128 - kTargetFile.size() % 128, 'h');
  for (const std::string_view host : {settings.host, std::string_view(paddedHost)}) {
    settings.host = host;
    platform = FakePlatform();
    ASSERT_FALSE(Write(settings));
    EXPECT_EQ(platform.files.at(kDesktop + "\\Test Desk.rdp"),
              ExpectedConnectionFile("4000", std::string(host), "TstDsk"));
    EXPECT_EQ(platform.calls.back(), "CloseFile");
    EXPECT_EQ(PendingIoCode(), 0);
  }
}

TEST_F(WriteConnectionFileTest, ReplacesAnExistingLongerFile) {
  const std::string path = kDesktop + "\\Test Desk.rdp";
  platform.files[path] = std::string(5000, 'x');
  ASSERT_FALSE(Write(kTarget));
  EXPECT_EQ(platform.files.at(path), kTargetFile);
}

struct FailureCase {
  const char* operation;
  int nth;
  SystemErrorCode code;
  const char* message;
  std::size_t shortWrite = 0;  // instead of failing, the call succeeds with this many bytes written
};

TEST_F(WriteConnectionFileTest, AFailedCallRaisesItsCodeAndLeavesNoFile) {
  const FailureCase cases[] = {
      {"CreateFile", 1, 5, "File access denied"}, {"CreateFile", 1, 3, "Invalid filename"},
      {"CreateFile", 1, 32, "I/O error 32"},      {"WriteFile", 1, 112, "I/O error 112"},
      {"WriteFile", 2, 5, "File access denied"},  {"WriteFile", 3, 112, "I/O error 112"},
      {"WriteFile", 11, 112, "I/O error 112"},  // the piece with the rest, at close: its code, not the close's
      {"CloseFile", 1, 6, "I/O error 6"},         {"WriteFile", 2, 101, "Disk full", 100},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(c.nth));
    FakePlatform fresh;
    platform = fresh;
    if (c.shortWrite != 0) {
      platform.WriteShort(c.nth, c.shortWrite);
    } else {
      platform.FailCall(c.operation, c.nth, c.code);
    }
    const std::optional<EInOutError> failure = Write(kTarget);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->IoCode(), static_cast<std::int32_t>(c.code));
    EXPECT_EQ(failure->Message(), c.message);
    EXPECT_NE(failure->Address(), 0u);
    EXPECT_TRUE(platform.files.empty()) << "an incomplete file stays behind";
    EXPECT_EQ(PendingIoCode(), 0);
    // Nothing is written after the failing call.
    const auto failed = std::find_if(platform.calls.rbegin(), platform.calls.rend(),
                                     [&](const std::string& call) { return call.rfind(c.operation, 0) == 0; });
    for (auto later = failed.base(); later != platform.calls.end(); ++later) {
      EXPECT_EQ(later->rfind("WriteFile", 0), std::string::npos) << *later;
    }
  }
}

TEST_F(WriteConnectionFileTest, AFailedOpenTouchesNothing) {
  const std::string path = kDesktop + "\\Test Desk.rdp";
  platform.files[path] = "older content";
  platform.FailCall("CreateFile", 1, 5);
  ASSERT_TRUE(Write(kTarget));
  EXPECT_EQ(platform.files.at(path), "older content");
  EXPECT_EQ(platform.calls.back(), "CreateFile " + path);
}

TEST_F(WriteConnectionFileTest, AFailedWriteClosesAndDeletesThePartialFile) {
  platform.FailCall("WriteFile", 3, 112);
  ASSERT_TRUE(Write(kTarget));
  const std::vector<std::string> tail(platform.calls.end() - 4, platform.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"WriteFile 128", "WriteFile 128", "CloseFile",
                                            "RemoveFile " + kDesktop + "\\Test Desk.rdp"}));
}

// Each check has its own failure address, which the box shows: the failure of a step
// must be raised by the check right after it (after the open, after each line, after the
// close), never by a later one. A failed write in the first or the last line is raised
// by the same check; a failed close by the last.
TEST_F(WriteConnectionFileTest, EachCheckIdentifiesItsOwnStep) {
  const auto addressWhen = [&](const char* operation, int nth) {
    platform = FakePlatform();
    platform.FailCall(operation, nth, 5);
    const std::optional<EInOutError> failure = Write(kTarget);
    EXPECT_TRUE(failure) << operation << " " << nth;
    return failure ? failure->Address() : 0;
  };
  const std::uintptr_t open = addressWhen("CreateFile", 1);
  const std::uintptr_t firstLine = addressWhen("WriteFile", 1);
  const std::uintptr_t laterLine = addressWhen("WriteFile", 5);
  const std::uintptr_t close = addressWhen("CloseFile", 1);
  EXPECT_EQ(firstLine, laterLine);
  EXPECT_NE(open, firstLine);
  EXPECT_NE(firstLine, close);
  EXPECT_NE(open, close);
}

// Failures that are not file errors leave the writer by unwinding; so does a processor
// fault, which does not unwind: either way the file goes, and before the failure box. The
// fault's path allocates nothing from the fault to the end: the faulting thread may hold
// the heap's lock (a processor fault: tests/allocation).
TEST_F(WriteConnectionFileTest, EveryOtherEndOfTheRunWhileWritingRemovesTheFile) {
  const std::string path = kDesktop + "\\Test Desk.rdp";
  platform.RunOutOfMemory("WriteFile", 3);
  EXPECT_THROW(Write(kTarget), std::bad_alloc);
  EXPECT_TRUE(platform.files.empty());
}

TEST_F(WriteConnectionFileTest, AFailedDesktopLookupWritesNowhere) {
  platform.desktop.reset();
  const std::optional<EInOutError> failure = Write(kTarget);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->IoCode(), 3);
  EXPECT_EQ(failure->Message(), "Invalid filename");
  EXPECT_EQ(platform.calls, std::vector<std::string>{"DesktopFolder"});
}

TEST_F(WriteConnectionFileTest, ElsewhereThan1251TheFileIsUtf16WithAByteOrderMark) {
  for (const unsigned codePage : {1252u, 932u}) {
    FakePlatform fresh;
    platform = fresh;
    platform.ansiCodePage = codePage;
    ASSERT_FALSE(Write(kCyrillicTarget));
    const std::string& file = platform.files.at(kDesktop + "\\" + std::string("ПЕЛТА НРД 2016"_cp1251) + ".rdp");
    EXPECT_EQ(file.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(file.substr(2, 8), std::string("r\0e\0d\0i\0", 8));
    // "||ПЕЛТА" of the alternate shell line, in UTF-16LE.
    EXPECT_NE(file.find(std::string("|\0|\0\x1F\x04\x15\x04\x1B\x04\x22\x04\x10\x04", 14)), std::string::npos);
    EXPECT_EQ(file, "\xFF\xFE" +
                        Cp1251ToUtf16Le(ExpectedConnectionFile("3395", kCyrillicTarget.host, kCyrillicTarget.alias)));
    EXPECT_EQ(platform.writeSizes.front(), 128u) << "the same buffered writer";
  }
  EXPECT_EQ(ConnectionFileEncoding(1251), FileEncoding::kCp1251);
}

TEST_F(WriteConnectionFileTest, AFailedUtf16WriteLeavesNoFileEither) {
  platform.ansiCodePage = 1252;
  platform.FailCall("WriteFile", 4, 112);
  const std::optional<EInOutError> failure = Write(kCyrillicTarget);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Message(), "I/O error 112");
  EXPECT_TRUE(platform.files.empty());
}

// The launcher's signed write path: UTF-16LE after a byte order mark whatever the code
// page, the usual lines, the alternate address, then the signscope and signature lines.
TEST(WriteConnectionFile, ASignedFileIsTheLinesThenItsScopeAndSignatureInUtf16) {
  const ConnectionTarget target{"ПЕЛТА 8"_cp1251, "PELTA8", "rds-a.example.com", "3395"};
  // Another port's signature first: only the file's own alias, host and port pick one.
  const FileSignature signatures[] = {{target.alias, target.host, "3396", "Full Address", "BBBB"},
                                      {target.alias, target.host, target.port, "Full Address", "AAAA"}};
  const std::string text = ExpectedConnectionFile("3395", "rds-a.example.com", "PELTA8") +
                           "alternate full address:s:rds-a.example.com"
                           "\r\nsignscope:s:Full Address\r\nsignature:s:AAAA\r\n";
  std::string expected = "\xFF\xFE";
  for (const char c : text) expected += std::string{c, '\0'};  // all ASCII
  for (const unsigned codePage : {1251u, 1252u}) {
    FakePlatform platform;
    platform.ansiCodePage = codePage;
    WriteConnectionFile(platform, target, signatures);
    EXPECT_EQ(platform.files.at(std::string(FakePlatform::kDesktop) + "\\" + std::string(target.displayName) + ".rdp"),
              expected)
        << codePage;
  }
}

}  // namespace
}  // namespace rdplaunch
