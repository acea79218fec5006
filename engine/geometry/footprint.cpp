#include "footprint.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "gdal_quiet.h"
#include "centre_accuracy.h"
#include "model_summary.h"
#include "number_text.h"
#include "partial_file.h"
#include "read_error.h"

namespace senmod_io {

namespace {

struct GeometryCloser {
  void operator()(void* g) const { OGR_G_DestroyGeometry(static_cast<OGRGeometryH>(g)); }
};
using Geometry = std::unique_ptr<void, GeometryCloser>;

// The ring walks the image clockwise, which is clockwise on the map too (rows run south):
// GeoJSON wants the outer ring counter-clockwise, so it goes in backwards.
Geometry polygonOf(const Outline& outline) {
  if (outline.lon.size() < 4) return nullptr;
  OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
  for (size_t i = outline.lon.size(); i-- > 0;) {
    OGR_G_AddPoint_2D(ring, outline.lon[i], outline.lat[i]);
  }
  OGRGeometryH polygon = OGR_G_CreateGeometry(wkbPolygon);
  OGR_G_AddGeometryDirectly(polygon, ring);
  return Geometry(polygon);
}

void addField(OGRLayerH layer, const char* name, OGRFieldType type) {
  OGRFieldDefnH field = OGR_Fld_Create(name, type);
  OGR_L_CreateField(layer, field, TRUE);
  OGR_Fld_Destroy(field);
}

// Writes the feature into a new dataset of driver at target; false when it cannot.
bool writeDataset(const Outline& outline, const FootprintProperties& p, OGRGeometryH polygon,
                  GDALDriverH driver, const std::string& target) {
  GDALDatasetH dataset = GDALCreate(driver, target.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
  if (!dataset) return false;
  OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
  OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
  OSRImportFromEPSG(wgs84, 4326);
  OGRLayerH layer = GDALDatasetCreateLayer(dataset, "footprint", wgs84, wkbPolygon, nullptr);
  OSRRelease(wgs84);
  bool ok = layer != nullptr;
  if (ok) {
    addField(layer, "source", OFTString);
    addField(layer, "image_width", OFTReal);
    addField(layer, "image_height", OFTReal);
    addField(layer, "heights", OFTString);
    addField(layer, "lowest_height", OFTReal);
    addField(layer, "highest_height", OFTReal);
    addField(layer, "step", OFTReal);
    OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
    OGR_F_SetFieldString(feature, 0, p.source.c_str());
    OGR_F_SetFieldDouble(feature, 1, p.width);
    OGR_F_SetFieldDouble(feature, 2, p.height);
    OGR_F_SetFieldString(feature, 3, p.heights.c_str());
    OGR_F_SetFieldDouble(feature, 4,
                         *std::min_element(outline.height.begin(), outline.height.end()));
    OGR_F_SetFieldDouble(feature, 5,
                         *std::max_element(outline.height.begin(), outline.height.end()));
    OGR_F_SetFieldDouble(feature, 6, p.step);
    OGR_F_SetGeometry(feature, polygon);
    ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
    OGR_F_Destroy(feature);
  }
  CPLErrorReset();
  GDALClose(dataset);
  return ok && CPLGetLastErrorType() != CE_Failure;
}

bool endsWith(const std::string& text, const char* ending) {
  const std::string e(ending);
  return text.size() >= e.size() &&
         EQUAL(text.substr(text.size() - e.size()).c_str(), e.c_str());
}

}  // namespace

Outline footprintOutline(PointEngine& engine, double step, std::optional<double> height,
                         FootprintProperties* props) {
  if (height) engine.checkHeight(*height, "the height");
  SensorGeometry geometry(engine, height);
  const ImageExtent extent = modelImageExtent(engine.model().xform.get());
  Outline outline = groundOutline(geometry, extent, step);
  props->source = engine.model().source;
  props->width = extent.x1 - extent.x0;
  props->height = extent.y1 - extent.y0;
  props->step = step;
  props->missed = outline.missed;
  if (height) {
    props->heights = senmod_text::numberText(*height) + " m";
  } else if (!engine.dem().empty()) {
    props->heights = "DEM " + engine.dem();
  } else {
    props->heights = "mean height " + senmod_text::numberText(engine.meanHeight()) + " m";
  }
  return outline;
}

std::string footprintFormat(const std::string& path) {
  struct Ending {
    const char* ending;
    const char* driver;
  };
  static const Ending kEndings[] = {{".geojson", "GeoJSON"}, {".json", "GeoJSON"},
                                    {".gpkg", "GPKG"},       {".shp", "ESRI Shapefile"},
                                    {".kml", "KML"},         {".fgb", "FlatGeobuf"}};
  for (const Ending& e : kEndings) {
    if (endsWith(path, e.ending)) return e.driver;
  }
  throw ReadError(path +
                  ": footprints are written as GeoJSON (.geojson, .json), GeoPackage (.gpkg), "
                  "Shapefile (.shp), KML (.kml) or FlatGeobuf (.fgb)");
}

std::string footprintGeometryJson(const Outline& outline) {
  const Geometry polygon = polygonOf(outline);
  if (!polygon) return "null";
  char* text = OGR_G_ExportToJson(static_cast<OGRGeometryH>(polygon.get()));
  const std::string json = text ? text : "null";
  CPLFree(text);
  return json;
}

void writeFootprint(const Outline& outline, const FootprintProperties& p, const std::string& path,
                    const std::string& format, const std::vector<WriteInput>& inputs) {
  const Geometry polygon = polygonOf(outline);
  if (!polygon) throw ReadError("too few points of the image's edges reach the ground");
  const GdalMessages messages;
  GDALDriverH driver = GDALGetDriverByName(format.c_str());
  if (!driver || !GDALGetMetadataItem(driver, GDAL_DCAP_VECTOR, nullptr)) {
    throw ReadError("\"" + format + "\" is not an OGR driver that writes files");
  }
  const std::string name = path.empty() ? "standard output" : path;
  gdalTakeMessage();
  const auto geometry = static_cast<OGRGeometryH>(polygon.get());
  if (path.empty()) {
    if (!writeDataset(outline, p, geometry, driver, "/vsistdout/")) {
      throw WriteError(name + ": cannot be written (" + gdalTakeMessage() + ")");
    }
    return;
  }
  // Written under a temporary name, then every file of it renamed (a Shapefile is several).
  PartialFile partial(path, "footprint", inputs);
  if (!writeDataset(outline, p, geometry, driver, partial.path())) {
    throw WriteError(name + ": cannot be written (" + gdalTakeMessage() + ")");
  }
  partial.commit();
}

std::string footprintJson(const Outline& outline, const FootprintProperties& p) {
  static std::atomic<long> made{0};
  const std::string target =
      "/vsimem/senmod_footprint_" + std::to_string(reinterpret_cast<uintptr_t>(&outline)) + "_" +
      std::to_string(++made) + ".geojson";
  const Geometry polygon = polygonOf(outline);
  if (!polygon) throw ReadError("too few points of the image's edges reach the ground");
  const GdalMessages messages;
  gdalTakeMessage();
  if (!writeDataset(outline, p, static_cast<OGRGeometryH>(polygon.get()),
                    GDALGetDriverByName("GeoJSON"), target)) {
    VSIUnlink(target.c_str());
    throw WriteError("the footprint cannot be made (" + gdalTakeMessage() + ")");
  }
  vsi_l_offset size = 0;
  GByte* bytes = VSIGetMemFileBuffer(target.c_str(), &size, TRUE);
  std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  CPLFree(bytes);
  // GDAL copies the bytes of property texts (file names) that are not UTF-8.
  return validUtf8(text);
}

std::string infoJson(PointEngine& engine, const std::string& file) {
  std::string text = summaryText(engine.model(), file, true);
  FootprintProperties props;
  const ImageExtent extent = modelImageExtent(engine.model().xform.get());
  const Outline outline = footprintOutline(
      engine, cappedOutlineStep(extent, kDefaultOutlineStep), engine.modelMeanHeight(), &props);
  // The footprint and the accuracy join the summary's object, before its closing "}\n".
  text.insert(text.size() - 2, ", \"footprint\": " + footprintGeometryJson(outline) +
                                   ", \"accuracy\": " + centreAccuracyJson(centreAccuracy(engine)));
  return text;
}

}  // namespace senmod_io
