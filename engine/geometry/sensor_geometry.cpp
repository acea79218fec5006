#include "sensor_geometry.h"

#include "senmod/senmod_io.h"

namespace senmod_io {

SensorGeometry::SensorGeometry(PointEngine& engine, std::optional<double> height)
    : engine_(engine), height_(height), shift_(gdalPixelShiftOf(engine.model().pixelConvention)) {}

// Gathers the points with ok[i] set into inX_, inY_ less shift; returns how many.
size_t SensorGeometry::gather(size_t n, const double* x, const double* y, const int* ok,
                              double shift) {
  index_.clear();
  inX_.clear();
  inY_.clear();
  for (size_t i = 0; i < n; ++i) {
    if (!ok[i]) continue;
    index_.push_back(i);
    inX_.push_back(x[i] - shift);
    inY_.push_back(y[i] - shift);
  }
  const size_t count = index_.size();
  outX_.resize(count);
  outY_.resize(count);
  status_.resize(count);
  heights_.assign(height_ ? count : 0, height_ ? *height_ : 0.0);
  return count;
}

namespace {

bool succeeded(int status) { return status == SMOD_POINT_OK || status == SMOD_POINT_OFF_DEM; }

}  // namespace

void SensorGeometry::groundToPixel(size_t n, double* x, double* y, int* ok) {
  const size_t count = gather(n, x, y, ok, 0.0);
  engine_.groundToImage(count, inX_.data(), inY_.data(), height_ ? heights_.data() : nullptr,
                        outX_.data(), outY_.data(), nullptr, status_.data());
  for (size_t k = 0; k < count; ++k) {
    const size_t i = index_[k];
    ok[i] = succeeded(status_[k]);
    x[i] = outX_[k] + shift_;
    y[i] = outY_[k] + shift_;
  }
}

void SensorGeometry::pixelToGround(size_t n, double* x, double* y, double* h, int* ok) {
  const size_t count = gather(n, x, y, ok, shift_);
  std::vector<double>& used = heights_;
  if (!height_) used.resize(count);
  engine_.imageToGround(count, inX_.data(), inY_.data(), height_ ? heights_.data() : nullptr,
                        outX_.data(), outY_.data(), used.data(), nullptr, status_.data());
  for (size_t k = 0; k < count; ++k) {
    const size_t i = index_[k];
    ok[i] = succeeded(status_[k]);
    x[i] = outX_[k];
    y[i] = outY_[k];
    h[i] = used[k];
  }
}

}  // namespace senmod_io
