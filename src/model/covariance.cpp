// The adjustable-parameter and error-covariance records: created zeroed, filled by the host.
#include <algorithm>
#include <cstring>

#include "senmod/senmod.h"

namespace {

template <typename Counted>
void release(Counted* member) {
  if (member->data) {
    hmsc_HeapFree(member->data);
    member->data = nullptr;
  }
}

// One zeroed block large enough for either record (+0.0 and null are all-zero bytes).
void* zeroedRecord(size_t bytes, ErrorReport** err) {
  if (err) *err = nullptr;
  void* record = hmsc_HeapMalloc(bytes);
  if (record) std::memset(record, 0, bytes);
  return record;
}

constexpr size_t kDcaApaSize = std::max(sizeof(Smod_RSMDCA), sizeof(Smod_RSMAPA));

}  // namespace

extern "C" Smod_RSMECA* smod_RSMECACreate(ErrorReport** err) {
  return static_cast<Smod_RSMECA*>(zeroedRecord(sizeof(Smod_RSMECA), err));
}

extern "C" Smod_RSMDCA* smod_RSMDCACreate(ErrorReport** err) {
  return static_cast<Smod_RSMDCA*>(zeroedRecord(kDcaApaSize, err));
}

extern "C" Smod_RSMAPA* smod_RSMAPACreate(ErrorReport** err) {
  return static_cast<Smod_RSMAPA*>(zeroedRecord(kDcaApaSize, err));
}

extern "C" void smod_RSMECADelete(Smod_RSMECA* record) {
  if (!record) return;
  release(&record->inclic);
  release(&record->incluc);
  release(&record->errcvg);
  release(&record->corseg);
  release(&record->tauseg);
  release(&record->map);
  release(&record->ucorsr);
  release(&record->utausr);
  release(&record->ucorsc);
  release(&record->utausc);
  hmsc_HeapFree(record);
}

extern "C" void smod_RSMDCADelete(Smod_RSMDCA* record) {
  if (!record) return;
  release(&record->iidi);
  release(&record->npari);
  release(&record->dercov);
  hmsc_HeapFree(record);
}

extern "C" void smod_RSMAPADelete(Smod_RSMAPA* record) {
  if (!record) return;
  release(&record->iid);
  release(&record->edition);
  release(&record->tid);
  release(&record->parval);
}
