#include "ortho_command.h"

#include <cpl_string.h>
#include <gdal.h>
#include <gdalwarper.h>

#include <cmath>
#include <limits>
#include <memory>
#include <thread>

#include "dem_coverage.h"
#include "gdal_quiet.h"
#include "model_loader.h"
#include "output.h"
#include "partial_file.h"
#include "read_error.h"
#include "sensor_transformer.h"

namespace smodtool {

namespace {

constexpr double kOutlineStep = 64.0;  // pixels between the outline points that set the extent

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct TransformerCloser {
  void operator()(void* transformer) const { GDALDestroyTransformer(transformer); }
};

struct WarpOptionsCloser {
  void operator()(GDALWarpOptions* options) const { GDALDestroyWarpOptions(options); }
};

std::string withReason(const std::string& what) {
  const std::string why = gdalTakeMessage();
  return what + (why.empty() ? "" : " (" + why + ")");
}

GDALResampleAlg resampling(const std::string& name) {
  if (name == "near") return GRA_NearestNeighbour;
  if (name == "bilinear") return GRA_Bilinear;
  if (name == "cubic") return GRA_Cubic;
  return GRA_Lanczos;
}

// GDAL's text progress bar (0...10...20 ... 100 - done.), on err, returning FALSE once
// interrupted so that the warper stops.
struct Progress {
  std::FILE* err;
  bool show;
  int shown = -1;  // the last 2.5 % step printed
};

int progressStep(double done, const char*, void* arg) {
  Progress& p = *static_cast<Progress*>(arg);
  if (InterruptCatcher::interrupted()) {
    if (p.show && p.shown >= 0 && p.shown < 40) std::fputc('\n', p.err);
    p.shown = 40;
    return FALSE;
  }
  if (!p.show) return TRUE;
  const int step = static_cast<int>(std::floor(std::fmin(std::fmax(done, 0.0), 1.0) * 40.0));
  for (int s = p.shown + 1; s <= step; ++s) {
    if (s % 4 == 0) {
      std::fprintf(p.err, "%d", s * 10 / 4);
    } else {
      std::fputc('.', p.err);
    }
  }
  if (step == 40 && p.shown < 40) std::fputs(" - done.\n", p.err);
  if (step > p.shown) std::fflush(p.err);
  p.shown = std::max(p.shown, step);
  return TRUE;
}

// Warns when the DEM leaves points of the outline to the mean height.
void warnUncovered(const OrthoJob& job, const Outline& outline, const SensorGeometry& geometry,
                   std::FILE* err) {
  if (job.heights.dem.empty() || job.quiet) return;
  const DemCoverage coverage(job.heights.dem);
  long off = 0;
  const size_t n = outline.lon.empty() ? 0 : outline.lon.size() - 1;
  for (size_t i = 0; i < n; ++i) off += !coverage.covers(outline.lon[i], outline.lat[i]);
  if (off == 0) return;
  std::fprintf(err,
               "senmod: warning: the DEM %s does not cover the whole image (%ld of %zu points "
               "of its outline are off the DEM or on no-data); there the mean height %.6g m "
               "is used\n",
               job.heights.dem.c_str(), off, n, geometry.meanHeight());
}

struct Bands {
  int image = 0;        // bands carried, the alpha band not counted
  int sourceAlpha = 0;  // 1-based, 0 for none
  GDALDataType type = GDT_Byte;
  bool sourceNoData = false;
  double noData = 0.0;
  bool outputNoData = false;  // else an alpha band is added
};

Bands bandsOf(GDALDatasetH source, const std::string& image) {
  Bands b;
  const int count = GDALGetRasterCount(source);
  if (count < 1) throw ReadError(image + ": the image has no band");
  b.image = count;
  if (count > 1 &&
      GDALGetRasterColorInterpretation(GDALGetRasterBand(source, count)) == GCI_AlphaBand) {
    b.sourceAlpha = count;
    b.image = count - 1;
  }
  GDALRasterBandH first = GDALGetRasterBand(source, 1);
  b.type = GDALGetRasterDataType(first);
  int has = 0;
  b.noData = GDALGetRasterNoDataValue(first, &has);
  b.sourceNoData = has != 0;
  if (b.sourceNoData) {
    b.outputNoData = true;
  } else if (!b.sourceAlpha && GDALDataTypeIsFloating(b.type)) {
    b.outputNoData = true;
    b.noData = std::numeric_limits<double>::quiet_NaN();
  }
  return b;
}

char** creationOptions(const OrthoJob& job, bool intermediate) {
  char** options = nullptr;
  options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
  options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
  if (!job.cog) options = CSLSetNameValue(options, "TILED", "YES");
  if (intermediate) return CSLSetNameValue(options, "TILED", "YES");
  for (const std::string& item : job.creationOptions) {
    char* key = nullptr;
    const char* value = CPLParseNameValue(item.c_str(), &key);
    if (key && value) options = CSLSetNameValue(options, key, value);
    CPLFree(key);
  }
  return options;
}

GDALDatasetH createOutput(const OrthoJob& job, const std::string& path, const OrthoGrid& grid,
                          const Bands& b, int bands) {
  char** options = creationOptions(job, job.cog);
  gdalTakeMessage();
  GDALDatasetH out = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), grid.columns, grid.rows,
                                bands, b.type, options);
  CSLDestroy(options);
  if (!out) throw WriteError(withReason(job.output + ": cannot be written"));
  GDALSetGeoTransform(out, const_cast<double*>(grid.geoTransform));
  GDALSetProjection(out, grid.wkt.c_str());
  for (int i = 1; i <= b.image; ++i) {
    GDALRasterBandH band = GDALGetRasterBand(out, i);
    if (b.outputNoData) GDALSetRasterNoDataValue(band, b.noData);
  }
  if (bands > b.image) {
    GDALSetRasterColorInterpretation(GDALGetRasterBand(out, bands), GCI_AlphaBand);
  }
  return out;
}

void warp(const OrthoJob& job, GDALDatasetH source, GDALDatasetH out, const Bands& b, int bands,
          void* transformer, Progress& progress) {
  std::unique_ptr<GDALWarpOptions, WarpOptionsCloser> o(GDALCreateWarpOptions());
  o->hSrcDS = source;
  o->hDstDS = out;
  o->nBandCount = b.image;
  o->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int) * b.image));
  o->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int) * b.image));
  for (int i = 0; i < b.image; ++i) o->panSrcBands[i] = o->panDstBands[i] = i + 1;
  o->nSrcAlphaBand = b.sourceAlpha;
  o->nDstAlphaBand = bands > b.image ? bands : 0;
  if (b.sourceNoData) {
    o->padfSrcNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double) * b.image));
    for (int i = 0; i < b.image; ++i) o->padfSrcNoDataReal[i] = b.noData;
  }
  if (b.outputNoData) {
    o->padfDstNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double) * b.image));
    for (int i = 0; i < b.image; ++i) o->padfDstNoDataReal[i] = b.noData;
  }
  o->eResampleAlg = resampling(job.resampling);
  o->dfWarpMemoryLimit = 256.0 * 1024 * 1024;
  o->pfnTransformer = sensorTransform;
  o->pTransformerArg = transformer;
  o->pfnProgress = progressStep;
  o->pProgressArg = &progress;
  const int threads = job.threads > 0
                          ? job.threads
                          : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  o->papszWarpOptions =
      CSLSetNameValue(o->papszWarpOptions, "NUM_THREADS", std::to_string(threads).c_str());
  o->papszWarpOptions =
      CSLSetNameValue(o->papszWarpOptions, "INIT_DEST", b.outputNoData ? "NO_DATA" : "0");
  GDALWarpOperation operation;
  gdalTakeMessage();
  if (operation.Initialize(o.get()) != CE_None) {
    throw ReadError(withReason(job.image + ": the warp cannot be set up"));
  }
  const CPLErr result =
      operation.ChunkAndWarpImage(0, 0, GDALGetRasterXSize(out), GDALGetRasterYSize(out));
  if (InterruptCatcher::interrupted()) throw WriteError(job.output + ": interrupted");
  if (result != CE_None) throw WriteError(withReason(job.output + ": the warp failed"));
}

// Closes a dataset written to, which flushes what it still holds: a failure there (a full
// disk) is a failed output.
void closeWritten(Dataset dataset, const std::string& output) {
  CPLErrorReset();
  gdalTakeMessage();
  dataset.reset();
  if (CPLGetLastErrorType() == CE_Failure) {
    throw WriteError(withReason(output + ": cannot be written"));
  }
}

}  // namespace

void runOrtho(const OrthoJob& job, std::FILE* err) {
  gdalStart();
  gdalTakeMessage();
  const Dataset source(GDALOpen(job.image.c_str(), GA_ReadOnly));
  if (!source) throw ReadError(withReason(job.image + ": not a raster GDAL can read"));
  const LoadedModel model = loadModel(job.model.empty() ? job.image : job.model);
  SensorGeometry geometry(model.xform.get(), model.gdalPixelShift, job.heights);
  const ImageExtent image{0.0, 0.0, static_cast<double>(GDALGetRasterXSize(source.get())),
                          static_cast<double>(GDALGetRasterYSize(source.get()))};
  const Outline outline = groundOutline(geometry, image, kOutlineStep);
  const OrthoGrid grid = orthoGrid(job.grid, geometry, image, outline);
  warnUncovered(job, outline, geometry, err);

  auto setup = std::make_shared<TransformerSetup>();
  setup->model = model.xform.get();
  setup->pixelShift = model.gdalPixelShift;
  setup->heights = job.heights;
  std::copy(grid.geoTransform, grid.geoTransform + 6, setup->geoTransform);
  setup->wkt = grid.wkt;
  const std::unique_ptr<void, TransformerCloser> transformer(createSensorTransformer(setup));

  const Bands b = bandsOf(source.get(), job.image);
  const int bands = b.image + (b.outputNoData ? 0 : 1);
  const InterruptCatcher catcher;
  Progress progress{err, job.progress && !job.quiet};
  PartialFile warped(job.output, job.cog ? "warp" : "ortho");
  {
    Dataset out(createOutput(job, warped.path(), grid, b, bands));
    warp(job, source.get(), out.get(), b, bands, transformer.get(), progress);
    closeWritten(std::move(out), job.output);
  }
  if (job.cog) {
    PartialFile cog(job.output, "cog");
    progress.shown = -1;
    const Dataset from(GDALOpen(warped.path().c_str(), GA_ReadOnly));
    char** options = creationOptions(job, false);
    gdalTakeMessage();
    Dataset written(from ? GDALCreateCopy(GDALGetDriverByName("COG"), cog.path().c_str(),
                                          from.get(), FALSE, options, progressStep, &progress)
                         : nullptr);
    CSLDestroy(options);
    if (InterruptCatcher::interrupted()) throw WriteError(job.output + ": interrupted");
    if (!written) throw WriteError(withReason(job.output + ": cannot be written"));
    closeWritten(std::move(written), job.output);
    cog.commit();
  } else {
    warped.commit();
  }
  if (!job.quiet) {
    std::fprintf(err, "senmod: wrote %s: %d x %d pixels of %.6g x %.6g (%s), %d band%s\n",
                 job.output.c_str(), grid.columns, grid.rows, grid.geoTransform[1],
                 -grid.geoTransform[5], grid.name.c_str(), bands, bands == 1 ? "" : "s");
  }
}

}  // namespace smodtool
