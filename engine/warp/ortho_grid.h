// The map grid an image is orthorectified onto: its coordinate system, resolution and extent.
#ifndef SENMOD_IO_ORTHO_GRID_H
#define SENMOD_IO_ORTHO_GRID_H

#include <array>
#include <optional>
#include <string>

#include "ground_outline.h"

namespace senmod_io {

// The most cells an ortho grid holds unless told otherwise: 2^32, a 65536 x 65536 grid.
constexpr double kDefaultMaxCells = 4294967296.0;

// What the user gave; what is missing is derived from the image.
struct GridRequest {
  std::string srs;  // anything OSR reads (EPSG code, WKT, PROJ string); "" for the UTM zone
  std::optional<std::array<double, 2>> resolution;  // x, y, in the system's units, > 0
  std::optional<std::array<double, 4>> extent;      // xmin, ymin, xmax, ymax
  double maxCells = kDefaultMaxCells;  // the most cells the grid may hold
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
// outline snapped outwards to whole cells. Throws ReadError when OSR refuses the system or it
// is geocentric, the image centre or the outline cannot be carried to the ground or into the
// system, or the grid would be empty, over 2^31 cells a side or over request.maxCells cells.
OrthoGrid orthoGrid(const GridRequest& request, SensorGeometry& geometry, const ImageExtent& image,
                    const Outline& outline);

// Cells [x, x + width) x [y, y + height) of a grid.
struct CellWindow {
  int x = 0, y = 0, width = 0, height = 0;
};

// The cells of grid that the image can reach: the outline's bounds in cells, widened by a tenth
// of their size and two cells on every side, clipped to the grid (empty when they miss it); the
// whole grid when the outline cannot be carried into the grid's system. GDAL's warper finds
// the source of a chunk of cells from points on its edges, and misses an image much smaller
// than the chunk: warping only these cells, every cell gets its value whatever the extent.
CellWindow reachedCells(const OrthoGrid& grid, const Outline& outline);

}  // namespace senmod_io

#endif
