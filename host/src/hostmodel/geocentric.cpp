#include <cmath>

#include <GeographicLib/Constants.hpp>
#include <GeographicLib/Geocentric.hpp>

#include "hostmodel.h"

namespace {

constexpr double kDegreesPerRadian = 180.0 / M_PI;

// A spheroid GeographicLib accepts: a positive axis and 0 <= e² < 1 (an ellipsoid, not a
// prolate or degenerate one).
bool MakeEarth(double eSquared, double a, GeographicLib::Geocentric* earth) {
  if (!std::isfinite(a) || a <= 0.0 || !std::isfinite(eSquared) || eSquared < 0.0 ||
      eSquared >= 1.0) {
    return false;
  }
  const double f = 1.0 - std::sqrt(1.0 - eSquared);
  try {
    *earth = GeographicLib::Geocentric(a, f);
  } catch (const GeographicLib::GeographicErr&) {
    return false;
  }
  return true;
}

}  // namespace

int hmod_GeographicToGeocentric(double longitude, double latitude, double height, double* x,
                                double* y, double* z, double eSquared, double a) {
  GeographicLib::Geocentric earth;
  if (x == nullptr || y == nullptr || z == nullptr || !MakeEarth(eSquared, a, &earth)) return -1;
  earth.Forward(latitude * kDegreesPerRadian, longitude * kDegreesPerRadian, height, *x, *y, *z);
  return 0;
}

int hmod_GeocentricToGeographic(double x, double y, double z, double* longitude,
                                double* latitude, double* height, double eSquared, double a) {
  GeographicLib::Geocentric earth;
  if (longitude == nullptr || latitude == nullptr || height == nullptr ||
      !MakeEarth(eSquared, a, &earth)) {
    return -1;
  }
  double latDegrees = 0.0;
  double lonDegrees = 0.0;
  earth.Reverse(x, y, z, latDegrees, lonDegrees, *height);
  // GeographicLib gives [-180, 180]; the contract is (-pi, pi].
  if (lonDegrees <= -180.0) lonDegrees = 180.0;
  *longitude = lonDegrees / kDegreesPerRadian;
  *latitude = latDegrees / kDegreesPerRadian;
  return 0;
}
