// The sensor model as a GDAL transformer: from pixel/line of an output map grid to pixel/line
// of the image, for GDAL's warper.
#ifndef SENMOD_IO_SENSOR_TRANSFORMER_H
#define SENMOD_IO_SENSOR_TRANSFORMER_H

#include <memory>
#include <optional>
#include <string>

#include "sensor_geometry.h"

namespace senmod_io {

struct TransformerSetup {
  PointEngine* engine = nullptr;  // not owned; outlives every transformer made from it
  std::optional<double> height;   // a constant height in place of the engine's
  double geoTransform[6] = {};    // of the output grid (identity: its coordinates themselves)
  std::string wkt;                // the output grid's coordinate system
};

// Makes a transformer for GDAL (a GDALTransformerFunc argument, released with
// GDALDestroyTransformer). Forward (bDstToSrc false) it carries image pixel/line to output
// pixel/line through the ground on the engine's heights; backward, output pixel/line through
// map coordinates, longitude and latitude and the height there to image pixel/line. A point
// whose engine status is neither OK nor OFF_DEM has its success flag 0, and so has a ground
// point whose image position does not carry back to it (see SensorGeometry). GDAL can clone it for
// the warper's threads while setup lives. Throws ReadError for a coordinate system that cannot
// be read or reached from WGS 84 longitude and latitude, or a grid without an inverse.
void* createSensorTransformer(const std::shared_ptr<const TransformerSetup>& setup);

// The GDALTransformerFunc of those transformers.
int sensorTransform(void* transformer, int dstToSrc, int count, double* x, double* y, double* z,
                    int* success);

}  // namespace senmod_io

#endif
