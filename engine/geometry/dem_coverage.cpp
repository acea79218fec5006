#include "dem_coverage.h"

#include <gdal.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>

#include "gdal_quiet.h"
#include "read_error.h"

namespace senmod_io {

struct DemCoverage::Grid {
  int columns = 0;
  int rows = 0;
  double inverse[6] = {};            // DEM coordinates to pixel-corner coordinates
  std::vector<unsigned char> valid;  // row by row
  std::string wkt;                   // empty when the DEM names no coordinate system
  bool validAt(int column, int row) const {
    return valid[static_cast<size_t>(row) * columns + column] != 0;
  }
};

namespace {

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};

[[noreturn]] void fail(const std::string& dem, const std::string& what) {
  const std::string why = gdalTakeMessage();
  throw ReadError(dem + ": " + what + (why.empty() ? "" : " (" + why + ")"));
}

// The way from WGS 84 longitude and latitude to the DEM's coordinates into *out (null when
// they are the same); false when there is none.
bool makeTransformation(const std::string& wkt, std::unique_ptr<OGRCoordinateTransformation>* out) {
  out->reset();
  if (wkt.empty()) return true;  // an unreferenced DEM is taken to be in map coordinates
  OGRSpatialReference source;
  OGRSpatialReference target;
  source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (source.SetFromUserInput("EPSG:4326") != OGRERR_NONE ||
      target.importFromWkt(wkt.c_str()) != OGRERR_NONE) {
    return false;
  }
  if (source.IsSame(&target)) return true;
  out->reset(OGRCreateCoordinateTransformation(&source, &target));
  return *out != nullptr;
}

}  // namespace

DemCoverage::DemCoverage(const std::string& dem) {
  const GdalMessages messages;
  gdalTakeMessage();
  std::unique_ptr<void, DatasetCloser> dataset(GDALOpen(dem.c_str(), GA_ReadOnly));
  if (!dataset || GDALGetRasterCount(dataset.get()) < 1) fail(dem, "the DEM cannot be read");
  auto grid = std::make_shared<Grid>();
  grid->columns = GDALGetRasterXSize(dataset.get());
  grid->rows = GDALGetRasterYSize(dataset.get());
  double geo[6];
  if (GDALGetGeoTransform(dataset.get(), geo) != CE_None ||
      !GDALInvGeoTransform(geo, grid->inverse)) {
    fail(dem, "the DEM is not georeferenced");
  }
  GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
  int hasNoData = 0;
  double noData = GDALGetRasterNoDataValue(band, &hasNoData);
  if (hasNoData) {
    // The no-data value as a cell of the band's type reads back, as the elevation source
    // compares it.
    const GDALDataType type = GDALGetRasterDataType(band);
    unsigned char raw[16] = {};
    GDALCopyWords(&noData, GDT_Float64, 0, raw, type, 0, 1);
    GDALCopyWords(raw, type, 0, &noData, GDT_Float64, 0, 1);
  }
  grid->valid.resize(static_cast<size_t>(grid->columns) * grid->rows);
  std::vector<double> row(grid->columns);
  for (int r = 0; r < grid->rows; ++r) {
    if (GDALRasterIO(band, GF_Read, 0, r, grid->columns, 1, row.data(), grid->columns, 1,
                     GDT_Float64, 0, 0) != CE_None) {
      fail(dem, "the DEM cannot be read");
    }
    for (int c = 0; c < grid->columns; ++c) {
      const double v = row[c];
      grid->valid[static_cast<size_t>(r) * grid->columns + c] =
          std::isfinite(v) && !(hasNoData && v == noData);
    }
  }
  if (const char* wkt = GDALGetProjectionRef(dataset.get())) grid->wkt = wkt;
  if (!makeTransformation(grid->wkt, &toDem_)) {
    fail(dem, "the DEM's coordinate system cannot be reached from longitude and latitude");
  }
  grid_ = std::move(grid);
}

DemCoverage::DemCoverage(const DemCoverage& other) : grid_(other.grid_) {
  makeTransformation(grid_->wkt, &toDem_);
}

DemCoverage::~DemCoverage() = default;

bool DemCoverage::anyValid() const {
  return std::find(grid_->valid.begin(), grid_->valid.end(), 1) != grid_->valid.end();
}

bool DemCoverage::covers(double longitude, double latitude) const {
  double x = longitude;
  double y = latitude;
  if (toDem_) {
    int ok = 0;
    if (!toDem_->Transform(1, &x, &y, nullptr, &ok) || !ok) return false;
  }
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  const Grid& g = *grid_;
  double column = 0.0;
  double row = 0.0;
  GDALApplyGeoTransform(const_cast<double*>(g.inverse), x, y, &column, &row);
  if (!(column >= 0.0 && column <= g.columns && row >= 0.0 && row <= g.rows)) return false;
  // The cells of the bilinear height between cell centres, held to the outer centres in the
  // border half-cells; a cell of weight zero does not count.
  const double cx = std::fmin(std::fmax(column - 0.5, 0.0), g.columns - 1.0);
  const double cy = std::fmin(std::fmax(row - 0.5, 0.0), g.rows - 1.0);
  const int c0 = std::min(static_cast<int>(cx), std::max(g.columns - 2, 0));
  const int r0 = std::min(static_cast<int>(cy), std::max(g.rows - 2, 0));
  const int c1 = std::min(c0 + 1, g.columns - 1);
  const int r1 = std::min(r0 + 1, g.rows - 1);
  const double fx = cx - c0;
  const double fy = cy - r0;
  const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
  const bool cells[4] = {g.validAt(c0, r0), g.validAt(c1, r0), g.validAt(c0, r1),
                         g.validAt(c1, r1)};
  for (int i = 0; i < 4; ++i) {
    if (weights[i] != 0.0 && !cells[i]) return false;
  }
  return true;
}

}  // namespace senmod_io
