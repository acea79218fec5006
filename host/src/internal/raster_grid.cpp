#include "raster_grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "core_fail.h"

namespace hraster {

void EnsureGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    GDALAllRegister();
  });
}

void FailGdal(ErrorReport** err, const char* function, int line, const std::string& message) {
  std::string text = message;
  const char* gdal = CPLGetLastErrorMsg();
  if (gdal != nullptr && gdal[0] != '\0') text += std::string(": ") + gdal;
  CPLErrorReset();
  hcore::Fail(err, function, line, text.c_str());
}

double MetersPerUnit(const char* unit) {
  static const struct {
    const char* name;
    double meters;
  } kUnits[] = {
      {"m", 1.0},           {"metre", 1.0},         {"metres", 1.0},
      {"meter", 1.0},       {"meters", 1.0},        {"ft", 0.3048},
      {"foot", 0.3048},     {"feet", 0.3048},       {"international foot", 0.3048},
      {"international feet", 0.3048},               {"us survey foot", 1200.0 / 3937.0},
      {"us survey feet", 1200.0 / 3937.0},          {"us-ft", 1200.0 / 3937.0},
      {"ftus", 1200.0 / 3937.0},                    {"survey feet", 1200.0 / 3937.0},
  };
  if (unit == nullptr) return 0.0;
  for (const auto& entry : kUnits) {
    if (hstr_Eqic(unit, entry.name)) return entry.meters;
  }
  return 0.0;
}

bool ParseLayerNumber(const std::string& layer, int* band) {
  static const char kPrefix[] = "Layer_";
  const size_t prefix = sizeof kPrefix - 1;
  if (layer.compare(0, prefix, kPrefix) != 0) return false;
  const std::string digits = layer.substr(prefix);
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *band = std::stoi(digits);
  return *band >= 1;
}

bool ParseLayerName(const char* layerName, std::string* file, int* band) {
  if (layerName == nullptr || layerName[0] == '\0') return false;
  const std::string name(layerName);
  const size_t mark = name.rfind("(:Layer_");
  if (mark == std::string::npos || name.back() != ')') {
    *file = name;
    *band = 1;
    return true;
  }
  *file = name.substr(0, mark);
  return !file->empty() && ParseLayerNumber(name.substr(mark + 2, name.size() - mark - 3), band);
}

Grid::~Grid() {
  hmsc_HeapFree(floats);
  hmsc_HeapFree(values);
}

void Grid::SetNoData(double value) {
  // The value a pixel of the band's type holds for it, so that comparisons with cells match.
  double stored[2] = {0.0, 0.0};
  unsigned char raw[16] = {};
  GDALCopyWords(&value, GDT_Float64, 0, raw, type, 0, 1);
  GDALCopyWords(raw, type, 0, stored, GDT_Float64, 0, 1);
  noData = stored[0];
  hasNoData = true;
}

namespace {

struct DatasetCloser {
  void operator()(GDALDatasetH dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;

}  // namespace

bool LoadGrid(const char* file, int band, Grid* grid, const char* function, ErrorReport** err) {
  EnsureGdal();
  CPLErrorReset();
  if (file == nullptr || file[0] == '\0') {
    hcore::Fail(err, function, __LINE__, "No raster file name given");
    return false;
  }
  Dataset dataset(GDALOpenEx(file, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
  if (!dataset) {
    FailGdal(err, function, __LINE__, std::string("Cannot open raster file ") + file);
    return false;
  }
  if (band < 1 || band > GDALGetRasterCount(dataset.get())) {
    hcore::Fail(err, function, __LINE__,
                (std::string("Raster file ") + file + " has no band " + std::to_string(band))
                    .c_str());
    return false;
  }
  GDALRasterBandH bandH = GDALGetRasterBand(dataset.get(), band);
  const long long columns = GDALGetRasterXSize(dataset.get());
  const long long rows = GDALGetRasterYSize(dataset.get());
  if (columns < 1 || rows < 1 || columns * rows > kMaxCells) {
    hcore::Fail(err, function, __LINE__,
                (std::string("Raster file ") + file + " is too large to hold in memory (" +
                 std::to_string(columns) + " x " + std::to_string(rows) + " cells)")
                    .c_str());
    return false;
  }
  double geo[6];
  double inverse[6];
  if (GDALGetGeoTransform(dataset.get(), geo) != CE_None || !GDALInvGeoTransform(geo, inverse)) {
    FailGdal(err, function, __LINE__, std::string("Raster file ") + file + " is not georeferenced");
    return false;
  }
  const GDALDataType type = GDALGetRasterDataType(bandH);
  const bool narrow =
      type == GDT_Byte || type == GDT_UInt16 || type == GDT_Int16 || type == GDT_Float32;
  const GDALDataType held = narrow ? GDT_Float32 : GDT_Float64;
  void* cells =
      hmsc_HeapMalloc(static_cast<size_t>(columns * rows) * GDALGetDataTypeSizeBytes(held));
  if (cells == nullptr) {
    hcore::Fail(err, function, __LINE__, "No memory");
    return false;
  }
  if (GDALRasterIO(bandH, GF_Read, 0, 0, static_cast<int>(columns), static_cast<int>(rows), cells,
                   static_cast<int>(columns), static_cast<int>(rows), held, 0, 0) != CE_None) {
    hmsc_HeapFree(cells);
    FailGdal(err, function, __LINE__, std::string("Cannot read raster file ") + file);
    return false;
  }
  hmsc_HeapFree(grid->floats);
  hmsc_HeapFree(grid->values);
  grid->floats = narrow ? static_cast<float*>(cells) : nullptr;
  grid->values = narrow ? nullptr : static_cast<double*>(cells);
  grid->columns = static_cast<int>(columns);
  grid->rows = static_cast<int>(rows);
  std::memcpy(grid->geoTransform, geo, sizeof geo);
  std::memcpy(grid->inverse, inverse, sizeof inverse);
  grid->type = type;
  const char* unit = GDALGetRasterUnitType(bandH);
  grid->unitType = unit ? unit : "";
  grid->wkt.clear();
  if (const OGRSpatialReference* srs =
          GDALDataset::FromHandle(dataset.get())->GetSpatialRef()) {
    char* wkt = nullptr;
    const char* const options[] = {"FORMAT=WKT2_2019", nullptr};
    if (srs->exportToWkt(&wkt, options) == OGRERR_NONE && wkt != nullptr) grid->wkt = wkt;
    CPLFree(wkt);
  }
  int hasNoData = 0;
  const double noData = GDALGetRasterNoDataValue(bandH, &hasNoData);
  grid->hasNoData = false;
  if (hasNoData) grid->SetNoData(noData);
  CPLErrorReset();
  return true;
}

HstaStatistics GridStatistics(const Grid& grid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  HstaStatistics statistics = {nan, nan, nan, nan, 0};
  const size_t cells = static_cast<size_t>(grid.columns) * grid.rows;
  double sum = 0.0;
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -minimum;
  int64_t count = 0;
  for (size_t i = 0; i < cells; ++i) {
    const double v = grid.Value(i);
    if (!grid.IsValid(v)) continue;
    sum += v;
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
    ++count;
  }
  if (count == 0) return statistics;
  const double mean = sum / count;
  double squares = 0.0;
  for (size_t i = 0; i < cells; ++i) {
    const double v = grid.Value(i);
    if (grid.IsValid(v)) squares += (v - mean) * (v - mean);
  }
  statistics.minimum = minimum;
  statistics.maximum = maximum;
  statistics.mean = mean;
  statistics.stdDev = std::sqrt(squares / count);
  statistics.validCount = count;
  return statistics;
}

MapToPixel::MapToPixel() = default;
MapToPixel::~MapToPixel() = default;

bool MapToPixel::Init(const Hprj_Projection* projection, const char* units, const Grid& grid,
                      const char* function, ErrorReport** err) {
  EnsureGdal();
  CPLErrorReset();
  const bool degrees = hstr_Eqic(units, "degrees");
  const bool radians = hstr_Eqic(units, "radians");
  const bool meters = hstr_Eqic(units, "meters");
  if (!degrees && !radians && !meters) {
    hcore::Fail(err, function, __LINE__,
                (std::string("Unknown horizontal units \"") + (units ? units : "") + "\"")
                    .c_str());
    return false;
  }
  std::memcpy(inverse_, grid.inverse, sizeof inverse_);
  transform_.reset();
  scale_ = 1.0;
  if (projection == nullptr && meters) return true;  // map points are the grid's own

  OGRSpatialReference source;
  source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  const char* definition = projection ? hprj_ProjectionWkt(projection) : "EPSG:4326";
  if (definition == nullptr || source.SetFromUserInput(definition) != OGRERR_NONE) {
    FailGdal(err, function, __LINE__, "Cannot read the coordinate system of the projection");
    return false;
  }
  if (source.IsGeographic()) {
    if (meters) {
      hcore::Fail(err, function, __LINE__,
                  "Horizontal units \"meters\" do not fit a geographic projection");
      return false;
    }
    if (radians) scale_ = 180.0 / M_PI;
  } else {
    if (!meters) {
      hcore::Fail(err, function, __LINE__,
                  "Angular horizontal units do not fit a projected coordinate system");
      return false;
    }
    scale_ = 1.0 / source.GetLinearUnits();
  }
  if (grid.wkt.empty()) return true;  // an unreferenced grid is taken to share the map's CRS

  OGRSpatialReference target;
  target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (target.importFromWkt(grid.wkt.c_str()) != OGRERR_NONE) {
    FailGdal(err, function, __LINE__, "Cannot read the coordinate system of the raster");
    return false;
  }
  if (source.IsSame(&target)) return true;
  // One geographic system but for the order of its axes (the library's WGS 84, longitude first,
  // against a DEM's EPSG:4326): both are taken longitude first, and the transformation would
  // only swap the axes there and back, at a PROJ call per point.
  const char* const exceptAxisOrder[] = {"CRITERION=EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS",
                                         nullptr};
  if (source.IsGeographic() && source.IsSame(&target, exceptAxisOrder)) return true;
  transform_.reset(OGRCreateCoordinateTransformation(&source, &target));
  if (!transform_) {
    FailGdal(err, function, __LINE__,
             "The coordinate system of the raster cannot be reached from the projection");
    return false;
  }
  return true;
}

bool MapToPixel::Reproject(double* x, double* y) const {
  int ok = 0;
  return transform_->Transform(1, x, y, nullptr, &ok) && ok;
}

void MapToPixel::ToGridCrs(int n, double* x, double* y, int* ok) const {
  for (int i = 0; i < n; ++i) {
    x[i] *= scale_;
    y[i] *= scale_;
    ok[i] = 1;
  }
  // A call that fails as a whole is taken point by point, as ToGridCrs does.
  if (transform_ && !transform_->Transform(n, x, y, nullptr, ok)) {
    for (int i = 0; i < n; ++i) ok[i] = Reproject(&x[i], &y[i]);
  }
  for (int i = 0; i < n; ++i) {
    if (!ok[i] || !std::isfinite(x[i]) || !std::isfinite(y[i])) x[i] = std::nan("");
  }
}

HxfrXForm* NewMapToLayerXForm(const Hprj_Projection* projection, const char* units,
                              const Grid& grid, const char* function, ErrorReport** err) {
  void* block = hmsc_HeapMalloc(sizeof(HxfrXForm));
  if (block == nullptr) {
    hcore::Fail(err, function, __LINE__, "No memory");
    return nullptr;
  }
  auto* xform = new (block) HxfrXForm;
  if (!xform->toPixel.Init(projection, units, grid, function, err)) {
    xform->~HxfrXForm();
    hmsc_HeapFree(block);
    return nullptr;
  }
  return xform;
}

}  // namespace hraster
