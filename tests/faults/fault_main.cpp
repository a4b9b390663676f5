// A launcher built to fail on purpose, for the end-to-end tests of failure reporting.
// RDPLAUNCH_TEST_FAULT chooses how:
//   access-violation    a processor fault while the failure-reporting layer is in place;
//   raise-before-layer  a failure raised before the layer is set up (the fallback box).
// Without it the program is the ordinary launcher. Never shipped.
#include <cstdlib>
#include <cstring>

#include "launch/launch_sequence.h"
#include "platform/failure_reporting.h"

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

}  // namespace

int main() {
  rdplaunch::Platform& platform = rdplaunch::SystemPlatform();
  if (Chosen("raise-before-layer")) {
    try {
      throw rdplaunch::Exception("raised before the failure-reporting layer", 0x00401234);
    } catch (const rdplaunch::Exception& failure) {
      rdplaunch::HandleUncaughtFailure(platform, failure);
    }
  }
  rdplaunch::RunProcess(platform, Chosen("access-violation") ? FaultingSequence : rdplaunch::RunLaunchSequence);
}
