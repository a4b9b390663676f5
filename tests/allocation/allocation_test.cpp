// Tests that count or refuse the heap's allocations. They run in a program of their own,
// which replaces the global operator new (allocation_count.cpp): the unit tests keep the
// sanitizers' own, whose checks would be lost with it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "desktop/output_stream.h"
#include "failure/failure_reporting.h"
#include "fakes/allocation_count.h"
#include "fakes/fake_platform.h"
#include "fakes/run_to_end.h"
#include "fakes/test_files.h"
#include "hosting/tool_batch.h"

namespace rdplaunch {
namespace {

// A processor fault while a file is being written discards the file and shows the box
// without allocating: the heap may be what failed.
TEST(Allocations, AProcessorFaultWhileWritingAllocatesNothing) {
  const std::string path = std::string(testing::FakePlatform::kDesktop) + "\\PlanDesk Online.rdp";
  testing::FakePlatform faulting;
  SetUpFailureReporting(nullptr, DiscardFileBeingWritten);
  OutputStream stream(faulting);
  stream.Open(path);
  stream.Put(std::string(300, 'x'));
  ASSERT_EQ(faulting.files.at(path).size(), 256u);
  const long allocationsBefore = testing::AllocationCount();
  EXPECT_EQ(testing::ExitCodeOf([&] { HandleProcessorFault(faulting, 0xC0000005, faulting.ownBase + 0x1010); }),
            kExitFailureBox);
  EXPECT_EQ(testing::AllocationCount(), allocationsBefore);
  TakeDownFailureReporting();
  EXPECT_TRUE(faulting.files.empty());
  const std::vector<std::string> tail(faulting.calls.end() - 4, faulting.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"CloseFile", "RemoveFile " + path, "FailureBox Application Error",
                                            "EndAtOnce 1"}));
}

// Memory is bounded by the request: a small launcher is copied in a small allocation, and
// a request that cannot have its memory is refused alone, the next one answered.
TEST(Allocations, ARequestThatRunsOutOfMemoryIsRefusedAndTheNextAnswered) {
  namespace fs = std::filesystem;
  const fs::path folder = testing::OwnFolder("allocation");
  fs::create_directories(folder / "out");
  std::ofstream(folder / "small.exe", std::ios::binary) << std::string(1000, 'M');
  std::ofstream(folder / "large.exe", std::ios::binary) << std::string(3 << 20, 'M');
  std::string requests;
  for (const char* exe : {"small.exe", "large.exe", "small.exe"}) {
    requests += R"({"command": "make", "key": "PELTA_8", "user": ")" + std::string(exe).substr(0, 5) +
                R"(", "password": "pw", "exe": ")" + (folder / exe).string() + R"(", "out": ")" +
                (folder / "out").string() + "\"}\n";
  }
  std::ofstream(folder / "requests") << requests;
  const int input = open((folder / "requests").c_str(), O_RDONLY);
  std::ostringstream out;
  testing::FailAllocationsLargerThan(2 << 20);
  const int exitCode = RunBatch(input, out);
  testing::FailAllocationsLargerThan(0);
  close(input);
  EXPECT_EQ(exitCode, kExitDone);
  std::istringstream lines(out.str());
  std::vector<nlohmann::json> answers;
  for (std::string line; std::getline(lines, line);) answers.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0]["name"], "PELTA_8$small$pw$.exe");
  EXPECT_EQ(answers[1]["error"], "out of memory while answering the request");
  EXPECT_EQ(answers[2]["name"], "PELTA_8$small$pw$.exe");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace rdplaunch
