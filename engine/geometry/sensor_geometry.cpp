#include "sensor_geometry.h"

#include <algorithm>
#include <cmath>

#include "senmod/senmod_io.h"

namespace senmod_io {

namespace {

constexpr double kMetresPerDegree = 111320.0;  // of latitude, and of longitude at the equator

bool succeeded(int status) { return status == SMOD_POINT_OK || status == SMOD_POINT_OFF_DEM; }

// Metres between two points (degrees) close to each other, on a sphere: enough to tell a
// round trip that lands where it started from one that lands kilometres away.
double metresBetween(double lon0, double lat0, double lon1, double lat1) {
  const double dx = nearLongitude(lon1, lon0) - lon0;
  const double dy = lat1 - lat0;
  const double c = std::cos(lat0 * M_PI / 180.0);
  return kMetresPerDegree * std::hypot(dx * c, dy);
}

// The larger ground size (m) of the image domain's centre pixel along a row and a column, at
// the model's mean height; infinite when it cannot be found.
double pixelGroundSize(PointEngine& engine) {
  const Smod_Doubles& d = engine.model().xform->model->rsm.imageDomain;
  if (d.count < 4 || !d.data) return HUGE_VAL;
  const double s = (d.data[0] + d.data[1]) / 2.0;
  const double r = (d.data[2] + d.data[3]) / 2.0;
  const double sample[3] = {s, s + 1.0, s};
  const double row[3] = {r, r, r + 1.0};
  const double h = engine.modelMeanHeight();
  const double height[3] = {h, h, h};
  double lon[3], lat[3];
  int status[3];
  engine.imageToGround(3, sample, row, height, lon, lat, nullptr, nullptr, status);
  if (!succeeded(status[0]) || !succeeded(status[1]) || !succeeded(status[2])) return HUGE_VAL;
  return std::max(metresBetween(lon[0], lat[0], lon[1], lat[1]),
                  metresBetween(lon[0], lat[0], lon[2], lat[2]));
}

}  // namespace

SensorGeometry::SensorGeometry(PointEngine& engine, std::optional<double> height, bool roundTrip)
    : engine_(engine),
      height_(height),
      shift_(gdalPixelShiftOf(engine.model().pixelConvention)),
      tolerance_(roundTrip ? pixelGroundSize(engine) : HUGE_VAL) {}

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

// Marks outside the domain the points of the count gathered ones that lie outside the ground
// domain itself (where the polynomials were fitted, they do not fold) and whose image position,
// carried back at the height it was found at, does not land where they are.
void SensorGeometry::refuseFolds(size_t count) {
  const DomainLimits& d = engine_.limits();
  checked_.clear();
  for (size_t k = 0; k < count; ++k) {
    if (!succeeded(status_[k])) continue;
    const double lon = d.ground ? nearLongitude(inX_[k], d.lonCentre) : inX_[k];
    const bool inside = d.ground && lon >= d.coreLonMin && lon <= d.coreLonMax &&
                        inY_[k] >= d.coreLatMin && inY_[k] <= d.coreLatMax;
    if (!inside) checked_.push_back(k);
  }
  const size_t m = checked_.size();
  if (m == 0) return;
  backX_.resize(m);
  backY_.resize(m);
  backZ_.resize(m);
  backStatus_.resize(m);
  backSample_.resize(m);
  backRow_.resize(m);
  for (size_t c = 0; c < m; ++c) {
    backSample_[c] = outX_[checked_[c]];
    backRow_[c] = outY_[checked_[c]];
    backZ_[c] = used_[checked_[c]];
  }
  engine_.imageToGround(m, backSample_.data(), backRow_.data(), backZ_.data(), backX_.data(),
                        backY_.data(), nullptr, nullptr, backStatus_.data());
  for (size_t c = 0; c < m; ++c) {
    const size_t k = checked_[c];
    if (!succeeded(backStatus_[c]) ||
        !(metresBetween(inX_[k], inY_[k], backX_[c], backY_[c]) <= tolerance_)) {
      status_[k] = SMOD_POINT_OUTSIDE_DOMAIN;
    }
  }
}

void SensorGeometry::groundToPixel(size_t n, double* x, double* y, int* ok) {
  const size_t count = gather(n, x, y, ok, 0.0);
  used_.resize(count);
  engine_.groundToImage(count, inX_.data(), inY_.data(), height_ ? heights_.data() : nullptr,
                        outX_.data(), outY_.data(), used_.data(), status_.data(), false);
  if (std::isfinite(tolerance_)) refuseFolds(count);
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
                        outX_.data(), outY_.data(), used.data(), nullptr, status_.data(), false);
  for (size_t k = 0; k < count; ++k) {
    const size_t i = index_[k];
    ok[i] = succeeded(status_[k]);
    x[i] = outX_[k];
    y[i] = outY_[k];
    h[i] = used[k];
  }
}

}  // namespace senmod_io
