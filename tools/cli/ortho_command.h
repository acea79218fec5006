// senmod ortho: an image warped onto a map grid through its sensor model by GDAL's warper.
#ifndef SMODTOOL_ORTHO_COMMAND_H
#define SMODTOOL_ORTHO_COMMAND_H

#include <cstdio>
#include <string>
#include <vector>

#include "ortho_grid.h"
#include "sensor_geometry.h"

namespace smodtool {

struct OrthoJob {
  std::string image;   // any raster GDAL reads
  std::string output;  // the GeoTIFF (or COG) to write
  std::string model;   // the file the model comes from, "" for the image itself
  HeightSource heights;
  GridRequest grid;
  std::string resampling = "near";           // near, bilinear, cubic or lanczos
  int threads = 0;                           // warping threads, 0 for every core
  std::vector<std::string> creationOptions;  // NAME=VALUE, over the defaults
  bool cog = false;                          // a cloud-optimised GeoTIFF through GDAL's COG driver
  bool progress = false;                     // a progress bar on err
  bool quiet = false;                        // nothing on err but errors
};

// Writes job.output: every band of the image, the output grid's cells the image does not reach
// as no-data (the image's no-data value; NaN for real pixels; else an added alpha band, as an
// alpha band of the image is carried too). A DEM that leaves part of the image's outline
// uncovered is warned about on err. Unless quiet, the output's name, size and resolution go to
// err at the end. Throws ReadError for an image, model, DEM or coordinate system that cannot
// be used, WriteError for an output that cannot be written or an interrupted warp; nothing is
// then left under the output's name, nor a temporary file.
void runOrtho(const OrthoJob& job, std::FILE* err);

}  // namespace smodtool

#endif
