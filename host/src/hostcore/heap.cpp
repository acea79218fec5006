// The host heap: malloc with a live-block count and a fail-after hook for tests.
#include <atomic>
#include <cstdlib>

#include "hostcore.h"

namespace {

std::atomic<long> liveBlocks{0};
// Allocations still allowed before every allocation fails; -1 means no limit.
std::atomic<long> allowance{-1};

bool TakeAllowance() {
  long left = allowance.load();
  while (left >= 0) {
    if (left == 0) return false;
    if (allowance.compare_exchange_weak(left, left - 1)) return true;
  }
  return true;
}

}  // namespace

extern "C" {

void* hmsc_HeapMalloc(size_t bytes) {
  if (!TakeAllowance()) return nullptr;
  void* block = std::malloc(bytes ? bytes : 1);
  if (block) liveBlocks.fetch_add(1);
  return block;
}

void hmsc_HeapFree(void* block) {
  if (!block) return;
  liveBlocks.fetch_sub(1);
  std::free(block);
}

void hmsc_HeapFailAfter(long n) { allowance.store(n < 0 ? -1 : n); }

long hmsc_HeapLiveBlocks(void) { return liveBlocks.load(); }

}  // extern "C"
