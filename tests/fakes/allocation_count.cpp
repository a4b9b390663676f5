// The unit test program's global operator new, which counts what it allocates.
#include "fakes/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "fakes/fake_platform.h"

namespace rdplaunch::testing {

namespace {
std::atomic<long> allocations{0};
}  // namespace

long AllocationCount() { return allocations.load(); }

}  // namespace rdplaunch::testing

// The library's other forms (arrays, nothrow) come here too.
void* operator new(std::size_t size) {
  if (!rdplaunch::testing::FakePlatform::Bookkeeping()) ++rdplaunch::testing::allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
