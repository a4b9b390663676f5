// The recording fake platform.
#include "fakes/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "name/launch_name.h"

namespace rdplaunch::testing {

namespace {

thread_local int bookkeepingDepth = 0;

// Stands at the start of each of the fake's calls that allocate for its records.
struct Bookkeeping {
  Bookkeeping() { ++bookkeepingDepth; }
  ~Bookkeeping() { --bookkeepingDepth; }
};

}  // namespace

bool FakePlatform::Bookkeeping() { return bookkeepingDepth > 0; }

void FakePlatform::FailCall(const std::string& operation, int nth, SystemErrorCode code) {
  failures_[{operation, nth}] = code;
}

void FakePlatform::WriteShort(int nth, std::size_t written) { shortWrites_[nth] = written; }

void FakePlatform::RunOutOfMemory(const std::string& operation, int nth) { outOfMemoryAt_[operation] = nth; }

SystemErrorCode FakePlatform::Injected(const std::string& operation) {
  const int nth = ++callCounts_[operation];
  if (outOfMemoryAt_[operation] == nth) throw std::bad_alloc();
  const auto failure = failures_.find({operation, nth});
  return failure == failures_.end() ? 0 : failure->second;
}

std::optional<std::string> FakePlatform::OwnFileName() {
  if (ownPath.empty()) return std::nullopt;
  return std::string(FileNamePart(ownPath));
}

std::optional<std::string> FakePlatform::DesktopFolder() {
  const struct Bookkeeping bookkeeping;
  calls.push_back("DesktopFolder");
  return desktop;
}

void FakePlatform::ShowInformationBox(std::string_view text, std::string_view caption) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("InfoBox");
  infoBoxes.push_back({std::string(text), std::string(caption), kBoxOk | kBoxIconInformation});
}

void FakePlatform::ShowFailureBox(const char* text, const char* caption, unsigned style) {
  const struct Bookkeeping bookkeeping;
  calls.push_back(std::string("FailureBox ") + caption);
  failureBoxes.push_back({text, caption, style});
}

SystemErrorCode FakePlatform::CreateFileForWriting(const std::string& path, FileHandle& handle) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("CreateFile " + path);
  if (const SystemErrorCode code = Injected("CreateFile")) return code;
  handle = nextHandle_++;
  openFiles_[handle] = path;
  files[path].clear();
  return 0;
}

// A failing write puts nothing on disk.
SystemErrorCode FakePlatform::WriteFile(FileHandle handle, const char* bytes, std::size_t size, std::size_t& written) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("WriteFile " + std::to_string(size));
  writeSizes.push_back(size);
  written = 0;
  if (const SystemErrorCode code = Injected("WriteFile")) return code;
  const auto shortWrite = shortWrites_.find(callCounts_["WriteFile"]);
  written = shortWrite == shortWrites_.end() ? size : std::min(size, shortWrite->second);
  files[openFiles_.at(handle)].append(bytes, written);
  return 0;
}

// As Windows does, a handle that is not open (closed already, say) cannot be closed.
SystemErrorCode FakePlatform::CloseFile(FileHandle handle) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("CloseFile");
  if (const SystemErrorCode code = Injected("CloseFile")) return code;
  constexpr SystemErrorCode kInvalidHandle = 6;
  if (openFiles_.erase(handle) == 0) return kInvalidHandle;
  return 0;
}

void FakePlatform::RemoveFile(const std::string& path) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("RemoveFile " + path);
  files.erase(path);
}

SystemErrorCode FakePlatform::StartHidden(const std::string& program, const std::string& parameters,
                                          ProcessHandle& process) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("Start " + program);
  starts.push_back({program, parameters});
  if (const SystemErrorCode code = Injected("Start")) return code;
  process = starts.size();
  return 0;
}

void FakePlatform::WaitForExit(ProcessHandle process) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("Wait " + std::to_string(process));
}

std::string FakePlatform::SystemErrorText(SystemErrorCode code) {
  return code == 2 ? "The system cannot find the file specified." : "system error " + std::to_string(code);
}

bool FakePlatform::ModuleContaining(std::uintptr_t address, ModulePath& path, std::uintptr_t& base) {
  if (address < ownBase || address >= ownBase + ownSize) return false;
  OwnModule(path, base);
  return true;
}

void FakePlatform::OwnModule(ModulePath& path, std::uintptr_t& base) {
  path.length = std::min(ownPath.size(), kModulePathCapacity - 1);
  std::memcpy(path.bytes, ownPath.data(), path.length);
  base = ownBase;
}

void FakePlatform::ExitProcess(int exitCode) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("Exit " + std::to_string(exitCode));
  throw ProcessExit{exitCode};
}

void FakePlatform::EndProcessAtOnce(int exitCode) {
  const struct Bookkeeping bookkeeping;
  calls.push_back("EndAtOnce " + std::to_string(exitCode));
  throw ProcessExit{exitCode};
}

}  // namespace rdplaunch::testing
