// A model's points between GDAL pixel/line of its image and WGS 84 longitude and latitude on
// the ground, through the point engine: what the footprint, the ortho grid and the GDAL
// transformer work in.
#ifndef SENMOD_IO_SENSOR_GEOMETRY_H
#define SENMOD_IO_SENSOR_GEOMETRY_H

#include <cstddef>
#include <optional>
#include <vector>

#include "point_engine.h"

namespace senmod_io {

// Pixel/line are GDAL's (the first pixel's upper-left corner at 0, 0); the model's own image
// coordinates are pixel/line less the shift of the model's pixel convention. Heights: the constant height
// when given, else the engine's (its DEM or mean height). Not for sharing between threads:
// each thread makes its own (the engine is shared).
class SensorGeometry {
 public:
  // With roundTrip, a ground point outside the ground domain is refused whose image position
  // does not carry back to it (within the ground size of a pixel): a polynomial folds back into
  // the image outside its domain, and gives such points an image position they do not have.
  SensorGeometry(PointEngine& engine, std::optional<double> height, bool roundTrip = false);

  // Ground to image in place: longitude x[i], latitude y[i] (degrees) become pixel x[i], line
  // y[i]. Points with ok[i] == 0 are left alone; ok[i] becomes 0 for a point whose status is
  // neither SMOD_POINT_OK nor SMOD_POINT_OFF_DEM. Throws ReadError when the engine's call fails.
  void groundToPixel(size_t n, double* x, double* y, int* ok);

  // Image to ground in place: pixel x[i], line y[i] become longitude, latitude (degrees) and
  // h[i] the height (m) they lie at. The same ok rules as groundToPixel.
  void pixelToGround(size_t n, double* x, double* y, double* h, int* ok);

  // The height (m) of points off the DEM and of a model without a DEM or a height.
  double meanHeight() const { return height_ ? *height_ : engine_.meanHeight(); }

  PointEngine& engine() const { return engine_; }

 private:
  size_t gather(size_t n, const double* x, const double* y, const int* ok, double shift);
  void refuseFolds(size_t count);

  PointEngine& engine_;
  std::optional<double> height_;
  double shift_;
  double tolerance_;  // metres a round trip may miss by; infinite without the round trip
  std::vector<size_t> index_;  // per gathered point: its place in the caller's arrays
  std::vector<double> inX_, inY_, outX_, outY_, heights_, used_;
  // The round trip of the points outside the ground domain: their indices among the gathered
  // ones, their image positions and heights, and where those land.
  std::vector<size_t> checked_;
  std::vector<double> backSample_, backRow_, backZ_, backX_, backY_;
  std::vector<int> status_, backStatus_;
};

}  // namespace senmod_io

#endif
