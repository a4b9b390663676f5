// A launcher built to fail on purpose, for the end-to-end tests of failure reporting.
// RDPLAUNCH_TEST_FAULT chooses how:
//   access-violation    a processor fault while the failure-reporting layer is in place;
//   raise-before-layer  a failure raised before the layer is set up (the fallback box);
//   load-planted-dll    after the start-up, tries to load rdplaunch_planted.dll from the
//                       launcher's folder, by name (exit code +1 if that loads) and by full
//                       path (+2), from a base of 40.
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

bool Chosen(const char* fault) {
  const char* chosen = std::getenv("RDPLAUNCH_TEST_FAULT");
  return chosen != nullptr && std::strcmp(chosen, fault) == 0;
}

int TryLoadingPlantedDll(rdplaunch::Platform& platform) {
  std::string besideLauncher = platform.OwnModulePath();
  besideLauncher.erase(besideLauncher.find_last_of('\\') + 1);
  besideLauncher += "rdplaunch_planted.dll";
  return 40 + (LoadLibraryA("rdplaunch_planted.dll") != nullptr ? 1 : 0) +
         (LoadLibraryA(besideLauncher.c_str()) != nullptr ? 2 : 0);
}

}  // namespace

int main() {
  rdplaunch::Platform& platform = rdplaunch::SystemPlatform();
  if (Chosen("load-planted-dll")) return TryLoadingPlantedDll(platform);
  if (Chosen("raise-before-layer")) {
    try {
      throw rdplaunch::Exception("raised before the failure-reporting layer", 0x00401234);
    } catch (const rdplaunch::Exception& failure) {
      rdplaunch::HandleUncaughtFailure(platform, failure);
    }
  }
  rdplaunch::RunProcess(platform, Chosen("access-violation") ? FaultingSequence : rdplaunch::RunLaunchSequence);
}
