// The C face of the engine: each call catches what the engine throws and hands it back as a
// report, so that no exception crosses into C.
#include <cpl_string.h>
#include <gdal_alg.h>
#include <ogr_spatialref.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "centre_accuracy.h"
#include "footprint.h"
#include "gdal_quiet.h"
#include "model_handle.h"
#include "model_summary.h"
#include "number_text.h"
#include "ortho.h"
#include "point_engine.h"
#include "read_error.h"
#include "rpc_export.h"
#include "senmod/senmod_io.h"
#include "senmod/version.h"
#include "sensor_transformer.h"

namespace {

using senmod_io::guarded;
using senmod_io::handOut;
using senmod_io::needModel;
using senmod_io::numberOf;
using senmod_io::ReadError;
using senmod_io::wholeOf;

std::string textOf(const char* value, const char* what) {
  if (!value || !*value) throw ReadError(std::string(what) + " needs a value");
  return value;
}

// Numbers of a list separated by blanks or commas, exactly count of them.
template <size_t N>
std::array<double, N> numbersOf(const std::string& text, const std::string& what) {
  std::array<double, N> values{};
  const CPLStringList parts(CSLTokenizeString2(text.c_str(), " ,", 0));
  if (parts.size() != static_cast<int>(N)) {
    throw ReadError(what + " needs " + std::to_string(N) + " numbers, not \"" + text + "\"");
  }
  for (size_t i = 0; i < N; ++i) values[i] = numberOf(parts[static_cast<int>(i)], what);
  return values;
}

int transform(smod_Model* model, bool groundToImage, size_t n, const double* x, const double* y,
              const double* height, double* outX, double* outY, double* heightOut,
              double* residual, int* status, ErrorReport** err, const char* function) {
  return guarded(err, function, -1, [&] {
    needModel(model);
    if (n > 0 && (!x || !y || !outX || !outY || !status)) {
      throw ReadError("a point array is null");
    }
    const size_t good =
        groundToImage
            ? model->engine.groundToImage(n, x, y, height, outX, outY, heightOut, status)
            : model->engine.imageToGround(n, x, y, height, outX, outY, heightOut, residual,
                                          status);
    return good > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(good);
  });
}

senmod_io::OrthoJob orthoJob(const char* imagePath, const char* outputPath,
                             const char* const* options) {
  senmod_io::OrthoJob job;
  job.image = textOf(imagePath, "the image");
  job.output = textOf(outputPath, "the output");
  for (const senmod_io::FaceOption& option : senmod_io::faceOptions(options)) {
    const std::string& key = option.key;
    const std::string& text = option.value;
    if (EQUAL(key.c_str(), "T_SRS")) {
      job.grid.srs = text;
    } else if (EQUAL(key.c_str(), "TR")) {
      job.grid.resolution = numbersOf<2>(text, "TR");
      if (!((*job.grid.resolution)[0] > 0.0 && (*job.grid.resolution)[1] > 0.0)) {
        throw ReadError("TR needs sizes above zero");
      }
    } else if (EQUAL(key.c_str(), "TE")) {
      job.grid.extent = numbersOf<4>(text, "TE");
      const auto& e = *job.grid.extent;
      if (!(e[2] > e[0] && e[3] > e[1])) throw ReadError("TE needs XMIN < XMAX and YMIN < YMAX");
    } else if (EQUAL(key.c_str(), "RESAMPLING")) {
      if (text != "near" && text != "bilinear" && text != "cubic" && text != "lanczos") {
        throw ReadError("RESAMPLING takes near, bilinear, cubic or lanczos, not \"" + text + "\"");
      }
      job.resampling = text;
    } else if (EQUAL(key.c_str(), "THREADS")) {
      job.threads = wholeOf(text, "THREADS", 1, 1024);
    } else if (EQUAL(key.c_str(), "FORMAT")) {
      job.format = textOf(text.c_str(), "FORMAT");
    } else if (EQUAL(key.c_str(), "CO")) {
      if (text.find('=') == std::string::npos || text.front() == '=') {
        throw ReadError("CO needs NAME=VALUE, not \"" + text + "\"");
      }
      job.creationOptions.push_back(text);
    } else if (EQUAL(key.c_str(), "HEIGHT")) {
      job.height = numberOf(text, "HEIGHT");
    } else if (EQUAL(key.c_str(), "MAX_CELLS")) {
      job.grid.maxCells = numberOf(text, "MAX_CELLS");
      if (!(job.grid.maxCells >= 1.0)) throw ReadError("MAX_CELLS needs at least 1");
    } else {
      throw ReadError("unknown option \"" + key + "\"");
    }
  }
  return job;
}

senmod_io::RpcExportJob rpcJob(const char* path, const char* const* options) {
  senmod_io::RpcExportJob job;
  job.output = textOf(path, "the RPC's file");
  for (const senmod_io::FaceOption& option : senmod_io::faceOptions(options)) {
    const std::string& key = option.key;
    const std::string& text = option.value;
    if (EQUAL(key.c_str(), "FORMAT")) {
      job.format = senmod_io::rpcFormatNamed(text);
    } else if (EQUAL(key.c_str(), "IMAGE")) {
      job.image = textOf(text.c_str(), "IMAGE");
    } else if (EQUAL(key.c_str(), "DEGREE")) {
      job.fit.degree = wholeOf(text, "DEGREE", 1, 3);
    } else if (EQUAL(key.c_str(), "GRID")) {
      job.fit.grid = wholeOf(text, "GRID", 2, senmod_io::kMaxRpcGrid);
    } else if (EQUAL(key.c_str(), "HEIGHTS")) {
      job.fit.heights = wholeOf(text, "HEIGHTS", 2, senmod_io::kMaxRpcHeights);
    } else if (EQUAL(key.c_str(), "MAX_RESIDUAL")) {
      job.maxResidual = numberOf(text, "MAX_RESIDUAL");
    } else {
      throw ReadError("unknown option \"" + key + "\"");
    }
  }
  return job;
}

}  // namespace

smod_Model* smod_ModelOpen(const char* path, ErrorReport** err) {
  return guarded(err, "smod_ModelOpen", static_cast<smod_Model*>(nullptr), [&] {
    const std::string file = textOf(path, "the model's file");
    return new smod_Model{file, senmod_io::PointEngine(senmod_io::loadModel(file))};
  });
}

void smod_ModelClose(smod_Model* model) { delete model; }

int smod_ModelSetDem(smod_Model* model, const char* demPath, ErrorReport** err) {
  return guarded(err, "smod_ModelSetDem", -1, [&] {
    needModel(model);
    model->engine.setDem(demPath ? demPath : "");
    return 0;
  });
}

double smod_ModelMeanHeight(const smod_Model* model) {
  return model ? model->engine.meanHeight() : std::nan("");
}

int smod_ModelSetOption(smod_Model* model, const char* key, const char* value,
                        ErrorReport** err) {
  return guarded(err, "smod_ModelSetOption", -1, [&] {
    needModel(model);
    const std::string name = key ? key : "";
    senmod_io::PointOptions options = model->engine.options();
    if (EQUAL(name.c_str(), "MAX_RESIDUAL")) {
      options.maxResidual =
          value ? numberOf(value, "MAX_RESIDUAL") : senmod_io::PointOptions().maxResidual;
      if (!(options.maxResidual >= 0.0)) throw ReadError("MAX_RESIDUAL cannot be negative");
    } else if (EQUAL(name.c_str(), "EXTRAPOLATE")) {
      if (value && !EQUAL(value, "YES") && !EQUAL(value, "NO")) {
        throw ReadError(std::string("EXTRAPOLATE takes YES or NO, not \"") + value + "\"");
      }
      options.extrapolate = value && EQUAL(value, "YES");
    } else {
      throw ReadError("unknown option \"" + name + "\"");
    }
    model->engine.setOptions(options);
    return 0;
  });
}

int smod_ModelGroundToImage(smod_Model* model, size_t n, const double* lon, const double* lat,
                            const double* height, double* sample, double* row, int* status,
                            ErrorReport** err) {
  return transform(model, true, n, lon, lat, height, sample, row, nullptr, nullptr, status, err,
                   "smod_ModelGroundToImage");
}

int smod_ModelImageToGround(smod_Model* model, size_t n, const double* sample, const double* row,
                            const double* height, double* lon, double* lat, double* heightOut,
                            int* status, ErrorReport** err) {
  return transform(model, false, n, sample, row, height, lon, lat, heightOut, nullptr, status, err,
                   "smod_ModelImageToGround");
}

int smod_ModelImageToGroundResidual(smod_Model* model, size_t n, const double* sample,
                                    const double* row, const double* height, double* lon,
                                    double* lat, double* heightOut, double* residual, int* status,
                                    ErrorReport** err) {
  return transform(model, false, n, sample, row, height, lon, lat, heightOut, residual, status,
                   err, "smod_ModelImageToGroundResidual");
}

const char* smod_PointStatusText(int status) {
  switch (status) {
    case SMOD_POINT_OK:
      return "transformed";
    case SMOD_POINT_OFF_DEM:
      return "off the DEM or on no-data (took the mean height)";
    case SMOD_POINT_OUTSIDE_DOMAIN:
      return "outside the model's domain";
    case SMOD_POINT_NOT_CONVERGED:
      return "the result does not map back to the image point";
    case SMOD_POINT_FAILED:
      return "the model cannot transform the point";
    default:
      return "unknown status";
  }
}

char* smod_ModelInfoJson(smod_Model* model, ErrorReport** err) {
  return guarded(err, "smod_ModelInfoJson", static_cast<char*>(nullptr), [&] {
    needModel(model);
    return handOut(senmod_io::infoJson(model->engine, model->path));
  });
}

char* smod_ModelInfoText(smod_Model* model, ErrorReport** err) {
  return guarded(err, "smod_ModelInfoText", static_cast<char*>(nullptr), [&] {
    needModel(model);
    return handOut(senmod_io::summaryText(model->engine.model(), model->path, false) +
                   senmod_io::centreAccuracyText(senmod_io::centreAccuracy(model->engine)));
  });
}

namespace {

senmod_io::Outline footprintOf(smod_Model* model, double step, const double* height,
                               senmod_io::FootprintProperties* props) {
  needModel(model);
  if (!(step >= 1.0)) throw ReadError("the step needs at least 1 pixel");
  return senmod_io::footprintOutline(
      model->engine, step, height ? std::optional<double>(*height) : std::nullopt, props);
}

}  // namespace

char* smod_ModelFootprintJson(smod_Model* model, double step, const double* height, long* leftOut,
                              ErrorReport** err) {
  return guarded(err, "smod_ModelFootprintJson", static_cast<char*>(nullptr), [&] {
    senmod_io::FootprintProperties props;
    const senmod_io::Outline outline = footprintOf(model, step, height, &props);
    if (leftOut) *leftOut = props.missed;
    return handOut(senmod_io::footprintJson(outline, props));
  });
}

long smod_ModelFootprintWrite(smod_Model* model, const char* path, const char* format, double step,
                              const double* height, ErrorReport** err) {
  return guarded(err, "smod_ModelFootprintWrite", -1L, [&] {
    const std::string file = textOf(path, "the footprint's file");
    const std::string driver = format ? std::string(format) : senmod_io::footprintFormat(file);
    senmod_io::FootprintProperties props;
    const senmod_io::Outline outline = footprintOf(model, step, height, &props);
    senmod_io::writeFootprint(outline, props, file, driver, senmod_io::modelInputs(model));
    return props.missed;
  });
}

int smod_ModelSave(smod_Model* model, const char* path, ErrorReport** err) {
  return guarded(err, "smod_ModelSave", -1, [&] {
    needModel(model);
    senmod_io::saveModel(model->engine.model(), textOf(path, "the model file"),
                         senmod_io::modelInputs(model));
    return 0;
  });
}

char* smod_ModelOrtho(smod_Model* model, const char* imagePath, const char* outputPath,
                      const char* const* options, smod_ProgressFunc progress, void* progressArg,
                      ErrorReport** err) {
  return guarded(err, "smod_ModelOrtho", static_cast<char*>(nullptr), [&] {
    needModel(model);
    senmod_io::OrthoJob job = orthoJob(imagePath, outputPath, options);
    job.progress = progress;
    job.progressArg = progressArg;
    return handOut(senmod_io::runOrtho(model->engine, job));
  });
}

char* smod_ModelExportRPC(smod_Model* model, const char* path, const char* const* options,
                          smod_ProgressFunc progress, void* progressArg, double* residualMean,
                          double* residualMax, ErrorReport** err) {
  return guarded(err, "smod_ModelExportRPC", static_cast<char*>(nullptr), [&] {
    needModel(model);
    senmod_io::RpcExportJob job = rpcJob(path, options);
    const senmod_io::HorizontalErrors errors = senmod_io::centreHorizontalErrors(model->engine);
    job.modelAccuracy = {errors.bias, errors.random};
    job.progress = progress;
    job.progressArg = progressArg;
    const senmod_io::RpcExportResult result = senmod_io::exportRpc(model->engine, model->path, job);
    char* text = handOut(senmod_io::rpcExportJson(job, result));
    if (residualMean) *residualMean = result.residual.mean;
    if (residualMax) *residualMax = result.residual.max;
    return text;
  });
}

void* smod_ModelCreateGDALTransformer(smod_Model* model, const char* dstSRS,
                                      const double* dstGeoTransform, ErrorReport** err) {
  return guarded(err, "smod_ModelCreateGDALTransformer", static_cast<void*>(nullptr), [&] {
    needModel(model);
    const senmod_io::GdalMessages messages;
    auto setup = std::make_shared<senmod_io::TransformerSetup>();
    setup->engine = &model->engine;
    const double identity[6] = {0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    std::copy(dstGeoTransform ? dstGeoTransform : identity,
              (dstGeoTransform ? dstGeoTransform : identity) + 6, setup->geoTransform);
    OGRSpatialReference srs;
    if (srs.SetFromUserInput(dstSRS ? dstSRS : "EPSG:4326") != OGRERR_NONE) {
      throw ReadError(std::string("OSR does not take \"") + (dstSRS ? dstSRS : "") + "\"");
    }
    char* wkt = nullptr;
    srs.exportToWkt(&wkt);
    setup->wkt = wkt ? wkt : "";
    CPLFree(wkt);
    return senmod_io::createSensorTransformer(setup);
  });
}

int smod_ModelGDALTransform(void* arg, int dstToSrc, int n, double* x, double* y, double* z,
                            int* success) {
  return senmod_io::sensorTransform(arg, dstToSrc, n, x, y, z, success);
}

void smod_ModelDestroyGDALTransformer(void* arg) {
  if (arg) GDALDestroyTransformer(arg);
}

char* smod_ErrorText(const ErrorReport* report) {
  if (!report) return nullptr;
  try {
    return handOut(senmod_io::reportText(report));
  } catch (...) {
    return nullptr;
  }
}

void smod_Free(void* block) { std::free(block); }

const char* smod_VersionString(void) { return SENMOD_VERSION; }
