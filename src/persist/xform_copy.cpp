#include "common/error_slot.h"
#include "senmod/senmod.h"

extern "C" SMOD_API RSM_Xform* smod_RSMXformCopy(const RSM_Xform* xform, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RSMXformCopy");
  senmod::CalleeSlot callee;
  RSM_Xform* copy = nullptr;
  bool failed = true;
  if (!xform) {
    SMOD_FAIL(slot, "Args");
  } else if (!(copy = smod_RSMXformCreate(callee.get()))) {
    SMOD_FAIL(slot, "No memory", callee.take());
  } else if (!xform->model || !(copy->model = smod_RSMCopy(xform->model, callee.get()))) {
    SMOD_FAIL(slot, "hmod_RSMCopy failed", callee.take());
  } else {
    failed = false;
  }
  if (!failed) return copy;
  slot.printAndClear();
  smod_RSMXformDelete(copy);
  return nullptr;
}
