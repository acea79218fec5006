// The footprint of an image: its outline on the ground as a GeoJSON polygon.
#ifndef SMODTOOL_FOOTPRINT_H
#define SMODTOOL_FOOTPRINT_H

#include <string>

#include "ground_outline.h"
#include "model_loader.h"

namespace smodtool {

// What the footprint's feature tells besides its polygon.
struct FootprintProperties {
  std::string source;  // where the model came from
  double width = 0.0;  // image size (pixels)
  double height = 0.0;
  std::string heights;  // where the heights came from, for people
  double step = 0.0;    // pixels between outline points
};

// Writes outline as a GeoJSON feature collection of one polygon (WGS 84 longitude, latitude;
// the ring counter-clockwise) with the properties and the outline's lowest and highest height,
// through OGR, to path ("" for standard output; a file is written under a temporary name and
// renamed). Throws ReadError for an outline of fewer than three points, WriteError when the
// output cannot be written.
void writeFootprint(const Outline& outline, const FootprintProperties& properties,
                    const std::string& path);

// The outline as a GeoJSON Polygon geometry object on one line (WGS 84 longitude, latitude,
// the ring counter-clockwise); "null" for an outline of fewer than three points.
std::string footprintGeometryJson(const Outline& outline);

// What `senmod info --json` writes for model (read from file): its summary object with the
// footprint at the mean height as "footprint". Throws ReadError for a model the library refuses.
std::string infoJson(const LoadedModel& model, const std::string& file);

}  // namespace smodtool

#endif
