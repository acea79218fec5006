#include "model_copy.h"

#include <new>

#include "read_error.h"

namespace senmod_io {

XformPtr copyOf(const RSM_Xform* model) {
  XformPtr copy(smod_RSMXformCopy(model, nullptr));
  if (!copy) throw std::bad_alloc();
  return copy;
}

void configure(RSM_Xform* xform, bool groundToImage, const std::string& dem) {
  RSM_Model_Orig& rsm = xform->model->rsm;
  rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
  hmif_PTRFreeContents(&rsm.demfilename);
  if (dem.empty()) {
    rsm.demsource = HMOD_DEM_CONSTANT;
    return;
  }
  rsm.demsource = HMOD_DEM_FILE;
  rsm.demfilename = heapText(dem);
  smod_RSMXformFillNoMIFData(xform, nullptr);
  if (!xform->filled || rsm.demsource != HMOD_DEM_FILE || !xform->elevationSource) {
    throw ReadError(dem + ": the DEM cannot be used for this model");
  }
}

}  // namespace senmod_io
