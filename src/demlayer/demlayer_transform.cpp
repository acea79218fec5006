// 2-D batches of the DEM-layer build: heights read from the nearest cell of the DEM layer,
// for the whole batch from ground to image and point by point from image to ground.
#include <cmath>
#include <cstdint>

#include "common/error_slot.h"
#include "common/scoped.h"
#include "hostphotogui.h"
#include "senmod/senmod.h"
#include "xform/xform_points.h"

namespace {

using senmod::ErrorSlot;

// Difference from the layer's null value below which a pixel counts as null.
constexpr double kNullTolerance = 1e-10;

// The nearest cell's index of layer coordinate c (half away from zero); false when c lies so
// far out that no cell can be there.
bool nearestCell(double c, int32_t* cell) {
  if (!(std::fabs(c) < 2.0e9)) return false;
  *cell = static_cast<int32_t>(c >= 0.0 ? c + 0.5 : c - 0.5);
  return true;
}

// What the batch reads through: the object's layer, map-to-layer transform and height terms,
// and one 1-by-1 pixel rectangle for every read.
class LayerHeights {
 public:
  LayerHeights(const RSM_Xform* xform, double zMean) : xform_(xform), zMean_(zMean) {}
  ~LayerHeights() { himg_PixelRectDelete(&pixel_, nullptr); }
  LayerHeights(const LayerHeights&) = delete;
  LayerHeights& operator=(const LayerHeights&) = delete;

  // False after reporting "No memory" in slot.
  bool make(ErrorSlot& slot) {
    senmod::CalleeSlot host;
    pixel_ = himg_PixelRectCreate(1, 1, HGDA_PIXEL_FLOAT64, host.get());
    if (!pixel_) SMOD_FAIL(slot, "No memory", host.take());
    return pixel_ != nullptr;
  }

  // Layer coordinates of n map points (x, y pairs); false after reporting in slot.
  bool toLayer(int32_t n, const double* map, double* layer, ErrorSlot& slot) const {
    senmod::CalleeSlot host;
    if (hxfr_Transform(xform_->mapToLayer, n, map, layer, host.get()) != 0 || host.failed()) {
      SMOD_FAIL(slot, "hxfr_Transform failed", host.take());
      return false;
    }
    return true;
  }

  // The height at layer point (x, y): its nearest cell through the height terms, or z_mean for
  // a null cell and for one that cannot be read (off the layer).
  double at(double x, double y) {
    int32_t column, row;
    if (!nearestCell(x, &column) || !nearestCell(y, &row)) return zMean_;
    if (himg_LayerRasterPixelRectGet(xform_->layer, column, row, 1, 1,
                                     himg_LayerPixelType(xform_->layer), pixel_, nullptr) != 0) {
      return zMean_;
    }
    const double value = pixel_->values[0];
    if (std::fabs(value - xform_->demNullValue) < kNullTolerance) return zMean_;
    return hpho_CalcZ(x, y, value, xform_->heightTermCount, xform_->heightTerms);
  }

 private:
  const RSM_Xform* xform_;
  double zMean_;
  HimgPixelRect* pixel_ = nullptr;
};

bool transformToMapWithDem(const RSM_Model* model, LayerHeights& layer, double u, double v,
                           double* height, double* x, double* y, ErrorReport** err) {
  ErrorSlot slot(err, "transformToMapWithDem");
  return senmod::iterateHeight(model, u, v, height, x, y, slot,
                               [&](double groundX, double groundY, double* z) {
                                 const double map[2] = {groundX, groundY};
                                 double cell[2];
                                 if (!layer.toLayer(1, map, cell, slot)) return false;
                                 *z = layer.at(cell[0], cell[1]);
                                 return true;
                               });
}

void transformBatch(RSM_Xform* xform, int32_t n, const double* in, double* out, ErrorSlot& slot) {
  const RSM_Model* model = xform->model;
  const RSM_Model_Orig& rsm = model->rsm;
  const double zMean = rsm.z_mean;
  const senmod::AffinePair affines = senmod::affinesFor(rsm);
  auto atHeight = [&](double u, double v, double z, double* x, double* y) {
    return senmod::modelPoint(model, u, v, z, x, y, slot);
  };
  const bool fromDem = rsm.demsource == HMOD_DEM_FILE && xform->layer && xform->mapToLayer;
  if (!fromDem || n <= 0) {
    senmod::transformAtHeight(model, affines, n, in, out, zMean, slot);
    return;
  }
  LayerHeights layer(xform, zMean);
  if (!layer.make(slot)) return;
  if (rsm.groundToImageTransform != SMOD_FALSE) {
    // Map points and then their layer coordinates, two reals per point each.
    senmod::HeapBlock<double> points(static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * 4 * n)));
    if (!points.get()) {
      SMOD_FAIL(slot, "No memory");
      return;
    }
    double* map = points.get();
    double* cells = points.get() + 2 * n;
    for (int32_t j = 0; j < n; ++j) {
      senmod::applyAffine(affines.before, in[2 * j], in[2 * j + 1], &map[2 * j], &map[2 * j + 1]);
    }
    if (!layer.toLayer(n, map, cells, slot)) return;
    senmod::transformPoints(affines, n, in, out,
                            [&](int32_t j, double u, double v, double* x, double* y) {
                              return atHeight(u, v, layer.at(cells[2 * j], cells[2 * j + 1]), x, y);
                            });
    return;
  }
  senmod::transformPoints(
      affines, n, in, out, [&](int32_t, double u, double v, double* x, double* y) {
        double height = zMean;
        senmod::CalleeSlot iteration;
        if (transformToMapWithDem(model, layer, u, v, &height, x, y, iteration.get())) return true;
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
