// Ground control points: surveyed ground points and where they were measured in the image,
// read from text, CSV or GeoJSON files or taken from arrays.
#ifndef SENMOD_IO_GROUND_CONTROL_H
#define SENMOD_IO_GROUND_CONTROL_H

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

namespace senmod_io {

// The standard deviations a point takes when its line gives none: a pixel of measurement, a
// ground point taken as exact.
constexpr double kDefaultSigmaPixels = 1.0;
constexpr double kDefaultSigmaGround = 0.0;

struct GroundControlPoint {
  double sample = 0.0, row = 0.0;   // px, the model's own convention
  double lon = 0.0, lat = 0.0;      // degrees, WGS 84
  double height = NAN;              // m above the ellipsoid; NaN: to be taken from the DEM
  double sigmaHorizontal = kDefaultSigmaGround;  // m, east and north each
  double sigmaVertical = kDefaultSigmaGround;    // m
  double sigmaPixels = kDefaultSigmaPixels;      // px, sample and row each
  std::string id;    // as given, else the line number ("line 12") or the position ("#3")
};

// The points of the file at path, one of:
// - text: one point a line, "sample row longitude latitude height [sigma_h sigma_v sigma_px]
//   [id]", fields separated by blanks or commas, blank lines and lines starting with # skipped;
//   the height may be "nan" (taken from the DEM);
// - CSV: the same with a first line naming the columns (sample, row, longitude or lon,
//   latitude or lat, height or h, sigma_h, sigma_v, sigma_px, id or name), in any order;
// - GeoJSON: a FeatureCollection of Points (longitude, latitude[, height]) whose properties
//   give sample and row, and optionally sigma_h, sigma_v, sigma_px and id.
// Throws ReadError naming path and the line (or feature) of a point that cannot be read, and
// for a file without points.
std::vector<GroundControlPoint> readGroundControl(const std::string& path);

// Points of n rows of columns values each (5 to 8, row-major): sample, row, longitude,
// latitude, height, then sigma_h, sigma_v and sigma_px as far as given. Throws ReadError
// naming the row of a value that is not a finite number (a height may be NaN) or a negative
// standard deviation.
std::vector<GroundControlPoint> groundControlOf(size_t n, size_t columns, const double* values);

}  // namespace senmod_io

#endif
