#include "poly/plan_cache.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace senmod {

namespace {

// Values of an array that a plan may have read: no more than a polynomial has terms.
size_t readable(const Smod_Doubles& a) {
  if (!a.data || a.count <= 0) return 0;
  return static_cast<size_t>(a.count < kTableEntries ? a.count : kTableEntries);
}

// Copies and compares the values of an array that a plan may have read (none of a null one).
void copyReadable(double* to, const Smod_Doubles& a) {
  if (const size_t n = readable(a)) std::memcpy(to, a.data, sizeof(double) * n);
}

bool sameReadable(const double* kept, const Smod_Doubles& a) {
  const size_t n = readable(a);
  return n == 0 || std::memcmp(kept, a.data, sizeof(double) * n) == 0;
}

// A plan and the bytes of the section it was built from.
struct Kept {
  bool filled = false;
  uint64_t lastUse = 0;
  const RSMFunctions* section;
  Use use;
  RSMFunctions fields;
  double coef[kPolys][kTableEntries];
  double startOrder;
  SectionPlan plan;

  void record(const RSMFunctions* s, Use u) {
    section = s;
    use = u;
    std::memcpy(static_cast<void*>(&fields), s, sizeof(RSMFunctions));
    const CoefficientArrays arrays = coefficientArrays(*s);
    for (int p = 0; p < kPolys; ++p) copyReadable(coef[p], *arrays.array[p]);
    if (readable(s->imageToGroundPoly) > 0) startOrder = s->imageToGroundPoly.data[0];
  }

  bool holds(const RSMFunctions* s, Use u) const {
    // Equal fields mean equal counts and pointers, so the arrays compare over the same lengths.
    if (!filled || section != s || use != u || std::memcmp(&fields, s, sizeof(RSMFunctions)) != 0)
      return false;
    const CoefficientArrays arrays = coefficientArrays(*s);
    for (int p = 0; p < kPolys; ++p)
      if (!sameReadable(coef[p], *arrays.array[p])) return false;
    return readable(s->imageToGroundPoly) == 0 ||
           std::memcmp(&startOrder, s->imageToGroundPoly.data, sizeof(double)) == 0;
  }
};

struct Cache {
  uint64_t clock = 0;
  // Not zeroed: a plan and its record are written before they are read.
  Kept kept[kKeptPlans];
};

// This thread's cache, made at its first use and released when the thread ends. It is the
// library's own, so it comes from the C++ heap rather than the host heap that callers account.
// A call made while the thread ends (from another thread-local destructor) builds its plan
// without a cache.
class ThreadCache {
 public:
  ThreadCache() = default;
  ThreadCache(const ThreadCache&) = delete;
  ThreadCache& operator=(const ThreadCache&) = delete;
  ~ThreadCache() {
    delete cache_;
    cache_ = nullptr;
    ended_ = true;
  }

  // Null when the cache cannot be allocated (tried again at the next call) or the thread ends.
  Cache* get() {
    if (!cache_ && !ended_) cache_ = new (std::nothrow) Cache;
    return cache_;
  }

 private:
  Cache* cache_ = nullptr;
  bool ended_ = false;
};

thread_local ThreadCache threadCache;

}  // namespace

const char* recentSectionPlan(const RSMFunctions* section, Use use, SectionPlan* spare,
                              const SectionPlan** plan) {
  const char* refusal = nullptr;
  *plan = keptSectionPlan(section, use, &refusal);
  if (*plan || refusal) return refusal;
  *plan = spare;
  return buildSectionPlan(section, use, spare);
}

// Kept per thread: enough for a grid's placing section and the section it chooses, in both
// directions.
const SectionPlan* keptSectionPlan(const RSMFunctions* section, Use use, const char** refusal) {
  *refusal = nullptr;
  Cache* cache = section ? threadCache.get() : nullptr;
  if (!cache) return nullptr;
  Kept* oldest = &cache->kept[0];
  for (Kept& k : cache->kept) {
    if (k.holds(section, use)) {
      k.lastUse = ++cache->clock;
      return &k.plan;
    }
    if (k.lastUse < oldest->lastUse) oldest = &k;
  }
  oldest->filled = false;
  if ((*refusal = buildSectionPlan(section, use, &oldest->plan))) return nullptr;
  oldest->record(section, use);
  oldest->filled = true;
  oldest->lastUse = ++cache->clock;
  return &oldest->plan;
}

}  // namespace senmod
