// A launcher built to fail on purpose, for the end-to-end tests of failure reporting.
// RDPLAUNCH_TEST_FAULT chooses how:
//   access-violation    a processor fault while the failure-reporting layer is in place;
//   stack-overflow      endless recursion while the layer is in place;
//   raise-before-layer  a failure raised before the layer is set up (the fallback box);
//   load-planted-dll    after the start-up, tries to load rdplaunch_planted.dll from the
//                       launcher's folder, by name (exit code +1 if that loads) and by full
//                       path (+2), from a base of 40;
//   freed-block         frees a heap block full of a pattern and reads it again: exit code 60
//                       when the pattern is gone, 61 when the freed block still holds it.
// Without it the program is the ordinary launcher. Never shipped.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "failure/failure_reporting.h"
#include "launch/launch_sequence.h"

namespace {

int FaultingSequence(rdplaunch::Platform&, rdplaunch::ConnectionSettings&) {
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

int OverflowingSequence(rdplaunch::Platform&, rdplaunch::ConnectionSettings&) { return Recurse(0); }

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
  rdplaunch::RunProcess(platform, sequence);
}
