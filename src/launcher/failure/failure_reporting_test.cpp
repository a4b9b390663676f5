#include "failure/failure_reporting.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "fakes/run_to_end.h"

namespace rdplaunch {
namespace {

using testing::ExitCodeOf;
using testing::FakePlatform;

int finalizerCalls = 0;
void CountFinalizer() { ++finalizerCalls; }

class FailureReportingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    finalizerCalls = 0;
    SetUpFailureReporting(CountFinalizer);
  }
  void TearDown() override { TakeDownFailureReporting(); }

  FakePlatform platform;
};

TEST_F(FailureReportingTest, AFailureInPlaceEndsInOneApplicationErrorBoxAndExitCode1) {
  const EInOutError failure("File access denied", 5, platform.ownBase + 0x2345);
  EXPECT_EQ(ExitCodeOf([&] { HandleUncaughtFailure(platform, failure); }), kExitFailureBox);
  ASSERT_EQ(platform.failureBoxes.size(), 1u);
  EXPECT_EQ(platform.failureBoxes[0].caption, "Application Error");
  EXPECT_EQ(platform.failureBoxes[0].style, 0x2010u);
  EXPECT_EQ(platform.failureBoxes[0].text,
            "Exception EInOutError in module PELTA_8$alice$***$.exe at 00002345.\r\nFile access denied.\r\n");
  EXPECT_EQ(finalizerCalls, 1);
  // The layer is taken down on the way out: a failure after that gets the fallback box.
  EXPECT_EQ(ExitCodeOf([&] { HandleUncaughtFailure(platform, failure); }), kRuntimeErrorRaised);
  EXPECT_EQ(platform.failureBoxes.at(1).caption, "Error");
}

TEST_F(FailureReportingTest, ANormalEndShowsNothing) {
  EXPECT_EQ(ExitCodeOf([&] { EndRun(platform, kExitSuccess); }), 0);
  EXPECT_TRUE(platform.failureBoxes.empty());
  EXPECT_EQ(finalizerCalls, 1);
}

TEST_F(FailureReportingTest, WithoutTheLayerOnlyTheFallbackBoxRemains) {
  TakeDownFailureReporting();
  const Exception failure("anything", 0x00401A2B);
  EXPECT_EQ(ExitCodeOf([&] { HandleUncaughtFailure(platform, failure); }), 217);
  ASSERT_EQ(platform.failureBoxes.size(), 1u);
  EXPECT_EQ(platform.failureBoxes[0].text, "Runtime error 217 at 00401A2B");
  EXPECT_EQ(platform.failureBoxes[0].caption, "Error");
  EXPECT_EQ(platform.failureBoxes[0].style, 0u);
}

TEST_F(FailureReportingTest, ProcessorFaultsBecomeExternalFailuresOrRuntimeErrorNumbers) {
  const struct {
    std::uint32_t code;
    const char* className;
    const char* message;
    int runtimeError;
  } cases[] = {
      {0xC0000005, "EAccessViolation", "Access violation", 216},
      {0xC0000094, "EDivByZero", "Division by zero", 200},
      {0xC00000FD, "EStackOverflow", "Stack overflow", 202},
      {0xC0000095, "EIntOverflow", "Integer overflow", 215},
      {0x12345678, "EExternalException", "External exception", 255},
  };
  for (const auto& c : cases) {
    FakePlatform inPlace;
    finalizerCalls = 0;
    SetUpFailureReporting(CountFinalizer);
    EXPECT_EQ(ExitCodeOf([&] { HandleProcessorFault(inPlace, c.code, inPlace.ownBase + 0x1010); }), 1);
    EXPECT_EQ(inPlace.failureBoxes.at(0).text, std::string("Exception ") + c.className +
                                                   " in module PELTA_8$alice$***$.exe at 00001010.\r\n" + c.message +
                                                   ".\r\n");
    // The faulting thread may hold the heap: nothing is freed, and the process ends at once.
    EXPECT_EQ(finalizerCalls, 0);
    EXPECT_EQ(inPlace.calls.back(), "EndAtOnce 1");
    TakeDownFailureReporting();

    FakePlatform fallback;
    EXPECT_EQ(ExitCodeOf([&] { HandleProcessorFault(fallback, c.code, 0x00401010); }), c.runtimeError);
    EXPECT_EQ(fallback.failureBoxes.at(0).text.substr(18), "at 00401010");
  }
}

TEST_F(FailureReportingTest, MemoryExhaustionIsReportedWithThePremadeFailure) {
  const EOutOfMemory* premade = &PremadeOutOfMemory();
  EXPECT_EQ(premade->Message(), "Out of memory");
  EXPECT_EQ(ExitCodeOf([&] { HandleOutOfMemory(platform); }), 1);
  EXPECT_NE(platform.failureBoxes.at(0).text.find("Exception EOutOfMemory in module"), std::string::npos);

  FakePlatform fallback;
  EXPECT_EQ(ExitCodeOf([&] { HandleOutOfMemory(fallback); }), 203);
  EXPECT_EQ(fallback.failureBoxes.at(0).text, "Runtime error 203 at 00000000");
}

TEST_F(FailureReportingTest, IoCheckRaisesThePendingCodeOnceAndClearsIt) {
  IoCheck();
  PendingIoCode() = 32;
  try {
    IoCheck();
    FAIL() << "IoCheck returned with a pending code";
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.IoCode(), 32);
    EXPECT_EQ(failure.Message(), "I/O error 32");
    EXPECT_NE(failure.Address(), 0u);
  }
  EXPECT_EQ(PendingIoCode(), 0);
  IoCheck();
}

}  // namespace
}  // namespace rdplaunch
