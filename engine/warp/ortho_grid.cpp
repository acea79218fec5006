#include "ortho_grid.h"

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
    throw ReadError("the output grid would be " + std::to_string(n) + " cells wide");
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
  const double g[6] = {e[0], res[0], 0.0, e[3], 0.0, -res[1]};
  std::copy(g, g + 6, grid.geoTransform);
  return grid;
}

}  // namespace senmod_io
