// Running something that must end the process (through the fake platform's ExitProcess or
// EndProcessAtOnce, which throw ProcessExit) in a unit test.
#pragma once

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace rdplaunch::testing {

// The exit code the call ended the process with; a call that returns instead fails the test.
template <typename Call>
int ExitCodeOf(Call&& call) {
  try {
    call();
  } catch (const ProcessExit& exit) {
    return exit.exitCode;
  }
  ADD_FAILURE() << "the run did not end";
  return -1;
}

}  // namespace rdplaunch::testing
