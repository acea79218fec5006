#include "terrain.h"

#include <algorithm>
#include <cmath>

namespace samplegen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;  // along a meridian, near enough for shading

}  // namespace

double terrain(double lonDeg, double latDeg) {
  const double u = (lonDeg - 7.45) / 0.03, v = (latDeg - 46.95) / 0.025;
  return 650.0 + 150.0 * std::sin(2.0 * kPi * u) * std::cos(2.0 * kPi * v) + 40.0 * u;
}

double hillshade(double lonDeg, double latDeg) {
  const double step = 1e-5;  // degrees
  const double east = kMetresPerDegree * std::cos(latDeg * kPi / 180.0) * 2.0 * step;
  const double north = kMetresPerDegree * 2.0 * step;
  const double dx = (terrain(lonDeg + step, latDeg) - terrain(lonDeg - step, latDeg)) / east;
  const double dy = (terrain(lonDeg, latDeg + step) - terrain(lonDeg, latDeg - step)) / north;
  // The light from azimuth 315 degrees, 45 degrees up; the surface normal (-dx, -dy, 1).
  const double light[3] = {-0.5, 0.5, std::sqrt(0.5)};
  const double lit =
      (-dx * light[0] - dy * light[1] + light[2]) / std::sqrt(dx * dx + dy * dy + 1.0);
  return std::clamp(lit, 0.0, 1.0);
}

}  // namespace samplegen
