// Counts the allocation tests' heap allocations (their program replaces the global
// operator new), less those the fake platform makes for its own records, so that a test
// can tell whether the code under test allocated; and fails those larger than a limit.
#pragma once

#include <cstddef>

namespace rdplaunch::testing {

long AllocationCount();
void FailAllocationsLargerThan(std::size_t bytes);  // 0: no limit

}  // namespace rdplaunch::testing
