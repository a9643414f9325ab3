#include "strutil/stralloc.h"

#include <atomic>
#include <cstdlib>

#include "common/heapstr.h"

namespace upd::str {
namespace {

// -1: disarmed; n >= 0: that many allocations still succeed.
std::atomic<int> g_fail_after{-1};

bool InjectFailure() {
  int left = g_fail_after.load(std::memory_order_relaxed);
  while (left >= 0 && !g_fail_after.compare_exchange_weak(left, left - 1)) {
  }
  return left == 0;
}

}  // namespace

void* Allocate(std::size_t size) {
  return InjectFailure() ? nullptr : std::malloc(size);
}

void* AllocateZeroed(std::size_t count, std::size_t size) {
  return InjectFailure() ? nullptr : std::calloc(count, size);
}

char* Copy(std::string_view text) {
  return InjectFailure() ? nullptr : MallocCopy(text);
}

void FailAllocationAfter(int successes) {
  g_fail_after.store(successes < 0 ? -1 : successes);
}

bool AllocationFailurePending() {
  return g_fail_after.load() >= 0;
}

}  // namespace upd::str
