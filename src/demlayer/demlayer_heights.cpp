// Heights of the DEM-layer build's transform object: the nearest cell of its DEM layer.
#include <cmath>
#include <new>

#include "hostphotogui.h"
#include "poly/model_batch.h"
#include "xform/height_source.h"

namespace senmod {

namespace {

// Difference from the layer's null value below which a pixel counts as null.
constexpr double kNullTolerance = 1e-10;

// The nearest cell's index of layer coordinate c (half away from zero); false when c lies so
// far out that no cell can be there.
bool nearestCell(double c, int32_t* cell) {
  if (!(std::fabs(c) < 2.0e9)) return false;
  *cell = static_cast<int32_t>(c >= 0.0 ? c + 0.5 : c - 0.5);
  return true;
}

// Reads through the object's layer, map-to-layer transform and height terms, and one 1-by-1
// pixel rectangle for every read.
class LayerHeights final : public HeightSource {
 public:
  LayerHeights(const RSM_Xform* xform, HimgPixelRect* pixel)
      : xform_(xform), zMean_(xform->model->rsm.z_mean), pixel_(pixel) {}
  ~LayerHeights() override { himg_PixelRectDelete(&pixel_, nullptr); }
  LayerHeights(const LayerHeights&) = delete;
  LayerHeights& operator=(const LayerHeights&) = delete;

  bool heights(int32_t n, const double* x, const double* y, double* z, ErrorSlot& slot) override {
    double map[2 * kBatchPoints];
    double layer[2 * kBatchPoints];
    for (int32_t j = 0; j < n; ++j) {
      map[2 * j] = x[j];
      map[2 * j + 1] = y[j];
    }
    CalleeSlot host;
    if (hxfr_Transform(xform_->mapToLayer, n, map, layer, host.get()) != 0 || host.failed()) {
      SMOD_FAIL(slot, "hxfr_Transform failed", host.take());
      return false;
    }
    for (int32_t j = 0; j < n; ++j) z[j] = at(layer[2 * j], layer[2 * j + 1]);
    return true;
  }

 private:
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

  const RSM_Xform* xform_;
  double zMean_;
  HimgPixelRect* pixel_;
};

}  // namespace

HeightSource* openHeights(const RSM_Xform* xform, ErrorSlot& slot, bool* made) {
  *made = true;
  const RSM_Model_Orig& rsm = xform->model->rsm;
  if (rsm.demsource != HMOD_DEM_FILE || !xform->layer || !xform->mapToLayer) return nullptr;
  *made = false;
  CalleeSlot host;
  HimgPixelRect* pixel = himg_PixelRectCreate(1, 1, HGDA_PIXEL_FLOAT64, host.get());
  if (!pixel) {
    SMOD_FAIL(slot, "No memory", host.take());
    return nullptr;
  }
  void* block = hmsc_HeapMalloc(sizeof(LayerHeights));
  if (!block) {
    himg_PixelRectDelete(&pixel, nullptr);
    SMOD_FAIL(slot, "No memory");
    return nullptr;
  }
  *made = true;
  return new (block) LayerHeights(xform, pixel);
}

}  // namespace senmod
