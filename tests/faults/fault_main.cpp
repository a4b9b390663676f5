// A launcher built to fail on purpose, for the end-to-end tests of failure reporting.
// RDPLAUNCH_TEST_FAULT chooses how:
//   access-violation    a processor fault while the failure-reporting layer is in place;
//   access-violation-while-writing
//                       the ordinary launcher, with a processor fault right after the first
//                       128 bytes of the connection file reached the disk;
//   stack-overflow      endless recursion while the layer is in place;
//   stack-overflow-holding-heap
//                       the same while holding the lock of the C run-time's heap;
//   raise-before-layer  a failure raised before the layer is set up (the fallback box);
//   load-planted-dll    after the start-up, tries to load rdplaunch_planted.dll from the
//                       launcher's folder, by name (exit code +1 if that loads) and by full
//                       path (+2), from a base of 40;
//   freed-block         frees a heap block full of a pattern and reads it again: exit code 60
//                       when the pattern is gone, 61 when the freed block still holds it.
// Without it the program is the ordinary launcher. Never shipped.
#include <windows.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "failure/failure_reporting.h"
#include "launch/launch_sequence.h"

namespace {

int FaultingSequence(rdplaunch::Platform&, rdplaunch::RunRecord&) {
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}

// Each call keeps a buffer on the stack that the compiler cannot drop, and the call is
// not the last thing the function does, so it cannot become a jump. The limit only hides
// the endless recursion from the compiler: no stack holds that many frames.
volatile int recursionLimit = -1;

int Recurse(int depth) {
  volatile char buffer[512];
  buffer[depth % sizeof buffer] = static_cast<char>(depth);
  if (depth == recursionLimit) return 0;
  return Recurse(depth + 1) + buffer[0];
}

int OverflowingSequence(rdplaunch::Platform&, rdplaunch::RunRecord&) { return Recurse(0); }

// The thread that overflows keeps the heap locked, as one that overflowed inside malloc would.
int OverflowingSequenceHoldingTheHeap(rdplaunch::Platform&, rdplaunch::RunRecord&) {
  HeapLock(reinterpret_cast<HANDLE>(_get_heap_handle()));
  return Recurse(0);
}

// The system platform, but the first write that succeeds is followed by a processor fault.
class FaultAfterFirstWrite final : public rdplaunch::Platform {
 public:
  explicit FaultAfterFirstWrite(rdplaunch::Platform& system) : system_(system) {}

  std::optional<std::string> OwnFileName() override { return system_.OwnFileName(); }
  unsigned AnsiCodePage() override { return system_.AnsiCodePage(); }
  unsigned WindowsMajorVersion() override { return system_.WindowsMajorVersion(); }
  std::string SystemFolder() override { return system_.SystemFolder(); }
  std::optional<std::string> DesktopFolder() override { return system_.DesktopFolder(); }
  void ShowInformationBox(std::string_view text, std::string_view caption) override {
    system_.ShowInformationBox(text, caption);
  }
  void ShowFailureBox(const char* text, const char* caption, unsigned style) override {
    system_.ShowFailureBox(text, caption, style);
  }
  rdplaunch::SystemErrorCode CreateFileForWriting(const std::string& path, rdplaunch::FileHandle& handle) override {
    return system_.CreateFileForWriting(path, handle);
  }
  rdplaunch::SystemErrorCode WriteFile(rdplaunch::FileHandle handle, const char* bytes, std::size_t size,
                                       std::size_t& written) override {
    const rdplaunch::SystemErrorCode code = system_.WriteFile(handle, bytes, size, written);
    if (code == 0) {
      volatile int* nowhere = nullptr;
      *nowhere = 1;
    }
    return code;
  }
  rdplaunch::SystemErrorCode CloseFile(rdplaunch::FileHandle handle) override { return system_.CloseFile(handle); }
  void RemoveFile(const std::string& path) override { system_.RemoveFile(path); }
  rdplaunch::SystemErrorCode StartHidden(const std::string& program, const std::string& parameters,
                                         rdplaunch::ProcessHandle& process) override {
    return system_.StartHidden(program, parameters, process);
  }
  void WaitForExit(rdplaunch::ProcessHandle process) override { system_.WaitForExit(process); }
  std::string SystemErrorText(rdplaunch::SystemErrorCode code) override { return system_.SystemErrorText(code); }
  bool ModuleContaining(std::uintptr_t address, rdplaunch::ModulePath& path, std::uintptr_t& base) override {
    return system_.ModuleContaining(address, path, base);
  }
  void OwnModule(rdplaunch::ModulePath& path, std::uintptr_t& base) override { system_.OwnModule(path, base); }
  [[noreturn]] void ExitProcess(int exitCode) override {
    system_.ExitProcess(exitCode);
    std::abort();
  }
  [[noreturn]] void EndProcessAtOnce(int exitCode) override {
    system_.EndProcessAtOnce(exitCode);
    std::abort();
  }

 private:
  rdplaunch::Platform& system_;
};

bool Chosen(const char* fault) {
  const char* chosen = std::getenv("RDPLAUNCH_TEST_FAULT");
  return chosen != nullptr && std::strcmp(chosen, fault) == 0;
}

int TryLoadingPlantedDll() {
  char ownPath[MAX_PATH];
  std::string besideLauncher(ownPath, GetModuleFileNameA(nullptr, ownPath, MAX_PATH));
  besideLauncher.erase(besideLauncher.find_last_of('\\') + 1);
  besideLauncher += "rdplaunch_planted.dll";
  return 40 + (LoadLibraryA("rdplaunch_planted.dll") != nullptr ? 1 : 0) +
         (LoadLibraryA(besideLauncher.c_str()) != nullptr ? 2 : 0);
}

// Reads a block after it was freed (its page stays mapped, and the heap reuses only its
// first bytes for its own bookkeeping) to see whether the launcher's allocator wiped it.
int FreedBlockKeepsItsBytes() {
  constexpr std::size_t kSize = 256;
  constexpr std::size_t kBookkeeping = 32;
  char* block = new char[kSize];
  std::memset(block, 'P', kSize);
  volatile const char* freed = block;
  delete[] block;
  std::size_t kept = 0;
  for (std::size_t i = kBookkeeping; i < kSize; ++i) kept += freed[i] == 'P';
  return kept == 0 ? 60 : 61;
}

}  // namespace

int main() {
  rdplaunch::Platform& platform = rdplaunch::SystemPlatform();
  if (Chosen("load-planted-dll")) return TryLoadingPlantedDll();
  if (Chosen("freed-block")) return FreedBlockKeepsItsBytes();
  if (Chosen("raise-before-layer")) {
    try {
      throw rdplaunch::Exception("raised before the failure-reporting layer", 0x00401234);
    } catch (const rdplaunch::Exception& failure) {
      rdplaunch::HandleUncaughtFailure(platform, failure);
    }
  }
  rdplaunch::LaunchSequence sequence = rdplaunch::RunLaunchSequence;
  if (Chosen("access-violation")) sequence = FaultingSequence;
  if (Chosen("stack-overflow")) sequence = OverflowingSequence;
  if (Chosen("stack-overflow-holding-heap")) sequence = OverflowingSequenceHoldingTheHeap;
  if (Chosen("access-violation-while-writing")) {
    static FaultAfterFirstWrite faulting(platform);
    rdplaunch::RunProcess(faulting, sequence);
  }
  rdplaunch::RunProcess(platform, sequence);
}
