#include "rpc_export.h"

#include <gdal.h>

#include <cmath>

#include "gdal_dataset.h"
#include "gdal_quiet.h"
#include "model_summary.h"
#include "partial_file.h"
#include "read_error.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

// Metres per pixel at the image centre and the middle height: the square root of the centre
// pixel's area on the WGS 84 ellipsoid. NaN when the model does not carry the centre.
double groundSampleDistance(PointEngine& engine, const RpcDomain& d) {
  const double shift = gdalPixelShiftOf(engine.model().pixelConvention);
  const double x = (d.image.x0 + d.image.x1) / 2.0 - shift;
  const double y = (d.image.y0 + d.image.y1) / 2.0 - shift;
  const double h = (d.heightMin + d.heightMax) / 2.0;
  double sample[3] = {x, x + 1.0, x}, row[3] = {y, y, y + 1.0}, height[3] = {h, h, h};
  double lon[3], lat[3];
  int status[3];
  engine.imageToGround(3, sample, row, height, lon, lat, nullptr, nullptr, status);
  for (const int s : status) {
    if (s != SMOD_POINT_OK) return std::nan("");
  }
  const double a = 6378137.0, e2 = 6.69437999014e-3;
  const double phi = lat[0] * kRadiansPerDegree;
  const double w = std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi));
  const double east = (a / w + h) * std::cos(phi) * kRadiansPerDegree;
  const double north = (a * (1.0 - e2) / (w * w * w) + h) * kRadiansPerDegree;
  const double e1 = (lon[1] - lon[0]) * east, n1 = (lat[1] - lat[0]) * north;
  const double e2x = (lon[2] - lon[0]) * east, n2 = (lat[2] - lat[0]) * north;
  return std::sqrt(std::fabs(e1 * n2 - n1 * e2x));
}

// ERR_BIAS: the model's bias. ERR_RAND: the fit's RMS per horizontal axis in metres, with the
// model's random error (root sum of squares) when that is known.
RpcAccuracy statedAccuracy(const RpcAccuracy& model, const RpcResidual& fit, double gsd) {
  RpcAccuracy stated;
  stated.bias = model.bias >= 0.0 ? model.bias : -1.0;
  const double share = fit.rms / std::sqrt(2.0) * gsd;
  if (std::isfinite(share)) {
    stated.random = model.random >= 0.0 ? std::hypot(model.random, share) : share;
  }
  return stated;
}

// The job's progress callback as GDAL's; remembers that it asked to stop.
struct CopyProgress {
  const RpcExportJob& job;
  bool stopped = false;
};

int CPL_STDCALL copyStep(double done, const char*, void* arg) {
  CopyProgress& p = *static_cast<CopyProgress*>(arg);
  if (p.job.progress && !p.job.progress(done, p.job.progressArg)) p.stopped = true;
  return p.stopped ? FALSE : TRUE;
}

std::string px(double value) { return CPLSPrintf("%.3g", value); }

}  // namespace

RpcExportResult exportRpc(PointEngine& engine, const std::string& modelPath,
                          const RpcExportJob& job) {
  const GdalMessages messages;
  gdalTakeMessage();
  checkRpcFitOptions(job.fit);
  RpcExportResult result;
  result.format = job.format ? *job.format : rpcFormatOfPath(job.output);
  if (copiesImage(result.format) && job.image.empty()) {
    throw ReadError(std::string("FORMAT ") + rpcFormatName(result.format) +
                    " copies an image: give IMAGE");
  }
  if (!copiesImage(result.format) && !job.image.empty()) {
    throw ReadError(std::string("FORMAT ") + rpcFormatName(result.format) +
                    " is a sidecar, written beside the image: IMAGE is for GTIFF and NITF");
  }
  if (job.maxResidual && !(*job.maxResidual >= 0.0)) {
    throw ReadError("MAX_RESIDUAL cannot be negative");
  }
  PartialFile file(job.output, "rpc", {{"the model", modelPath}, {"the image", job.image}});
  if (copiesImage(result.format)) {
    const Dataset image(GDALOpen(job.image.c_str(), GA_ReadOnly));
    if (!image) throw ReadError(withReason(job.image + ": not a raster GDAL can read"));
    const ImageExtent e = modelImageExtent(engine.model().xform.get());
    const int width = GDALGetRasterXSize(image.get()), height = GDALGetRasterYSize(image.get());
    if (e.x0 != 0.0 || e.y0 != 0.0 || e.x1 != width || e.y1 != height) {
      result.warnings.push_back(job.image + " is " + std::to_string(width) + " x " +
                                std::to_string(height) + " pixels, but the model's image " +
                                "domain covers pixels " + CPLSPrintf("%g to %g", e.x0, e.x1) +
                                " x " + CPLSPrintf("%g to %g", e.y0, e.y1));
    }
  }

  const RpcDomain domain = rpcDomain(engine);
  result.fit = fitRpc(engine, domain, job.fit);
  const RpcCheck check(engine, domain, job.fit.grid, job.fit.heights);
  auto refuse = [&](const RpcResidual& r) {
    if (!std::isfinite(r.max)) {
      throw ReadError("the RPC fitted to the model cannot be evaluated over its domain (a "
                      "denominator reaches zero); nothing is written");
    }
    if (job.maxResidual && !(r.max <= *job.maxResidual)) {
      throw ReadError("the RPC misses the model by up to " + px(r.max) + " pixels (mean " +
                      px(r.mean) + "), more than the " + px(*job.maxResidual) +
                      " allowed; nothing is written");
    }
  };
  const RpcResidual fitted = check.measure(rpcMetadata(result.fit.rpc, {}).List());
  refuse(fitted);
  const size_t missed = result.fit.missed + fitted.missed;
  if (missed > 0) {
    result.warnings.push_back(
        std::to_string(missed) + " of the " +
        std::to_string(result.fit.points + result.fit.missed + fitted.points + fitted.missed) +
        " fitting and check points do not reach the ground and back through the model; the fit "
        "and its residual leave them out");
  }
  result.groundSampleDistance = groundSampleDistance(engine, domain);
  result.accuracy = statedAccuracy(job.modelAccuracy, fitted, result.groundSampleDistance);
  CopyProgress progress{job};
  try {
    writeRpcFile(result.format, file.path(), rpcMetadata(result.fit.rpc, result.accuracy).List(),
                 job.image, copyStep, &progress);
  } catch (const WriteError&) {
    if (progress.stopped) throw WriteError(job.output + ": interrupted");
    throw;
  }
  result.residual = check.measure(readRpcFile(result.format, file.path()).List());
  refuse(result.residual);
  file.commit();
  return result;
}

std::string rpcExportJson(const RpcExportJob& job, const RpcExportResult& r) {
  const auto count = [](size_t n) { return std::to_string(n); };
  std::string text = "{\"output\": " + jsonText(job.output) + ", \"format\": " +
                     jsonText(rpcFormatName(r.format)) +
                     ", \"degree\": " + std::to_string(job.fit.degree) +
                     ", \"grid\": " + std::to_string(job.fit.grid) +
                     ", \"heights\": " + std::to_string(job.fit.heights) +
                     ", \"height_offset\": " + jsonNumber(r.fit.rpc.heightOff) +
                     ", \"height_scale\": " + jsonNumber(r.fit.rpc.heightScale) +
                     ", \"fit_points\": " + count(r.fit.points) +
                     ", \"fit_points_missed\": " + count(r.fit.missed) +
                     ", \"check_points\": " + count(r.residual.points) +
                     ", \"check_points_missed\": " + count(r.residual.missed) +
                     ", \"residual_mean_px\": " + jsonNumber(r.residual.mean) +
                     ", \"residual_max_px\": " + jsonNumber(r.residual.max) +
                     ", \"residual_rms_px\": " + jsonNumber(r.residual.rms) +
                     ", \"ground_sample_distance_m\": " + jsonNumber(r.groundSampleDistance) +
                     ", \"err_bias_m\": " + jsonNumber(r.accuracy.bias) +
                     ", \"err_rand_m\": " + jsonNumber(r.accuracy.random) + ", \"warnings\": [";
  for (size_t i = 0; i < r.warnings.size(); ++i) {
    text += (i ? ", " : "") + jsonText(r.warnings[i]);
  }
  return text + "]}\n";
}

}  // namespace senmod_io
