// The footprint of an image: its outline on the ground as a polygon feature, and the model's
// description with it.
#ifndef SENMOD_IO_FOOTPRINT_H
#define SENMOD_IO_FOOTPRINT_H

#include <optional>
#include <string>

#include "ground_outline.h"
#include "partial_file.h"
#include "point_engine.h"

namespace senmod_io {

// What the footprint's feature tells besides its polygon.
struct FootprintProperties {
  std::string source;  // where the model came from
  double width = 0.0;  // image size (pixels)
  double height = 0.0;
  std::string heights;  // where the heights came from, for people
  double step = 0.0;    // pixels between outline points
  long missed = 0;      // edge points that did not reach the ground, left out
};

// The outline of the model's image domain, a point every step pixels, on the ground at height
// when given, else at the engine's heights; props receives its properties.
Outline footprintOutline(PointEngine& engine, double step, std::optional<double> height,
                         FootprintProperties* props);

// The OGR driver that writes path, by its extension: GeoJSON (.geojson, .json), GPKG (.gpkg),
// ESRI Shapefile (.shp), KML (.kml), FlatGeobuf (.fgb). Throws ReadError for another.
std::string footprintFormat(const std::string& path);

// Writes outline as a layer "footprint" of one polygon (WGS 84 longitude, latitude; the ring
// counter-clockwise) with the properties and the outline's lowest and highest height, through
// the OGR driver format, to path ("" for standard output, as GeoJSON); a file is written under a
// temporary name and renamed. Throws ReadError for an outline of fewer than three points or an
// unknown driver, WriteError when the output cannot be written.
// The output is never one of inputs (the model's file, the DEM): that is refused before
// anything is written.
void writeFootprint(const Outline& outline, const FootprintProperties& properties,
                    const std::string& path, const std::string& format,
                    const std::vector<WriteInput>& inputs = {});

// The same as a GeoJSON FeatureCollection text.
std::string footprintJson(const Outline& outline, const FootprintProperties& properties);

// The outline as a GeoJSON Polygon geometry object on one line (WGS 84 longitude, latitude,
// the ring counter-clockwise); "null" for an outline of fewer than three points.
std::string footprintGeometryJson(const Outline& outline);

// The model's description for `senmod info --json`: its summary object with the footprint at
// the model's mean height as "footprint". Throws ReadError for a model the library refuses.
std::string infoJson(PointEngine& engine, const std::string& file);

}  // namespace senmod_io

#endif
