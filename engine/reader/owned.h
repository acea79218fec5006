// Owning handles of the library's records, and host-heap copies of plain values.
#ifndef SENMOD_IO_OWNED_H
#define SENMOD_IO_OWNED_H

#include <memory>
#include <string>
#include <vector>

#include "senmod/senmod.h"

namespace senmod_io {

struct ModelDeleter {
  void operator()(RSM_Model* model) const { smod_RSMDelete(model); }
};
struct XformDeleter {
  void operator()(RSM_Xform* xform) const { smod_RSMXformDelete(xform); }
};
struct ApaDeleter {
  // smod_RSMAPADelete releases the members only; the record block goes after them.
  void operator()(Smod_RSMAPA* record) const {
    smod_RSMAPADelete(record);
    hmsc_HeapFree(record);
  }
};
struct DcaDeleter {
  void operator()(Smod_RSMDCA* record) const { smod_RSMDCADelete(record); }
};
struct EcaDeleter {
  void operator()(Smod_RSMECA* record) const { smod_RSMECADelete(record); }
};

using ModelPtr = std::unique_ptr<RSM_Model, ModelDeleter>;
using XformPtr = std::unique_ptr<RSM_Xform, XformDeleter>;

// The covariance records that came with a model; any of them may be absent.
struct CovarianceRecords {
  std::unique_ptr<Smod_RSMAPA, ApaDeleter> apa;
  std::unique_ptr<Smod_RSMDCA, DcaDeleter> dca;
  std::unique_ptr<Smod_RSMECA, EcaDeleter> eca;
};

// Host-heap copies for record members; throw std::bad_alloc when the heap is exhausted.
// An empty vector gives the empty counted pointer.
Smod_Doubles heapDoubles(const std::vector<double>& values);
Smod_Ints heapInts(const std::vector<int32_t>& values);
// A counted text: the count includes the terminating zero.
Hmif_String heapText(const std::string& text);

}  // namespace senmod_io

#endif
