// A model carried between GDAL pixel/line of its image and WGS 84 longitude and latitude on the
// ground, many points per library call.
#ifndef SMODTOOL_SENSOR_GEOMETRY_H
#define SMODTOOL_SENSOR_GEOMETRY_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model_copy.h"
#include "owned.h"

namespace smodtool {

// Where ground heights come from: the DEM file dem when given, else height, else the model's
// mean height.
struct HeightSource {
  std::string dem;
  std::optional<double> height;
};

// Pixel/line are GDAL's (the first pixel's upper-left corner at 0, 0); the model's own image
// coordinates are pixel/line less pixelShift (see LoadedModel::gdalPixelShift). Not for
// sharing between threads: each thread makes its own.
class SensorGeometry {
 public:
  // Copies model for both directions. Throws ReadError for a DEM the library cannot use.
  SensorGeometry(const RSM_Xform* model, double pixelShift, const HeightSource& heights);

  // Ground to image in place: longitude x[i], latitude y[i] (degrees) at the height of the
  // height source become pixel x[i], line y[i]. Points with ok[i] == 0 are left alone; ok[i]
  // becomes 0 for a point the library cannot carry or whose result is not finite.
  void groundToPixel(size_t n, double* x, double* y, int* ok);

  // Image to ground in place: pixel x[i], line y[i] become longitude, latitude (degrees) and
  // h[i] the height (m) they lie at (on the DEM: the height read there, the point computed
  // again at it). The same ok rules as groundToPixel.
  void pixelToGround(size_t n, double* x, double* y, double* h, int* ok);

  // The height (m) of points off the DEM and of a model without a DEM or a height.
  double meanHeight() const { return toImage_->model->rsm.z_mean; }

 private:
  size_t gather(size_t begin, size_t end, const double* x, const double* y, const int* ok,
                double shift);
  void call(void (*fn)(RSM_Xform*, int32_t, const double*, double*, ErrorReport**),
            RSM_Xform* xform, size_t count, size_t stride);

  double shift_;
  bool dem_;
  XformPtr toImage_;
  XformPtr toGround_;
  std::optional<ElevationReader> elevation_;
  std::vector<size_t> index_;  // per gathered point: its place in the caller's arrays
  std::vector<double> in_;     // gathered points, 2 or 3 reals each
  std::vector<double> out_;    // 2 per gathered point
  std::vector<double> heights_;
  std::vector<unsigned char> failed_;
  std::vector<unsigned char> firstFailed_;  // image to ground on the DEM: the first pass
};

}  // namespace smodtool

#endif
