// The allocation test program's global operator new, which counts what it allocates and
// can refuse large allocations.
#include "fakes/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "fakes/fake_platform.h"

namespace rdplaunch::testing {

namespace {
std::atomic<long> allocations{0};
std::atomic<std::size_t> largest{0};  // 0: no limit
}  // namespace

long AllocationCount() { return allocations.load(); }
void FailAllocationsLargerThan(std::size_t bytes) { largest = bytes; }

}  // namespace rdplaunch::testing

// The library's other forms (arrays, nothrow) come here too.
void* operator new(std::size_t size) {
  if (!rdplaunch::testing::FakePlatform::Bookkeeping()) ++rdplaunch::testing::allocations;
  if (const std::size_t limit = rdplaunch::testing::largest; limit != 0 && size > limit) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
