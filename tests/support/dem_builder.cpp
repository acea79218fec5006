#include "support/dem_builder.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

namespace senmod_test {

namespace {

constexpr double kFoot = 0.3048;

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};

GDALDataType GdalType(DemPixel pixel) {
  switch (pixel) {
    case DemPixel::Float64: return GDT_Float64;
    case DemPixel::Int16: return GDT_Int16;
    case DemPixel::Float32: break;
  }
  return GDT_Float32;
}

std::string MakeDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/senmod_dem_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary directory");
  }
  return pattern;
}

}  // namespace

Dem::Dem(const InclinedPlaneDem& desc) : spec_(desc), directory_(MakeDirectory()) {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
  path_ = directory_ + "/dem.tif";
  try {
    OGRSpatialReference srs;
    if (srs.SetFromUserInput(spec_.crs.c_str()) != OGRERR_NONE) {
      throw std::runtime_error("bad CRS " + spec_.crs);
    }
    char* wkt = nullptr;
    srs.exportToWkt(&wkt);
    const std::string crsWkt = wkt ? wkt : "";
    CPLFree(wkt);

    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    std::unique_ptr<GDALDataset, DatasetCloser> dataset(
        driver ? driver->Create(path_.c_str(), spec_.columns, spec_.rows, 1,
                                GdalType(spec_.pixel), nullptr)
               : nullptr);
    if (!dataset) throw std::runtime_error("cannot create " + path_);
    double geo[6] = {spec_.west, spec_.cellX, 0.0, spec_.north, 0.0, -spec_.cellY};
    dataset->SetGeoTransform(geo);
    dataset->SetProjection(crsWkt.c_str());
    GDALRasterBand* band = dataset->GetRasterBand(1);
    band->SetNoDataValue(spec_.noData);
    if (spec_.feet) band->SetUnitType("ft");
    std::vector<double> values(static_cast<size_t>(spec_.columns) * spec_.rows);
    for (int r = 0; r < spec_.rows; ++r) {
      for (int c = 0; c < spec_.columns; ++c) {
        values[static_cast<size_t>(r) * spec_.columns + c] = StoredValue(c, r);
      }
    }
    if (band->RasterIO(GF_Write, 0, 0, spec_.columns, spec_.rows, values.data(), spec_.columns,
                       spec_.rows, GDT_Float64, 0, 0, nullptr) != CE_None) {
      throw std::runtime_error("cannot write " + path_);
    }
  } catch (...) {
    std::filesystem::remove_all(directory_);
    throw;
  }
}

Dem::~Dem() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

bool Dem::InHole(int column, int row) const {
  return column >= spec_.holeColumn && column < spec_.holeColumn + spec_.holeColumns &&
         row >= spec_.holeRow && row < spec_.holeRow + spec_.holeRows;
}

double Dem::StoredValue(int column, int row) const {
  if (InHole(column, row)) return spec_.noData;
  const double meters = Height(CentreX(column), CentreY(row));
  const double value = spec_.feet ? meters / kFoot : meters;
  return spec_.pixel == DemPixel::Int16 ? std::round(value) : value;
}

double Dem::CellMeters(int column, int row) const {
  if (InHole(column, row)) return std::nan("");
  double value = StoredValue(column, row);
  if (spec_.pixel == DemPixel::Float32) value = static_cast<float>(value);
  return spec_.feet ? value * kFoot : value;
}

double Dem::ValidMean() const {
  double sum = 0.0;
  long count = 0;
  for (int r = 0; r < spec_.rows; ++r) {
    for (int c = 0; c < spec_.columns; ++c) {
      if (InHole(c, r)) continue;
      sum += CellMeters(c, r);
      ++count;
    }
  }
  return count ? sum / count : std::nan("");
}

}  // namespace senmod_test
