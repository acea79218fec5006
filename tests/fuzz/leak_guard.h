// The host-heap check every fuzz target makes around one input.
#ifndef TESTS_FUZZ_LEAK_GUARD_H
#define TESTS_FUZZ_LEAK_GUARD_H

#include <stdlib.h>

#include "hostcore.h"

namespace fuzz {

// Aborts (a finding) when the host heap holds a different number of blocks than before.
class LeakGuard {
 public:
  LeakGuard() : live_(hmsc_HeapLiveBlocks()) {}
  ~LeakGuard() {
    if (hmsc_HeapLiveBlocks() != live_) abort();
  }

 private:
  long live_;
};

}  // namespace fuzz

#endif
