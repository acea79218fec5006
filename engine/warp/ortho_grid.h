// The map grid an image is orthorectified onto: its coordinate system, resolution and extent.
#ifndef SENMOD_IO_ORTHO_GRID_H
#define SENMOD_IO_ORTHO_GRID_H

#include <array>
#include <optional>
#include <string>

#include "ground_outline.h"

namespace senmod_io {

// What the user gave; what is missing is derived from the image.
struct GridRequest {
  std::string srs;  // anything OSR reads (EPSG code, WKT, PROJ string); "" for the UTM zone
  std::optional<std::array<double, 2>> resolution;  // x, y, in the system's units, > 0
  std::optional<std::array<double, 4>> extent;      // xmin, ymin, xmax, ymax
};

struct OrthoGrid {
  std::string wkt;
  std::string name;  // of the coordinate system, for people
  double geoTransform[6] = {};
  int columns = 0;
  int rows = 0;
};

// The grid: the coordinate system asked for, else the WGS 84 UTM zone of the image centre; the
// resolution asked for, else the ground sample distance at the image centre (the square root
// of the area of the centre pixel on the ground); the extent asked for, else the bounds of the
// outline snapped outwards to whole cells. Throws ReadError when OSR refuses the system, the
// image centre or the outline cannot be carried to the ground or into the system, or the grid
// would be empty or over 2^31 cells a side.
OrthoGrid orthoGrid(const GridRequest& request, SensorGeometry& geometry, const ImageExtent& image,
                    const Outline& outline);

}  // namespace senmod_io

#endif
