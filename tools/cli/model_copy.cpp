#include "model_copy.h"

#include <new>

#include "hostmodel.h"
#include "read_error.h"

namespace smodtool {

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

ElevationReader::ElevationReader()
    : buffer_(hgda_BaseDataCreate(2, static_cast<int32_t>(capacity()), HGDA_PIXEL_FLOAT64, 2, 0,
                                  nullptr)) {
  if (!buffer_) throw std::bad_alloc();
}

ElevationReader::~ElevationReader() { hgda_BaseDataDelete(buffer_, nullptr); }

bool ElevationReader::read(const RSM_Xform* xform, size_t count, const double* xy,
                           double* heights) {
  const int32_t n = static_cast<int32_t>(count);
  for (int32_t j = 0; j < n; ++j) {
    buffer_->data[j * buffer_->columnStride] = xy[2 * j];
    buffer_->data[j * buffer_->columnStride + buffer_->rowOffset] = xy[2 * j + 1];
  }
  return ReadElevationValues(xform->elevationSource, n, buffer_, heights, 0) == 0;
}

}  // namespace smodtool
