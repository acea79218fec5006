// Geodetic WGS 84 points and the rectangular frames that adjustable parameters act in.
#ifndef SENMOD_IO_LOCAL_FRAME_H
#define SENMOD_IO_LOCAL_FRAME_H

#include <array>

namespace senmod_io {

using Vec3 = std::array<double, 3>;

// Longitude and latitude (degrees) and height above the ellipsoid (m) to geocentric WGS 84
// (m), and back; exact to a few nanometres (GeographicLib).
Vec3 geocentricOf(double lon, double lat, double h);
void geodeticOf(const Vec3& e, double* lon, double* lat, double* h);

// The geocentric directions of east, north and up at a geodetic point (degrees).
std::array<Vec3, 3> eastNorthUp(double lon, double lat);

// Degrees of longitude and of latitude per metre east and north at a geodetic point (degrees,
// m): the inverse radii of the parallel and of the meridian there.
void degreesPerMetre(double lat, double h, double* lonPerMetre, double* latPerMetre);

// A rectangular frame: an origin and three axes, all geocentric.
struct LocalFrame {
  Vec3 origin{};
  std::array<double, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major; columns are the axes

  Vec3 toLocal(const Vec3& geocentric) const;
  Vec3 toGeocentric(const Vec3& local) const;
};

// The frame east, north, up at a geodetic point (degrees, m), its origin there.
LocalFrame eastNorthUpFrame(double lon, double lat, double h);

}  // namespace senmod_io

#endif
