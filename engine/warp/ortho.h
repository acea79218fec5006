// senmod ortho: an image warped onto a map grid through its sensor model by GDAL's warper.
#ifndef SENMOD_IO_ORTHO_COMMAND_H
#define SENMOD_IO_ORTHO_COMMAND_H

#include <optional>
#include <string>
#include <vector>

#include "ortho_grid.h"
#include "sensor_geometry.h"

namespace senmod_io {

struct OrthoJob {
  std::string image;             // any raster GDAL reads
  std::string output;            // the file to write
  std::optional<double> height;  // a constant height in place of the engine's heights
  GridRequest grid;
  std::string resampling = "near";           // near, bilinear, cubic or lanczos
  int threads = 0;                           // warping threads, 0 for every core
  std::vector<std::string> creationOptions;  // NAME=VALUE, over the defaults
  std::string format = "GTiff";  // a GDAL raster driver; other than GTiff through a GTiff
  int (*progress)(double done, void* arg) = nullptr;  // returns 0 to stop; may be null
  void* progressArg = nullptr;
};

// The JSON object of what a job wrote: "output", "columns", "rows", "geotransform", "srs",
// "srs_name", "bands", "warnings" (texts for people).
using OrthoReport = std::string;

// Writes job.output through engine's model: every band of the image, the output grid's cells
// the image does not reach as no-data (the image's no-data value; NaN for real pixels; else an
// added alpha band, as an alpha band of the image is carried too). A DEM that leaves part of
// the image's outline uncovered gives a warning. Throws ReadError for an image, DEM, format or
// coordinate system that cannot be used, WriteError for an output that cannot be written or a
// warp stopped by the progress callback; nothing is then left under the output's name, nor a
// temporary file.
OrthoReport runOrtho(PointEngine& engine, const OrthoJob& job);

}  // namespace senmod_io

#endif
