#include "ortho.h"

#include <cpl_string.h>
#include <gdal.h>
#include <gdalwarper.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "dem_coverage.h"
#include "gdal_dataset.h"
#include "gdal_quiet.h"
#include "model_summary.h"
#include "partial_file.h"
#include "read_error.h"
#include "sensor_transformer.h"

namespace senmod_io {

namespace {


struct TransformerCloser {
  void operator()(void* transformer) const { GDALDestroyTransformer(transformer); }
};

struct WarpOptionsCloser {
  void operator()(GDALWarpOptions* options) const { GDALDestroyWarpOptions(options); }
};

GDALResampleAlg resampling(const std::string& name) {
  if (name == "near") return GRA_NearestNeighbour;
  if (name == "bilinear") return GRA_Bilinear;
  if (name == "cubic") return GRA_Cubic;
  return GRA_Lanczos;
}

// The job's progress callback as GDAL's; remembers that it asked to stop.
// GDAL's warper reports each strip from 0 to 1: base and scale place it in the whole.
struct Progress {
  const OrthoJob& job;
  bool stopped = false;
  double base = 0.0;
  double scale = 1.0;
};

int progressStep(double done, const char*, void* arg) {
  Progress& p = *static_cast<Progress*>(arg);
  if (!p.job.progress || p.stopped) return !p.stopped;
  const double whole = p.base + p.scale * std::fmin(std::fmax(done, 0.0), 1.0);
  if (!p.job.progress(std::fmin(whole, 1.0), p.job.progressArg)) p.stopped = true;
  return !p.stopped;
}

// The warning for a DEM that leaves points of the outline to the mean height; "" when none.
std::string uncoveredWarning(const PointEngine& engine, const Outline& outline) {
  if (engine.dem().empty()) return "";
  const DemCoverage coverage(engine.dem());
  long off = 0;
  const size_t n = outline.lon.empty() ? 0 : outline.lon.size() - 1;
  for (size_t i = 0; i < n; ++i) off += !coverage.covers(outline.lon[i], outline.lat[i]);
  if (off == 0) return "";
  char text[512];
  std::snprintf(text, sizeof text,
                "the DEM %s does not cover the whole image (%ld of %zu points of its outline "
                "are off the DEM or on no-data); there the mean height %.6g m is used",
                engine.dem().c_str(), off, n, engine.meanHeight());
  return text;
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

bool isGTiff(const std::string& format) { return EQUAL(format.c_str(), "GTiff"); }
bool isCog(const std::string& format) { return EQUAL(format.c_str(), "COG"); }

// The creation options of the output (or, intermediate, of the GeoTIFF warped into first):
// tiled DEFLATE GeoTIFFs by default, under the job's own.
char** creationOptions(const OrthoJob& job, bool intermediate) {
  char** options = nullptr;
  if (intermediate || isGTiff(job.format) || isCog(job.format)) {
    options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
    if (!isCog(job.format)) options = CSLSetNameValue(options, "TILED", "YES");
  }
  if (intermediate) return CSLSetNameValue(options, "TILED", "YES");
  for (const std::string& item : job.creationOptions) {
    char* key = nullptr;
    const char* value = CPLParseNameValue(item.c_str(), &key);
    if (key && value) options = CSLSetNameValue(options, key, value);
    CPLFree(key);
  }
  return options;
}

void CPL_STDCALL keepEveryMessage(CPLErr, CPLErrorNum, const char* message) {
  std::string& said = *static_cast<std::string*>(CPLGetErrorHandlerUserData());
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  said += (said.empty() ? "" : "; ") + text;
}

// Refuses, before anything is written, creation options that driver does not know or whose
// value it does not take, in GDAL's words (GDAL itself only warns and goes on without them).
void checkCreationOptions(const OrthoJob& job, GDALDriverH driver) {
  char** options = creationOptions(job, false);
  std::string said;
  CPLPushErrorHandlerEx(keepEveryMessage, &said);
  const int valid = GDALValidateCreationOptions(driver, options);
  CPLPopErrorHandler();
  CSLDestroy(options);
  if (!valid) throw ReadError(job.output + ": creation options refused: " + said);
}

int warpThreads(const OrthoJob& job) {
  return job.threads > 0 ? job.threads
                         : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

GDALDatasetH createOutput(const OrthoJob& job, const std::string& path, const OrthoGrid& grid,
                          const Bands& b, int bands) {
  char** options = creationOptions(job, !isGTiff(job.format));
  // Blocks are compressed on as many threads as warp, while the warpers wait at each strip's
  // flush (see warp), unless the job says otherwise.
  if (!CSLFetchNameValue(options, "NUM_THREADS")) {
    options = CSLSetNameValue(options, "NUM_THREADS", std::to_string(warpThreads(job)).c_str());
  }
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

// Rows of a strip: whole rows of the output's blocks, about kStripBytes of pixels.
constexpr double kStripBytes = 64.0 * 1024 * 1024;

int stripHeight(GDALDatasetH out, int bands, int width) {
  GDALRasterBandH first = GDALGetRasterBand(out, 1);
  int blockX = 0, blockY = 0;
  GDALGetBlockSize(first, &blockX, &blockY);
  const double rowBytes = static_cast<double>(std::max(width, 1)) * bands *
                          GDALGetDataTypeSizeBytes(GDALGetRasterDataType(first));
  const int blocks = static_cast<int>(kStripBytes / (rowBytes * std::max(blockY, 1)));
  return std::max(blockY, 1) * std::max(blocks, 1);
}

void warp(const OrthoJob& job, GDALDatasetH source, GDALDatasetH out, const Bands& b, int bands,
          void* transformer, const CellWindow& window, Progress& progress) {
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
  // Chunks of a strip small enough that reading, warping and writing them overlap.
  o->dfWarpMemoryLimit = 16.0 * 1024 * 1024;
  o->pfnTransformer = sensorTransform;
  o->pTransformerArg = transformer;
  o->pfnProgress = progressStep;
  o->pProgressArg = &progress;
  o->papszWarpOptions =
      CSLSetNameValue(o->papszWarpOptions, "NUM_THREADS", std::to_string(warpThreads(job)).c_str());
  o->papszWarpOptions =
      CSLSetNameValue(o->papszWarpOptions, "INIT_DEST", b.outputNoData ? "NO_DATA" : "0");
  GDALWarpOperation operation;
  gdalTakeMessage();
  if (operation.Initialize(o.get()) != CE_None) {
    throw ReadError(withReason(job.image + ": the warp cannot be set up"));
  }
  // The cells outside the window keep INIT_DEST's no-data: the image does not reach them. The
  // window is warped in strips of whole blocks, each written out (compressed) before the next:
  // what is held stays bounded whatever the grid's size.
  const int stripRows = stripHeight(out, bands, window.width);
  CPLErr result = CE_None;
  const int end = window.y + window.height;
  for (int y = window.y; y < end && result == CE_None && !progress.stopped;) {
    const int next = std::min(end, (y / stripRows + 1) * stripRows);
    progress.base = static_cast<double>(y - window.y) / window.height;
    progress.scale = static_cast<double>(next - y) / window.height;
    result = operation.ChunkAndWarpMulti(window.x, y, window.width, next - y);
    if (result == CE_None) GDALFlushCache(out);
    y = next;
  }
  if (progress.stopped) throw WriteError(job.output + ": interrupted");
  if (result != CE_None) throw WriteError(withReason(job.output + ": the warp failed"));
}

// The writable raster driver of job.format; throws ReadError for any other.
GDALDriverH outputDriver(const OrthoJob& job) {
  if (EQUAL(job.format.c_str(), "VRT")) {
    throw ReadError(job.output + ": a VRT would refer to a temporary file; write a GeoTIFF");
  }
  GDALDriverH driver = GDALGetDriverByName(job.format.c_str());
  if (!driver || !GDALGetMetadataItem(driver, GDAL_DCAP_RASTER, nullptr) ||
      (!GDALGetMetadataItem(driver, GDAL_DCAP_CREATE, nullptr) &&
       !GDALGetMetadataItem(driver, GDAL_DCAP_CREATECOPY, nullptr))) {
    throw ReadError("\"" + job.format + "\" is not a GDAL raster driver that writes files");
  }
  return driver;
}

std::string reportOf(const OrthoJob& job, const OrthoGrid& grid, int bands,
                     const std::vector<std::string>& warnings) {
  std::string text = "{\"output\": " + jsonText(job.output) +
                     ", \"columns\": " + std::to_string(grid.columns) +
                     ", \"rows\": " + std::to_string(grid.rows) + ", \"geotransform\": [";
  for (int i = 0; i < 6; ++i) text += (i ? ", " : "") + jsonNumber(grid.geoTransform[i]);
  text += "], \"srs\": " + jsonText(grid.wkt) + ", \"srs_name\": " + jsonText(grid.name) +
          ", \"bands\": " + std::to_string(bands) + ", \"warnings\": [";
  for (size_t i = 0; i < warnings.size(); ++i) text += (i ? ", " : "") + jsonText(warnings[i]);
  return text + "]}\n";
}

}  // namespace

OrthoReport runOrtho(PointEngine& engine, const OrthoJob& job) {
  const GdalMessages messages;
  gdalTakeMessage();
  GDALDriverH driver = outputDriver(job);
  checkCreationOptions(job, driver);
  const std::vector<WriteInput> inputs = {{"the image", job.image}, {"the DEM", engine.dem()}};
  const bool direct = isGTiff(job.format);
  PartialFile warped(job.output, direct ? "ortho" : "warp", inputs);
  const Dataset source(GDALOpen(job.image.c_str(), GA_ReadOnly));
  if (!source) throw ReadError(withReason(job.image + ": not a raster GDAL can read"));
  if (job.height) engine.checkHeight(*job.height, "the height");
  SensorGeometry geometry(engine, job.height);
  const ImageExtent image{0.0, 0.0, static_cast<double>(GDALGetRasterXSize(source.get())),
                          static_cast<double>(GDALGetRasterYSize(source.get()))};
  const Outline outline = groundOutline(geometry, image, cappedOutlineStep(image, kDefaultOutlineStep));
  const OrthoGrid grid = orthoGrid(job.grid, geometry, image, outline);
  std::vector<std::string> warnings;
  if (!job.height) {
    const std::string warning = uncoveredWarning(engine, outline);
    if (!warning.empty()) warnings.push_back(warning);
  }

  auto setup = std::make_shared<TransformerSetup>();
  setup->engine = &engine;
  setup->height = job.height;
  std::copy(grid.geoTransform, grid.geoTransform + 6, setup->geoTransform);
  setup->wkt = grid.wkt;
  const std::unique_ptr<void, TransformerCloser> transformer(createSensorTransformer(setup));

  const Bands b = bandsOf(source.get(), job.image);
  const int bands = b.image + (b.outputNoData ? 0 : 1);
  Progress progress{job};
  {
    Dataset out(createOutput(job, warped.path(), grid, b, bands));
    warp(job, source.get(), out.get(), b, bands, transformer.get(), reachedCells(grid, outline),
         progress);
    closeWritten(std::move(out), job.output);
  }
  if (direct) {
    warped.commit();
  } else {
    PartialFile copy(job.output, "copy", inputs);
    const Dataset from(GDALOpen(warped.path().c_str(), GA_ReadOnly));
    char** options = creationOptions(job, false);
    gdalTakeMessage();
    Dataset written(from ? GDALCreateCopy(driver, copy.path().c_str(), from.get(), FALSE, options,
                                          progressStep, &progress)
                         : nullptr);
    CSLDestroy(options);
    if (progress.stopped) throw WriteError(job.output + ": interrupted");
    if (!written) throw WriteError(withReason(job.output + ": cannot be written"));
    closeWritten(std::move(written), job.output);
    copy.commit();
  }
  return reportOf(job, grid, bands, warnings);
}

}  // namespace senmod_io
