#include "ortho_grid.h"

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "gdal_quiet.h"
#include "read_error.h"

namespace senmod_io {

namespace {

OGRSpatialReference systemOf(const std::string& text, double centreLon, double centreLat) {
  OGRSpatialReference srs;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (text.empty()) {
    const int zone = std::clamp(static_cast<int>(std::floor((centreLon + 180.0) / 6.0)) + 1, 1, 60);
    srs.importFromEPSG((centreLat >= 0.0 ? 32600 : 32700) + zone);
    return srs;
  }
  gdalTakeMessage();
  if (srs.SetFromUserInput(text.c_str()) != OGRERR_NONE) {
    const std::string why = gdalTakeMessage();
    throw ReadError("the output coordinate system: OSR does not take \"" + text + "\"" +
                    (why.empty() ? "" : " (" + why + ")"));
  }
  if (srs.IsGeocentric()) {
    throw ReadError("the output coordinate system \"" + text +
                    "\" is geocentric (X, Y, Z): an ortho needs a map, projected or geographic");
  }
  return srs;
}

// An authority code where OSR knows one, else the system as a PROJ string, else its name.
std::string nameOf(const OGRSpatialReference& srs) {
  OGRSpatialReference known(srs);
  if (!known.GetAuthorityCode(nullptr)) known.AutoIdentifyEPSG();
  const char* authority = known.GetAuthorityName(nullptr);
  const char* code = known.GetAuthorityCode(nullptr);
  if (authority && code) return std::string(authority) + ":" + code;
  char* proj = nullptr;
  srs.exportToProj4(&proj);
  const std::string text = proj ? proj : "";
  CPLFree(proj);
  if (!text.empty()) return text;
  const char* name = srs.GetName();
  return name ? name : "the given coordinate system";
}

// Carries n longitude, latitude points into the system in place; false when any fails.
bool toSystem(OGRCoordinateTransformation* ct, size_t n, double* x, double* y) {
  if (!ct || n == 0) return true;
  std::vector<int> ok(n, 0);
  ct->Transform(static_cast<int>(n), x, y, nullptr, ok.data());
  return std::all_of(ok.begin(), ok.end(), [](int v) { return v != 0; });
}

int cells(double span, double size) {
  const double n = std::ceil(span / size - 1e-9);
  if (!(n >= 1.0) || n > std::numeric_limits<int>::max()) {
    throw ReadError(std::string("the output grid would be ") + CPLSPrintf("%.6g", n) +
                    " cells wide (from 1 to 2147483647)");
  }
  return static_cast<int>(n);
}

}  // namespace

OrthoGrid orthoGrid(const GridRequest& request, SensorGeometry& geometry, const ImageExtent& image,
                    const Outline& outline) {
  if (outline.lon.empty()) throw ReadError("no point of the image's edges reaches the ground");
  // The centre pixel and its neighbours along a row and a column.
  const double cx = std::floor((image.x0 + image.x1) / 2.0);
  const double cy = std::floor((image.y0 + image.y1) / 2.0);
  double x[3] = {cx + 0.5, cx + 1.5, cx + 0.5};
  double y[3] = {cy + 0.5, cy + 0.5, cy + 1.5};
  double h[3];
  int ok[3] = {1, 1, 1};
  geometry.pixelToGround(3, x, y, h, ok);
  if (!ok[0] || !ok[1] || !ok[2]) throw ReadError("the image centre does not reach the ground");

  OrthoGrid grid;
  OGRSpatialReference srs = systemOf(request.srs, x[0], y[0]);
  OGRSpatialReference lonLat;
  lonLat.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  lonLat.SetFromUserInput("EPSG:4326");
  std::unique_ptr<OGRCoordinateTransformation> ct;
  if (!srs.IsSame(&lonLat)) {
    ct.reset(OGRCreateCoordinateTransformation(&lonLat, &srs));
    if (!ct) throw ReadError("the output coordinate system cannot be reached from WGS 84");
  }
  char* wkt = nullptr;
  srs.exportToWkt(&wkt);
  grid.wkt = wkt ? wkt : "";
  CPLFree(wkt);
  grid.name = nameOf(srs);

  std::array<double, 2> res{};
  if (request.resolution) {
    res = *request.resolution;
  } else {
    if (!toSystem(ct.get(), 3, x, y)) throw ReadError("the image centre cannot be mapped");
    const double area = std::fabs((x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]));
    res[0] = res[1] = std::sqrt(area);
    if (!(res[0] > 0.0) || !std::isfinite(res[0])) {
      throw ReadError("the ground sample distance at the image centre cannot be found");
    }
  }
  std::array<double, 4> e{};
  if (request.extent) {
    e = *request.extent;
  } else {
    std::vector<double> ex = outline.lon;
    std::vector<double> ey = outline.lat;
    if (!toSystem(ct.get(), ex.size(), ex.data(), ey.data())) {
      throw ReadError("the image's outline cannot be mapped into " + grid.name);
    }
    e = {*std::min_element(ex.begin(), ex.end()), *std::min_element(ey.begin(), ey.end()),
         *std::max_element(ex.begin(), ex.end()), *std::max_element(ey.begin(), ey.end())};
    e[0] = std::floor(e[0] / res[0]) * res[0];
    e[1] = std::floor(e[1] / res[1]) * res[1];
    e[2] = std::ceil(e[2] / res[0]) * res[0];
    e[3] = std::ceil(e[3] / res[1]) * res[1];
  }
  grid.columns = cells(e[2] - e[0], res[0]);
  grid.rows = cells(e[3] - e[1], res[1]);
  const double total = static_cast<double>(grid.columns) * grid.rows;
  if (total > request.maxCells) {
    throw ReadError(std::string("the output grid would hold ") + CPLSPrintf("%.4g", total) +
                    " cells (" + std::to_string(grid.columns) + " x " +
                    std::to_string(grid.rows) + "), above the limit of " +
                    CPLSPrintf("%.4g", request.maxCells) +
                    ": give larger cells, a smaller extent or a higher limit (MAX_CELLS)");
  }
  const double g[6] = {e[0], res[0], 0.0, e[3], 0.0, -res[1]};
  std::copy(g, g + 6, grid.geoTransform);
  return grid;
}

CellWindow reachedCells(const OrthoGrid& grid, const Outline& outline) {
  const CellWindow whole{0, 0, grid.columns, grid.rows};
  if (outline.lon.empty()) return whole;
  OGRSpatialReference srs;
  OGRSpatialReference lonLat;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  lonLat.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (srs.importFromWkt(grid.wkt.c_str()) != OGRERR_NONE ||
      lonLat.SetFromUserInput("EPSG:4326") != OGRERR_NONE) {
    return whole;
  }
  std::unique_ptr<OGRCoordinateTransformation> ct;
  if (!srs.IsSame(&lonLat)) {
    ct.reset(OGRCreateCoordinateTransformation(&lonLat, &srs));
    if (!ct) return whole;
  }
  std::vector<double> x = outline.lon;
  std::vector<double> y = outline.lat;
  if (!toSystem(ct.get(), x.size(), x.data(), y.data())) return whole;
  double inverse[6];
  if (!GDALInvGeoTransform(const_cast<double*>(grid.geoTransform), inverse)) return whole;
  double c0 = HUGE_VAL, c1 = -HUGE_VAL, r0 = HUGE_VAL, r1 = -HUGE_VAL;
  for (size_t i = 0; i < x.size(); ++i) {
    double c = 0.0, r = 0.0;
    GDALApplyGeoTransform(inverse, x[i], y[i], &c, &r);
    if (!std::isfinite(c) || !std::isfinite(r)) return whole;
    c0 = std::min(c0, c);
    c1 = std::max(c1, c);
    r0 = std::min(r0, r);
    r1 = std::max(r1, r);
  }
  const double dc = 0.1 * (c1 - c0) + 2.0;
  const double dr = 0.1 * (r1 - r0) + 2.0;
  const double left = std::max(0.0, std::floor(c0 - dc));
  const double top = std::max(0.0, std::floor(r0 - dr));
  const double right = std::min(static_cast<double>(grid.columns), std::ceil(c1 + dc));
  const double bottom = std::min(static_cast<double>(grid.rows), std::ceil(r1 + dr));
  if (!(right > left && bottom > top)) return CellWindow{};
  return CellWindow{static_cast<int>(left), static_cast<int>(top),
                    static_cast<int>(right - left), static_cast<int>(bottom - top)};
}

}  // namespace senmod_io
