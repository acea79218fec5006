// 2-D batches of the main build: heights from the object's elevation source, read for the whole
// batch from ground to image and iterated point by point from image to ground.
#include "common/error_slot.h"
#include "common/scoped.h"
#include "hostmodel.h"
#include "senmod/senmod.h"
#include "xform/xform_points.h"

namespace {

using senmod::ErrorSlot;

// A 2-row point buffer of the host, released when it goes.
class PointBuffer {
 public:
  PointBuffer() = default;
  ~PointBuffer() { hgda_BaseDataDelete(data_, nullptr); }
  PointBuffer(const PointBuffer&) = delete;
  PointBuffer& operator=(const PointBuffer&) = delete;

  // Makes a buffer of n columns; false after reporting "No memory" in slot.
  bool make(int32_t n, ErrorSlot& slot) {
    senmod::CalleeSlot host;
    data_ = hgda_BaseDataCreate(2, n, HGDA_PIXEL_FLOAT64, 2, 0, host.get());
    if (!data_) SMOD_FAIL(slot, "No memory", host.take());
    return data_ != nullptr;
  }
  void set(int32_t column, double x, double y) {
    data_->data[column * data_->columnStride] = x;
    data_->data[column * data_->columnStride + data_->rowOffset] = y;
  }
  const HgdaBaseData* get() const { return data_; }

 private:
  HgdaBaseData* data_ = nullptr;
};

// Heights of the n points of points; false after reporting in slot.
bool readHeights(HmodElevationSource* source, int32_t n, const PointBuffer& points, double* heights,
                 int32_t flag, ErrorSlot& slot) {
  if (ReadElevationValues(source, n, points.get(), heights, flag) != 0) {
    SMOD_FAIL(slot, "ReadElevationValues failed");
    return false;
  }
  return true;
}

// Carries image point (u, v) to the ground at the terrain height of the elevation source,
// starting at *height and leaving the final height there. The 1-column point buffer is reused
// from point to point.
bool transformToMapWithDem(HmodElevationSource* source, const RSM_Model* model, double u, double v,
                           double* height, PointBuffer& point, double* x, double* y,
                           ErrorReport** err) {
  ErrorSlot slot(err, "transformToMapWithDem");
  return senmod::iterateHeight(model, u, v, height, x, y, slot,
                               [&](double groundX, double groundY, double* z) {
                                 point.set(0, groundX, groundY);
                                 return readHeights(source, 1, point, z, 1, slot);
                               });
}

void transformBatch(RSM_Xform* xform, int32_t n, const double* in, double* out, ErrorSlot& slot) {
  const RSM_Model* model = xform->model;
  const RSM_Model_Orig& rsm = model->rsm;
  // Read after the set-up, which may take the DEM's mean into the model.
  const double zMean = rsm.z_mean;
  const senmod::AffinePair affines = senmod::affinesFor(rsm);
  auto atHeight = [&](double u, double v, double z, double* x, double* y) {
    return senmod::modelPoint(model, u, v, z, x, y, slot);
  };
  // A DEM file that could not be read left no source: its points take the constant height.
  HmodElevationSource* source = rsm.demsource == HMOD_DEM_FILE ? xform->elevationSource : nullptr;
  if (!source || n <= 0) {
    senmod::transformAtHeight(model, affines, n, in, out, zMean, slot);
    return;
  }
  if (rsm.groundToImageTransform != SMOD_FALSE) {
    PointBuffer points;
    if (!points.make(n, slot)) return;
    senmod::HeapBlock<double> heights(static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * n)));
    if (!heights.get()) {
      SMOD_FAIL(slot, "No memory");
      return;
    }
    for (int32_t j = 0; j < n; ++j) {
      double u, v;
      senmod::applyAffine(affines.before, in[2 * j], in[2 * j + 1], &u, &v);
      points.set(j, u, v);
    }
    if (!readHeights(source, n, points, heights.get(), 0, slot)) return;
    senmod::transformPoints(affines, n, in, out,
                            [&](int32_t j, double u, double v, double* x, double* y) {
                              return atHeight(u, v, heights.get()[j], x, y);
                            });
    return;
  }
  PointBuffer point;
  if (!point.make(1, slot)) return;
  senmod::transformPoints(
      affines, n, in, out, [&](int32_t, double u, double v, double* x, double* y) {
        double height = zMean;
        senmod::CalleeSlot iteration;
        if (transformToMapWithDem(source, model, u, v, &height, point, x, y, iteration.get())) {
          return true;
        }
        SMOD_FAIL(slot, "transformToMapWithDem failed", iteration.take());
        return false;
      });
}

}  // namespace

void smod_RSMXformTransform(RSM_Xform* xform, int32_t n, double* in, double* out,
                            ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformTransform");
  if (!out) out = in;
  if (!senmod::batchArgumentsValid(xform, n, in, out, slot)) return;
  if (!senmod::ensureFilled(xform, slot)) return;
  transformBatch(xform, n, in, out, slot);
}
