// A platform for unit tests: it records every call in order, keeps written files in
// memory, and can be told to fail the n-th call of an operation with a given code.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rdplaunch::testing {

// Thrown by ExitProcess, so that a test can watch a run end.
struct ProcessExit {
  int exitCode;
};

struct Box {
  std::string text;
  std::string caption;
  unsigned style;
};

struct Start {
  std::string program;
  std::string parameters;
};

class FakePlatform : public Platform {
 public:
  static constexpr const char* kDesktop = "C:\\Users\\alice\\Desktop";
  static constexpr const char* kSystem = "C:\\Windows\\system32";

  // What the fake answers.
  std::string ownPath = "C:\\Downloads\\PELTA_8$alice$s3cret$.exe";  // empty: the name cannot be had in 1251
  unsigned ansiCodePage = 1251;
  unsigned majorVersion = 10;
  std::optional<std::string> desktop = std::string(kDesktop);
  std::uintptr_t ownBase = 0x00400000;
  std::uintptr_t ownSize = 0x00100000;

  // Makes the n-th (1-based) call of "CreateFile", "WriteFile", "CloseFile" or "Start" fail.
  void FailCall(const std::string& operation, int nth, SystemErrorCode code);
  // Makes the n-th call of WriteFile succeed with only `written` bytes put on disk.
  void WriteShort(int nth, std::size_t written);
  // Makes the n-th call of an operation throw std::bad_alloc, as an exhausted heap would.
  void RunOutOfMemory(const std::string& operation, int nth);

  // Whether the calling thread is inside one of the fake's own calls, whose records
  // allocate on the fake's behalf, not on that of the code under test.
  static bool Bookkeeping();

  // What the fake saw.
  std::vector<std::string> calls;  // one line per call, in order
  std::vector<std::size_t> writeSizes;
  std::vector<Box> infoBoxes;
  std::vector<Box> failureBoxes;
  std::vector<Start> starts;
  std::map<std::string, std::string> files;  // path -> bytes on "disk"

  std::optional<std::string> OwnFileName() override;
  unsigned AnsiCodePage() override { return ansiCodePage; }
  unsigned WindowsMajorVersion() override { return majorVersion; }
  std::string SystemFolder() override { return kSystem; }
  std::optional<std::string> DesktopFolder() override;
  void ShowInformationBox(std::string_view text, std::string_view caption) override;
  void ShowFailureBox(const char* text, const char* caption, unsigned style) override;
  SystemErrorCode CreateFileForWriting(const std::string& path, FileHandle& handle) override;
  SystemErrorCode WriteFile(FileHandle handle, const char* bytes, std::size_t size, std::size_t& written) override;
  SystemErrorCode CloseFile(FileHandle handle) override;
  void RemoveFile(const std::string& path) override;
  SystemErrorCode StartHidden(const std::string& program, const std::string& parameters,
                              ProcessHandle& process) override;
  void WaitForExit(ProcessHandle process) override;
  std::string SystemErrorText(SystemErrorCode code) override;
  bool ModuleContaining(std::uintptr_t address, ModulePath& path, std::uintptr_t& base) override;
  void OwnModule(ModulePath& path, std::uintptr_t& base) override;
  [[noreturn]] void ExitProcess(int exitCode) override;
  [[noreturn]] void EndProcessAtOnce(int exitCode) override;

 private:
  SystemErrorCode Injected(const std::string& operation);

  std::map<std::string, int> callCounts_;
  std::map<std::pair<std::string, int>, SystemErrorCode> failures_;
  std::map<int, std::size_t> shortWrites_;
  std::map<std::string, int> outOfMemoryAt_;
  std::map<FileHandle, std::string> openFiles_;
  FileHandle nextHandle_ = 100;
};

}  // namespace rdplaunch::testing
