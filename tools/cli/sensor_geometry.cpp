#include "sensor_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "read_error.h"

namespace smodtool {

namespace {

constexpr size_t kBatch = ElevationReader::capacity();

void transform2D(RSM_Xform* xform, int32_t n, const double* in, double* out, ErrorReport** err) {
  smod_RSMXformTransform(xform, n, const_cast<double*>(in), out, err);
}

XformPtr configured(const RSM_Xform* model, bool groundToImage, const HeightSource& heights) {
  XformPtr copy = copyOf(model);
  if (heights.height) copy->model->rsm.z_mean = *heights.height;
  configure(copy.get(), groundToImage, heights.dem);
  return copy;
}

}  // namespace

SensorGeometry::SensorGeometry(const RSM_Xform* model, double pixelShift,
                               const HeightSource& heights)
    : shift_(pixelShift),
      dem_(!heights.dem.empty()),
      toImage_(configured(model, true, heights)),
      toGround_(configured(model, false, heights)) {
  if (dem_) elevation_.emplace();
  index_.resize(kBatch);
  in_.resize(3 * kBatch);
  out_.resize(2 * kBatch);
  heights_.resize(kBatch);
  failed_.resize(kBatch);
  firstFailed_.reserve(kBatch);
}

// Gathers the good points of [begin, end) into in_ as (x - shift, y - shift) pairs; returns
// how many.
size_t SensorGeometry::gather(size_t begin, size_t end, const double* x, const double* y,
                              const int* ok, double shift) {
  size_t count = 0;
  for (size_t i = begin; i < end; ++i) {
    if (!ok[i]) continue;
    index_[count] = i;
    in_[2 * count] = x[i] - shift;
    in_[2 * count + 1] = y[i] - shift;
    ++count;
  }
  return count;
}

// Runs fn over the count gathered points (stride reals each) into out_, marking in failed_ the
// points it cannot carry: a failing point stops a library call, so the call resumes after it.
void SensorGeometry::call(void (*fn)(RSM_Xform*, int32_t, const double*, double*, ErrorReport**),
                          RSM_Xform* xform, size_t count, size_t stride) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  size_t done = 0;
  while (done < count) {
    for (size_t i = done; i < count; ++i) out_[2 * i] = out_[2 * i + 1] = nan;
    ErrorReport* report = nullptr;
    fn(xform, static_cast<int32_t>(count - done), &in_[stride * done], &out_[2 * done], &report);
    if (!report) break;
    takeReportText(&report);
    while (done < count && std::isfinite(out_[2 * done])) failed_[done++] = 0;
    if (done < count) failed_[done++] = 1;
  }
  for (size_t i = done; i < count; ++i) failed_[i] = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!std::isfinite(out_[2 * i]) || !std::isfinite(out_[2 * i + 1])) failed_[i] = 1;
  }
}

void SensorGeometry::groundToPixel(size_t n, double* x, double* y, int* ok) {
  for (size_t begin = 0; begin < n; begin += kBatch) {
    const size_t count = gather(begin, std::min(n, begin + kBatch), x, y, ok, 0.0);
    call(transform2D, toImage_.get(), count, 2);
    for (size_t i = 0; i < count; ++i) {
      const size_t at = index_[i];
      ok[at] = !failed_[i];
      x[at] = out_[2 * i] + shift_;
      y[at] = out_[2 * i + 1] + shift_;
    }
  }
}

void SensorGeometry::pixelToGround(size_t n, double* x, double* y, double* h, int* ok) {
  for (size_t begin = 0; begin < n; begin += kBatch) {
    const size_t count = gather(begin, std::min(n, begin + kBatch), x, y, ok, shift_);
    call(transform2D, toGround_.get(), count, 2);
    if (dem_) {
      // The point found against the DEM, computed again at the DEM height read there, so that
      // longitude, latitude and height map back to the pixel.
      if (!elevation_->read(toImage_.get(), count, out_.data(), heights_.data())) {
        std::fill(failed_.begin(), failed_.begin() + count, 1);
      }
      for (size_t i = count; i-- > 0;) {
        in_[3 * i + 2] = heights_[i];
        in_[3 * i + 1] = in_[2 * i + 1];
        in_[3 * i] = in_[2 * i];
      }
      firstFailed_.assign(failed_.begin(), failed_.begin() + count);
      call(smod_RSMXformTransform3DTo2D, toGround_.get(), count, 3);
      for (size_t i = 0; i < count; ++i) failed_[i] |= firstFailed_[i];
    } else {
      for (size_t i = 0; i < count; ++i) heights_[i] = meanHeight();
    }
    for (size_t i = 0; i < count; ++i) {
      const size_t at = index_[i];
      ok[at] = !failed_[i];
      x[at] = out_[2 * i];
      y[at] = out_[2 * i + 1];
      h[at] = heights_[i];
    }
  }
}

}  // namespace smodtool
