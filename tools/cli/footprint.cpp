#include "footprint.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <memory>

#include "gdal_quiet.h"
#include "model_summary.h"
#include "output.h"
#include "partial_file.h"
#include "read_error.h"

namespace smodtool {

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

}  // namespace

std::string footprintGeometryJson(const Outline& outline) {
  const Geometry polygon = polygonOf(outline);
  if (!polygon) return "null";
  char* text = OGR_G_ExportToJson(static_cast<OGRGeometryH>(polygon.get()));
  const std::string json = text ? text : "null";
  CPLFree(text);
  return json;
}

void writeFootprint(const Outline& outline, const FootprintProperties& p, const std::string& path) {
  const Geometry polygon = polygonOf(outline);
  if (!polygon) throw ReadError("too few points of the image's edges reach the ground");
  gdalStart();
  std::unique_ptr<PartialFile> partial;
  if (!path.empty()) partial = std::make_unique<PartialFile>(path, "footprint");
  const std::string target = partial ? partial->path() : "/vsistdout/";
  const std::string name = path.empty() ? "standard output" : path;
  gdalTakeMessage();
  GDALDatasetH dataset =
      GDALCreate(GDALGetDriverByName("GeoJSON"), target.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
  if (!dataset) throw WriteError(name + ": cannot be written (" + gdalTakeMessage() + ")");
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
    OGR_F_SetGeometry(feature, static_cast<OGRGeometryH>(polygon.get()));
    ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
    OGR_F_Destroy(feature);
  }
  CPLErrorReset();
  GDALClose(dataset);
  if (!ok || CPLGetLastErrorType() == CE_Failure) {
    throw WriteError(name + ": cannot be written (" + gdalTakeMessage() + ")");
  }
  if (partial) partial->commit();
}

std::string infoJson(const LoadedModel& model, const std::string& file) {
  std::string text = summaryText(model, file, true);
  SensorGeometry geometry(model.xform.get(), model.gdalPixelShift, HeightSource{});
  const Outline outline =
      groundOutline(geometry, modelImageExtent(model.xform.get()), kDefaultOutlineStep);
  // The footprint joins the summary's object, before its closing "}\n".
  text.insert(text.size() - 2, ", \"footprint\": " + footprintGeometryJson(outline));
  return text;
}

}  // namespace smodtool
