// senmod: ground and image coordinates from the sensor model of an image file.
#include <gdal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>

#include "command_line.h"
#include "gdal_quiet.h"
#include "model_loader.h"
#include "model_summary.h"
#include "point_stream.h"
#include "read_error.h"

namespace {

using namespace smodtool;

constexpr int kOk = 0;
constexpr int kPointFailed = 1;
constexpr int kUnusable = 2;

// Checks that GDAL can read the DEM before the library is given it: a DEM the library cannot
// open would otherwise fall back silently to the mean height.
void checkDem(const std::string& dem) {
  gdalTakeMessage();
  GDALDatasetH dataset = GDALOpen(dem.c_str(), GA_ReadOnly);
  if (!dataset) {
    const std::string why = gdalTakeMessage();
    throw ReadError(dem + ": the DEM cannot be read" + (why.empty() ? "" : " (" + why + ")"));
  }
  const bool hasBand = GDALGetRasterCount(dataset) > 0;
  GDALClose(dataset);
  if (!hasBand) throw ReadError(dem + ": the DEM has no raster band");
}

// Points the model's elevation settings at the DEM (or at its constant mean height) and sets
// its direction, then runs the one-time set-up so that a DEM the host cannot use is caught.
void configure(RSM_Xform* xform, const CommandLine& cl) {
  RSM_Model_Orig& rsm = xform->model->rsm;
  rsm.groundToImageTransform = cl.command == "ground-to-image" ? SMOD_TRUE : SMOD_FALSE;
  hmif_PTRFreeContents(&rsm.demfilename);
  if (cl.dem.empty()) {
    rsm.demsource = HMOD_DEM_CONSTANT;
    return;
  }
  rsm.demsource = HMOD_DEM_FILE;
  rsm.demfilename = heapText(cl.dem);
  smod_RSMXformFillNoMIFData(xform, nullptr);
  if (!xform->filled || rsm.demsource != HMOD_DEM_FILE || !xform->elevationSource) {
    throw ReadError(cl.dem + ": the DEM cannot be used for this model");
  }
}

int transform(const CommandLine& cl, LoadedModel& model) {
  if (!cl.dem.empty()) checkDem(cl.dem);
  configure(model.xform.get(), cl);

  std::ifstream file;
  if (!cl.input.empty()) {
    file.open(cl.input);
    if (!file) {
      std::fprintf(stderr, "senmod: %s: cannot open the input\n", cl.input.c_str());
      return kUnusable;
    }
  }
  std::FILE* out = stdout;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> outFile(nullptr, std::fclose);
  if (!cl.output.empty()) {
    outFile.reset(std::fopen(cl.output.c_str(), "w"));
    if (!outFile) {
      std::fprintf(stderr, "senmod: %s: cannot write the output\n", cl.output.c_str());
      return kUnusable;
    }
    out = outFile.get();
  }
  PointJob job;
  job.groundToImage = cl.command == "ground-to-image";
  job.height = cl.height;
  job.dem = !cl.dem.empty();
  job.inputName = cl.input.empty() ? "standard input" : cl.input;
  const int status =
      streamPoints(model.xform.get(), job, cl.input.empty() ? std::cin : file, out, stderr);
  if (std::ferror(out) || std::fflush(out) != 0) {
    std::fprintf(stderr, "senmod: %s: cannot write the output\n",
                 cl.output.empty() ? "standard output" : cl.output.c_str());
    return kUnusable;
  }
  return status;
}

int run(const CommandLine& cl) {
  if (cl.command == "help") {
    std::fputs(kUsage, stdout);
    return kOk;
  }
  LoadedModel model = loadModel(cl.model);
  if (cl.command == "info") {
    writeSummary(model, cl.model, cl.json, stdout);
    return kOk;
  }
  if (cl.command == "convert") {
    saveModel(model, cl.output);
    return kOk;
  }
  return transform(cl, model);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  gdalStart();
  try {
    return run(parseCommandLine(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "senmod: %s\n%s", e.what(), kUsage);
    return kUnusable;
  } catch (const ReadError& e) {
    std::fprintf(stderr, "senmod: %s\n", e.what());
    return kUnusable;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "senmod: out of memory\n");
    return kUnusable;
  }
}
