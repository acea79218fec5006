// The outline of an image carried to the ground.
#ifndef SENMOD_IO_GROUND_OUTLINE_H
#define SENMOD_IO_GROUND_OUTLINE_H

#include <vector>

#include "sensor_geometry.h"

namespace senmod_io {

// An image's extent in GDAL pixel/line: [0, columns] x [0, rows] for a raster.
struct ImageExtent {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};

// The extent of the pixels of model's image domain, whose bounds are the first and last pixel of
// each axis.
ImageExtent modelImageExtent(const RSM_Xform* model);

// Points of the outline on the ground, longitude and latitude (degrees) and height (m).
struct Outline {
  std::vector<double> lon, lat, height;
  long missed = 0;  // edge points the model could not carry to the ground, left out
};

// Pixels between outline points unless told otherwise (`senmod footprint --step`).
constexpr double kDefaultOutlineStep = 64.0;

// The most points of an outline: each is a transform, and a finer outline says nothing more.
constexpr long kMaxOutlinePoints = 100000;

// step, or the least step that keeps extent's outline within kMaxOutlinePoints.
double cappedOutlineStep(const ImageExtent& extent, double step);

// The edges of extent walked clockwise from the upper-left corner, a point every step pixels
// (step >= 1) and at every corner, carried to the ground; the ring is closed (its last point
// is its first) when any point was carried. Throws ReadError, before any transform, for an
// outline of more than kMaxOutlinePoints points.
Outline groundOutline(SensorGeometry& geometry, const ImageExtent& extent, double step);

}  // namespace senmod_io

#endif
