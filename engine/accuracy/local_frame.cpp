#include "local_frame.h"

#include <GeographicLib/Geocentric.hpp>

#include <cmath>

namespace senmod_io {

Vec3 geocentricOf(double lon, double lat, double h) {
  Vec3 e;
  GeographicLib::Geocentric::WGS84().Forward(lat, lon, h, e[0], e[1], e[2]);
  return e;
}

void geodeticOf(const Vec3& e, double* lon, double* lat, double* h) {
  GeographicLib::Geocentric::WGS84().Reverse(e[0], e[1], e[2], *lat, *lon, *h);
}

std::array<Vec3, 3> eastNorthUp(double lon, double lat) {
  constexpr double kRadian = M_PI / 180.0;
  const double sl = std::sin(lon * kRadian), cl = std::cos(lon * kRadian);
  const double sp = std::sin(lat * kRadian), cp = std::cos(lat * kRadian);
  return {Vec3{-sl, cl, 0.0}, Vec3{-sp * cl, -sp * sl, cp}, Vec3{cp * cl, cp * sl, sp}};
}

void degreesPerMetre(double lat, double h, double* lonPerMetre, double* latPerMetre) {
  const GeographicLib::Geocentric& earth = GeographicLib::Geocentric::WGS84();
  const double a = earth.EquatorialRadius();
  const double f = earth.Flattening();
  const double e2 = f * (2.0 - f);
  const double s = std::sin(lat * M_PI / 180.0);
  const double w = 1.0 - e2 * s * s;
  const double n = a / std::sqrt(w);        // prime vertical radius
  const double m = n * (1.0 - e2) / w;       // meridian radius
  *lonPerMetre = 180.0 / M_PI / ((n + h) * std::cos(lat * M_PI / 180.0));
  *latPerMetre = 180.0 / M_PI / (m + h);
}

LocalFrame eastNorthUpFrame(double lon, double lat, double h) {
  LocalFrame frame;
  frame.origin = geocentricOf(lon, lat, h);
  const std::array<Vec3, 3> enu = eastNorthUp(lon, lat);
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) frame.axes[3 * i + k] = enu[k][i];
  }
  return frame;
}

Vec3 LocalFrame::toLocal(const Vec3& geocentric) const {
  const Vec3 d{geocentric[0] - origin[0], geocentric[1] - origin[1], geocentric[2] - origin[2]};
  Vec3 x;
  for (int j = 0; j < 3; ++j) x[j] = axes[j] * d[0] + axes[3 + j] * d[1] + axes[6 + j] * d[2];
  return x;
}

Vec3 LocalFrame::toGeocentric(const Vec3& local) const {
  Vec3 e;
  for (int i = 0; i < 3; ++i) {
    e[i] = origin[i] + axes[3 * i] * local[0] + axes[3 * i + 1] * local[1] +
           axes[3 * i + 2] * local[2];
  }
  return e;
}

}  // namespace senmod_io
