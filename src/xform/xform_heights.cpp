// Heights of the main build's transform object: read from the elevation source of its set-up.
#include <new>

#include "hostmodel.h"
#include "poly/model_batch.h"
#include "xform/height_source.h"

namespace senmod {

namespace {

// Heights of the elevation source, through one 2-row point buffer of the host for every read.
class ElevationHeights final : public HeightSource {
 public:
  ElevationHeights(HmodElevationSource* source, HgdaBaseData* points)
      : source_(source), points_(points) {}
  ~ElevationHeights() override { hgda_BaseDataDelete(points_, nullptr); }
  ElevationHeights(const ElevationHeights&) = delete;
  ElevationHeights& operator=(const ElevationHeights&) = delete;

  bool heights(int32_t n, const double* x, const double* y, double* z, ErrorSlot& slot) override {
    for (int32_t j = 0; j < n; ++j) {
      points_->data[j * points_->columnStride] = x[j];
      points_->data[j * points_->columnStride + points_->rowOffset] = y[j];
    }
    if (ReadElevationValues(source_, n, points_, z, 0) != 0) {
      SMOD_FAIL(slot, "ReadElevationValues failed");
      return false;
    }
    return true;
  }

 private:
  HmodElevationSource* source_;
  HgdaBaseData* points_;
};

}  // namespace

HeightSource* openHeights(const RSM_Xform* xform, ErrorSlot& slot, bool* made) {
  *made = true;
  // A DEM file that could not be read left no source: its points take the constant height.
  HmodElevationSource* source =
      xform->model->rsm.demsource == HMOD_DEM_FILE ? xform->elevationSource : nullptr;
  if (!source) return nullptr;
  *made = false;
  CalleeSlot host;
  HgdaBaseData* points = hgda_BaseDataCreate(2, kBatchPoints, HGDA_PIXEL_FLOAT64, 2, 0, host.get());
  if (!points) {
    SMOD_FAIL(slot, "No memory", host.take());
    return nullptr;
  }
  void* block = hmsc_HeapMalloc(sizeof(ElevationHeights));
  if (!block) {
    hgda_BaseDataDelete(points, nullptr);
    SMOD_FAIL(slot, "No memory");
    return nullptr;
  }
  *made = true;
  return new (block) ElevationHeights(source, points);
}

}  // namespace senmod
