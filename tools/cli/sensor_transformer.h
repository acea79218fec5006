// The sensor model as a GDAL transformer: from pixel/line of an output map grid to pixel/line
// of the image, for GDAL's warper.
#ifndef SMODTOOL_SENSOR_TRANSFORMER_H
#define SMODTOOL_SENSOR_TRANSFORMER_H

#include <memory>
#include <string>

#include "sensor_geometry.h"

namespace smodtool {

struct TransformerSetup {
  const RSM_Xform* model = nullptr;  // not owned; outlives every transformer made from it
  double pixelShift = 0.0;           // LoadedModel::gdalPixelShift
  HeightSource heights;
  double geoTransform[6] = {};  // of the output grid
  std::string wkt;              // the output grid's coordinate system
};

// Makes a transformer for GDAL (a GDALTransformerFunc argument, released with
// GDALDestroyTransformer). Forward (bDstToSrc false) it carries image pixel/line to output
// pixel/line through the ground on the height source; backward, output pixel/line through map
// coordinates, longitude and latitude and the height there to image pixel/line. A point that
// cannot be carried has its success flag 0. GDAL can clone it for the warper's threads while
// setup lives. Throws ReadError for a DEM the library cannot use or a coordinate system that
// cannot be reached from WGS 84 longitude and latitude.
void* createSensorTransformer(const std::shared_ptr<const TransformerSetup>& setup);

// The GDALTransformerFunc of those transformers.
int sensorTransform(void* transformer, int dstToSrc, int count, double* x, double* y, double* z,
                    int* success);

}  // namespace smodtool

#endif
