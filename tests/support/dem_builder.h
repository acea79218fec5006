// Small GeoTIFF DEMs for tests: an inclined plane h = h0 + gx * X + gy * Y (meters, X and Y in
// the DEM's CRS units) sampled at cell centres, written into a temporary directory that goes
// with the DEM.
#ifndef SENMOD_TEST_DEM_BUILDER_H
#define SENMOD_TEST_DEM_BUILDER_H

#include <string>

namespace senmod_test {

enum class DemPixel { Float32, Float64, Int16 };

struct InclinedPlaneDem {
  std::string crs = "EPSG:4326";  // "EPSG:<n>" or WKT
  double west = 0.0;              // outer edge of the first column
  double north = 0.0;             // outer edge of the first row; rows run southwards
  double cellX = 1.0;
  double cellY = 1.0;
  int columns = 10;
  int rows = 10;
  double h0 = 0.0;
  double gx = 0.0;
  double gy = 0.0;
  DemPixel pixel = DemPixel::Float32;
  bool feet = false;       // unit type "ft", values in feet
  double noData = -9999.0;  // written as the band's no-data value
  // Cells set to no-data: columns [holeColumn, holeColumn + holeColumns), rows likewise.
  int holeColumn = 0;
  int holeRow = 0;
  int holeColumns = 0;
  int holeRows = 0;
};

class Dem {
 public:
  // Writes the DEM; throws std::runtime_error when GDAL cannot.
  explicit Dem(const InclinedPlaneDem& desc);
  ~Dem();
  Dem(const Dem&) = delete;
  Dem& operator=(const Dem&) = delete;

  const std::string& path() const { return path_; }
  const InclinedPlaneDem& desc() const { return spec_; }
  // Exact plane height (m) at a point of the DEM's CRS.
  double Height(double x, double y) const { return spec_.h0 + spec_.gx * x + spec_.gy * y; }
  // CRS coordinates of the centre of cell (column, row).
  double CentreX(int column) const { return spec_.west + (column + 0.5) * spec_.cellX; }
  double CentreY(int row) const { return spec_.north - (row + 0.5) * spec_.cellY; }
  // The value stored in cell (column, row) converted to meters, or NaN in the hole.
  double CellMeters(int column, int row) const;
  // Mean over the valid cells (m).
  double ValidMean() const;

 private:
  bool InHole(int column, int row) const;
  double StoredValue(int column, int row) const;

  InclinedPlaneDem spec_;
  std::string directory_;
  std::string path_;
};

}  // namespace senmod_test

#endif  // SENMOD_TEST_DEM_BUILDER_H
