// Which map points a DEM answers with a height of its own.
#ifndef SENMOD_IO_DEM_COVERAGE_H
#define SENMOD_IO_DEM_COVERAGE_H

#include <memory>
#include <string>
#include <vector>

class OGRCoordinateTransformation;

namespace senmod_io {

// The DEM's cells that hold data, and the way from longitude and latitude (WGS 84, degrees) to
// its pixels. The host's elevation source gives its mean height, silently, to points off the
// DEM or next to a cell without data; the command asks here which points those are, by the
// same rule: a point answers when it falls on the raster and every cell that carries weight in
// its bilinear height holds data.
class DemCoverage {
 public:
  // Throws ReadError naming dem when it cannot be read or its coordinate system cannot be
  // reached from longitude and latitude.
  explicit DemCoverage(const std::string& dem);
  // A copy for another thread (the coordinate transformation is not shared).
  DemCoverage(const DemCoverage& other);
  DemCoverage& operator=(const DemCoverage&) = delete;
  ~DemCoverage();

  bool covers(double longitude, double latitude) const;
  // False for a DEM whose every cell is without data.
  bool anyValid() const;

 private:
  struct Grid;
  std::shared_ptr<const Grid> grid_;
  std::unique_ptr<OGRCoordinateTransformation> toDem_;  // null: the DEM is in WGS 84 degrees
};

}  // namespace senmod_io

#endif
