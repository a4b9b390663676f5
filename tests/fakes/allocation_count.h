// Counts the unit tests' heap allocations (the test program replaces the global operator
// new), less those the fake platform makes for its own records, so that a test can tell
// whether the code under test allocated.
#pragma once

namespace rdplaunch::testing {

long AllocationCount();

}  // namespace rdplaunch::testing
