#include "frame_camera.h"

#include <cmath>

namespace samplegen {

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kE2 = kF * (2.0 - kF);

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 scale(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 unit(const Vec3& a) { return scale(a, 1.0 / std::sqrt(dot(a, a))); }

}  // namespace

Vec3 geodeticToEcef(double lon, double lat, double h) {
  const double n = kA / std::sqrt(1.0 - kE2 * std::sin(lat) * std::sin(lat));
  return {(n + h) * std::cos(lat) * std::cos(lon), (n + h) * std::cos(lat) * std::sin(lon),
          (n * (1.0 - kE2) + h) * std::sin(lat)};
}

Vec3 ecefToGeodetic(const Vec3& p) {
  const double lon = std::atan2(p[1], p[0]);
  const double r = std::hypot(p[0], p[1]);
  double lat = std::atan2(p[2], r * (1.0 - kE2));
  double h = 0.0;
  for (int i = 0; i < 10; ++i) {
    const double n = kA / std::sqrt(1.0 - kE2 * std::sin(lat) * std::sin(lat));
    h = r / std::cos(lat) - n;
    lat = std::atan2(p[2], r * (1.0 - kE2 * n / (n + h)));
  }
  return {lon, lat, h};
}

FrameCamera::FrameCamera(const Vec3& station, const Vec3& target, double focal, double cx,
                         double cy, double k1)
    : station_(geodeticToEcef(station[0], station[1], station[2])),
      focal_(focal), cx_(cx), cy_(cy), k1_(k1) {
  const Vec3 aim = geodeticToEcef(target[0], target[1], target[2]);
  const Vec3 east = {-std::sin(target[0]), std::cos(target[0]), 0.0};
  const Vec3 z = unit(sub(aim, station_));
  const Vec3 x = unit(sub(east, scale(z, dot(east, z))));
  axes_[0] = x;
  axes_[1] = cross(z, x);
  axes_[2] = z;
}

void FrameCamera::project(double lon, double lat, double h, double& sample, double& row) const {
  const Vec3 d = sub(geodeticToEcef(lon, lat, h), station_);
  const double u = dot(d, axes_[0]) / dot(d, axes_[2]);
  const double v = dot(d, axes_[1]) / dot(d, axes_[2]);
  const double radial = 1.0 + k1_ * (u * u + v * v) * focal_ * focal_ / (cx_ * cx_);
  sample = cx_ + focal_ * u * radial;
  row = cy_ + focal_ * v * radial;
}

void FrameCamera::locate(double sample, double row, double h, double& lon, double& lat) const {
  // Newton on (lon, lat) against the forward projection, from the nadir of the station.
  const Vec3 start = ecefToGeodetic(station_);
  lon = start[0];
  lat = start[1];
  const double step = 1e-7;
  for (int i = 0; i < 30; ++i) {
    double s = 0.0, r = 0.0, s1 = 0.0, r1 = 0.0, s2 = 0.0, r2 = 0.0;
    project(lon, lat, h, s, r);
    project(lon + step, lat, h, s1, r1);
    project(lon, lat + step, h, s2, r2);
    const double a = (s1 - s) / step, b = (s2 - s) / step;
    const double c = (r1 - r) / step, d = (r2 - r) / step;
    const double det = a * d - b * c;
    const double ds = sample - s, dr = row - r;
    const double dLon = (d * ds - b * dr) / det;
    const double dLat = (a * dr - c * ds) / det;
    lon += dLon;
    lat += dLat;
    if (std::fabs(dLon) < 1e-15 && std::fabs(dLat) < 1e-15) break;
  }
}

void FrameCamera::ray(double sample, double row, Vec3& origin, Vec3& direction) const {
  // The radial distortion undone by fixed-point iteration: it is a few percent at most.
  const double ud = (sample - cx_) / focal_, vd = (row - cy_) / focal_;
  const double k = k1_ * focal_ * focal_ / (cx_ * cx_);
  double u = ud, v = vd;
  for (int i = 0; i < 20; ++i) {
    const double radial = 1.0 + k * (u * u + v * v);
    u = ud / radial;
    v = vd / radial;
  }
  origin = station_;
  const Vec3 d = {u * axes_[0][0] + v * axes_[1][0] + axes_[2][0],
                  u * axes_[0][1] + v * axes_[1][1] + axes_[2][1],
                  u * axes_[0][2] + v * axes_[1][2] + axes_[2][2]};
  direction = unit(d);
}

}  // namespace samplegen
