#include "adjustment.h"

#include <cmath>

namespace senmod_io {

namespace {

// The derivative of the moved point X' with respect to one ground-space term's value, at X.
Vec3 groundDerivative(GroundTerm term, const Vec3& x) {
  switch (term) {
    case GroundTerm::XO: return {1, 0, 0};
    case GroundTerm::YO: return {0, 1, 0};
    case GroundTerm::ZO: return {0, 0, 1};
    // X × W: the derivatives are X × the unit vectors.
    case GroundTerm::XR: return {0, x[2], -x[1]};
    case GroundTerm::YR: return {-x[2], 0, x[0]};
    case GroundTerm::ZR: return {x[1], -x[0], 0};
    case GroundTerm::S: return x;
    case GroundTerm::XX: return {x[0], 0, 0};
    case GroundTerm::XY: return {x[1], 0, 0};
    case GroundTerm::XZ: return {x[2], 0, 0};
    case GroundTerm::YX: return {0, x[0], 0};
    case GroundTerm::YY: return {0, x[1], 0};
    case GroundTerm::YZ: return {0, x[2], 0};
    case GroundTerm::ZX: return {0, 0, x[0]};
    case GroundTerm::ZY: return {0, 0, x[1]};
    case GroundTerm::ZZ: return {0, 0, x[2]};
  }
  return {0, 0, 0};
}

}  // namespace

Adjustment::Adjustment(const AdjustableParameters& p)
    : count_(p.count()),
      frame_{p.origin, p.axes},
      offset_(p.offset),
      scale_(p.scale),
      terms_(p.terms),
      values_(p.values) {
  values_.resize(count_, 0.0);
  m_ = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (const AdjustmentTerm& t : terms_) {
    const double v = values_[t.parameter];
    if (v == 0.0) continue;
    if (t.kind != AdjustmentTerm::Kind::Ground) {
      shiftsImage_ = true;
      continue;
    }
    movesGround_ = true;
    // Every ground term is linear in X: its derivative at the unit vectors gives M's columns,
    // at the origin the offset.
    const Vec3 atOrigin = groundDerivative(t.ground, {0, 0, 0});
    for (int i = 0; i < 3; ++i) o_[i] += v * atOrigin[i];
    for (int j = 0; j < 3; ++j) {
      Vec3 unit{0, 0, 0};
      unit[j] = 1.0;
      const Vec3 d = groundDerivative(t.ground, unit);
      for (int i = 0; i < 3; ++i) m_[3 * i + j] += v * (d[i] - atOrigin[i]);
    }
  }
}

Vec3 Adjustment::moved(const Vec3& x) const {
  Vec3 y;
  for (int i = 0; i < 3; ++i) {
    y[i] = m_[3 * i] * x[0] + m_[3 * i + 1] * x[1] + m_[3 * i + 2] * x[2] + o_[i];
  }
  return y;
}

double Adjustment::monomial(const std::array<int, 3>& powers, const Vec3& local) const {
  double product = 1.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double u = (local[axis] - offset_[axis]) / scale_[axis];
    for (int k = 0; k < powers[axis]; ++k) product *= u;
  }
  return product;
}

void Adjustment::shift(const Vec3& local, double* dSample, double* dRow) const {
  double s = 0.0, r = 0.0;
  for (const AdjustmentTerm& t : terms_) {
    const double v = values_[t.parameter];
    if (v == 0.0 || t.kind == AdjustmentTerm::Kind::Ground) continue;
    (t.kind == AdjustmentTerm::Kind::Row ? r : s) += v * monomial(t.powers, local);
  }
  *dSample = s;
  *dRow = r;
}

void Adjustment::apply(double lon, double lat, double h, double* movedLon, double* movedLat,
                       double* movedH, double* dSample, double* dRow) const {
  *dSample = *dRow = 0.0;
  if (!movesGround_ && !shiftsImage_) {
    *movedLon = lon;
    *movedLat = lat;
    *movedH = h;
    return;
  }
  const Vec3 x = frame_.toLocal(geocentricOf(lon, lat, h));
  if (shiftsImage_) shift(x, dSample, dRow);
  if (!movesGround_) {
    *movedLon = lon;
    *movedLat = lat;
    *movedH = h;
    return;
  }
  geodeticOf(frame_.toGeocentric(moved(x)), movedLon, movedLat, movedH);
  // The same longitude turn as the point's, so that a domain across the antimeridian holds.
  *movedLon += 360.0 * std::round((lon - *movedLon) / 360.0);
}

void Adjustment::partials(const Vec3& local, double* ground, double* image) const {
  for (size_t k = 0; k < 3 * count_; ++k) ground[k] = 0.0;
  for (size_t k = 0; k < 2 * count_; ++k) image[k] = 0.0;
  for (const AdjustmentTerm& t : terms_) {
    const size_t k = static_cast<size_t>(t.parameter);
    if (t.kind == AdjustmentTerm::Kind::Ground) {
      const Vec3 d = groundDerivative(t.ground, local);
      for (int i = 0; i < 3; ++i) ground[3 * k + i] += d[i];
    } else {
      image[2 * k + (t.kind == AdjustmentTerm::Kind::Row ? 1 : 0)] += monomial(t.powers, local);
    }
  }
}

}  // namespace senmod_io
