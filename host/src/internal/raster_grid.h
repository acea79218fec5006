// Raster DEMs held in memory, shared by the raster layers of hostcore, the elevation sources of
// hostmodel and the map-to-layer transforms of hostphotogui.
#ifndef HOST_INTERNAL_RASTER_GRID_H
#define HOST_INTERNAL_RASTER_GRID_H

#include <cmath>
#include <memory>
#include <string>

#include <gdal.h>

#include "hostcore.h"

class OGRCoordinateTransformation;

namespace hraster {

// Registers GDAL's drivers and silences its console output, once per process; GDAL's messages
// reach callers only through error reports.
void EnsureGdal();

// Reports message, followed by GDAL's last error message when there is one.
void FailGdal(ErrorReport** err, const char* function, int line, const std::string& message);

// Meters per vertical unit of a unit name ("m", "metre", "meters", "ft", "foot", "feet",
// "US survey foot", ...; case ignored), or 0 for an empty or unknown name.
double MetersPerUnit(const char* unit);

// A file name and 1-based band parsed from "<file>(:Layer_<n>)"; a name without that suffix is
// the file itself with band 1. False for an empty file name or a band below 1.
bool ParseLayerName(const char* layerName, std::string* file, int* band);
// The band of a short layer name "Layer_<n>". False for anything else.
bool ParseLayerNumber(const std::string& layer, int* band);

// One band of a raster with its georeferencing, read whole into host-heap memory.
struct Grid {
  Grid() = default;
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;
  ~Grid();

  int columns = 0;
  int rows = 0;
  double geoTransform[6] = {0, 1, 0, 0, 0, 1};  // pixel corner (column, row) to CRS (x, y)
  double inverse[6] = {0, 1, 0, 0, 0, 1};       // CRS (x, y) to pixel corner (column, row)
  std::string wkt;                              // empty when the raster names no CRS
  std::string unitType;                         // the band's vertical unit name, maybe empty
  GDALDataType type = GDT_Unknown;
  bool hasNoData = false;
  double noData = 0.0;  // as a pixel of the band's type reads back
  // The values row by row, columns * rows of them: as floats when the band's type has only
  // values a float holds exactly (bytes, 16-bit integers, Float32), which halves the memory and
  // the cache lines a read touches, else as doubles. A loaded grid has exactly one of the two.
  float* floats = nullptr;
  double* values = nullptr;

  double At(int column, int row) const {
    return Value(static_cast<size_t>(row) * columns + column);
  }
  double Value(size_t i) const { return floats ? floats[i] : values[i]; }
  bool IsValid(double value) const {
    return std::isfinite(value) && !(hasNoData && value == noData);
  }
  // Sets the no-data value as the band's pixel type holds it.
  void SetNoData(double value);
};

// Cells a grid may hold; DEMs of this toolkit are small, and reads must not page.
constexpr long long kMaxCells = 1LL << 24;

// Reads band (1-based) of file into grid. False with a report (under function) when the file
// cannot be opened, has no such band, no georeferencing, is too large or cannot be read.
bool LoadGrid(const char* file, int band, Grid* grid, const char* function, ErrorReport** err);

// Statistics of the valid cells; validCount 0 (and the rest NaN) when there is none.
HstaStatistics GridStatistics(const Grid& grid);

// Carries map points of a projection in horizontal units into a grid's pixel space.
class MapToPixel {
 public:
  MapToPixel();
  ~MapToPixel();
  MapToPixel(const MapToPixel&) = delete;
  MapToPixel& operator=(const MapToPixel&) = delete;

  // projection null: geographic WGS 84 for "degrees" or "radians", the grid's own CRS for
  // "meters". False with a report for unknown units, units that do not fit the projection, or
  // a CRS that cannot be reached.
  bool Init(const Hprj_Projection* projection, const char* units, const Grid& grid,
            const char* function, ErrorReport** err);
  // Pixel-corner coordinates (0, 0 is the outer corner of the first cell). False when the
  // point cannot be carried into the grid's CRS.
  bool Apply(double x, double y, double* column, double* row) const {
    if (!ToGridCrs(&x, &y)) return false;
    // GDALApplyGeoTransform's sums, written out.
    *column = inverse_[0] + x * inverse_[1] + y * inverse_[2];
    *row = inverse_[3] + x * inverse_[4] + y * inverse_[5];
    return true;
  }
  // The first step of Apply: (x, y) carried into the grid's CRS; false when the point cannot be
  // or lands on a value that is not finite. Inline, since DEM reads call it per point.
  bool ToGridCrs(double* x, double* y) const {
    *x *= scale_;
    *y *= scale_;
    if (transform_ && !Reproject(x, y)) return false;
    return std::isfinite(*x) && std::isfinite(*y);
  }
  // ToGridCrs over n points in one call to the transformation (the same bits as point by
  // point); x[i] is NaN where point i cannot be carried. ok is n flags of scratch.
  void ToGridCrs(int n, double* x, double* y, int* ok) const;
  // The second step: the grid's CRS to pixel corners, column = c[0] + x c[1] + y c[2] and
  // row = c[3] + x c[4] + y c[5], summed in that order.
  const double* Inverse() const { return inverse_; }

 private:
  // Carries (x, y) into the grid's CRS through transform_; false when it cannot.
  bool Reproject(double* x, double* y) const;

  double scale_ = 1.0;  // map units to the source CRS's units
  std::unique_ptr<OGRCoordinateTransformation> transform_;  // null: same CRS
  double inverse_[6] = {0, 1, 0, 0, 0, 1};
};

}  // namespace hraster

// A geometric transform from map coordinates to pixel coordinates with cell centres at whole
// numbers.
struct HxfrXForm {
  hraster::MapToPixel toPixel;
};

// An open raster layer: one band held in memory, with its null value in the band's raw form.
struct HimgLayer {
  hraster::Grid grid;
  alignas(8) unsigned char rawNull[16] = {};
};

namespace hraster {
// A new map-to-pixel transform on the host heap for grid; null with a report.
HxfrXForm* NewMapToLayerXForm(const Hprj_Projection* projection, const char* units,
                              const Grid& grid, const char* function, ErrorReport** err);
}  // namespace hraster

#endif  // HOST_INTERNAL_RASTER_GRID_H
