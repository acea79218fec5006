// Making a transform object: the same in both builds, whose records differ only in what the
// elevation set-up fills in.
#include <cstring>

#include "common/error_slot.h"
#include "senmod/senmod.h"

RSM_Xform* smod_RSMXformCreate(ErrorReport** err) {
  if (err) *err = nullptr;
  auto* xform = static_cast<RSM_Xform*>(hmsc_HeapMalloc(sizeof(RSM_Xform)));
  if (xform) std::memset(static_cast<void*>(xform), 0, sizeof(RSM_Xform));
  return xform;
}

RSM_Xform* smod_RSMXformGetFromRSMData(RSM_Model* model, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RSMXformGetFromRSMData");
  senmod::CalleeSlot create;
  RSM_Xform* xform = smod_RSMXformCreate(create.get());
  if (!xform) {
    SMOD_FAIL(slot, "smod_RSMXformCreate failed", create.take());
    slot.printAndClear();
    return nullptr;
  }
  xform->model = model;
  return xform;
}
