#include <cstring>
#include <string>

#include <ogr_srs_api.h>

#include "core_fail.h"
#include "raster_grid.h"

namespace {

// The host's name of a vertical unit; an unknown name is kept as the raster gives it.
std::string UnitsName(const std::string& unitType) {
  const double meters = hraster::MetersPerUnit(unitType.c_str());
  if (unitType.empty() || meters == 1.0) return "meters";
  if (meters == 0.3048) return "feet";
  if (meters == 1200.0 / 3937.0) return "us survey feet";
  return unitType;
}

std::string Fit(const char* name) {
  std::string text = name && name[0] ? name : "Undefined";
  if (text.size() >= HPRJ_NAME_SIZE) text.resize(HPRJ_NAME_SIZE - 1);
  return text;
}

}  // namespace

Hprj_ElevationInfo* hprj_ElevationInfoRead(const char* fileName, const char* layerName,
                                           ErrorReport** err) {
  // The layer is "Layer_<n>" or a full layer name; only its band matters here.
  int band = 1;
  if (layerName != nullptr && layerName[0] != '\0') {
    std::string ignored;
    const bool parsed = std::strncmp(layerName, "Layer_", 6) == 0
                            ? hraster::ParseLayerNumber(layerName, &band)
                            : hraster::ParseLayerName(layerName, &ignored, &band);
    if (!parsed) {
      HCORE_FAIL(err, (std::string("Bad layer name \"") + layerName + "\"").c_str());
      return nullptr;
    }
  }
  hraster::Grid grid;
  if (!hraster::LoadGrid(fileName, band, &grid, __func__, err)) return nullptr;
  std::string spheroid;
  std::string datum;
  if (!grid.wkt.empty()) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(grid.wkt.c_str());
    if (srs != nullptr) {
      spheroid = Fit(OSRGetAttrValue(srs, "SPHEROID", 0));
      datum = Fit(OSRGetAttrValue(srs, "DATUM", 0));
      OSRDestroySpatialReference(srs);
    }
  }
  const std::string units = Fit(UnitsName(grid.unitType).c_str());
  return hprj_ElevationInfoCreateByName(spheroid.empty() ? "Undefined" : spheroid.c_str(),
                                        datum.empty() ? "Undefined" : datum.c_str(),
                                        units.c_str(), "height", err);
}
