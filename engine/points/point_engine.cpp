#include "point_engine.h"

#include <cpl_string.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "model_copy.h"
#include "read_error.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

namespace {

// Points per library call: the worker's buffers hold this many.
constexpr size_t kChunk = 16384;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Passes of the adjusted inversion: each moves the target of the polynomials' own inversion so
// that the adjusted model meets the image point, by Broyden's method on the map from target to
// adjusted image (the identity when nothing is adjusted, so that a small adjustment gains
// several digits a pass and a large one, metres of offset and degrees of rotation, converges
// superlinearly). A point settles once it is within kAdjustedTolerance (px), or once it stops
// gaining within kAdjustedFloor, the polynomials' own inversion's rounding: it then takes the
// better target before, and keeps it, so that noise cannot mislead the estimate. The passes stop
// when every point settled.
constexpr int kAdjustedPasses = 30;
constexpr double kAdjustedTolerance = 1e-11;
constexpr double kAdjustedFloor = 1e-6;

// One library call on count points; throws when the call fails as a whole.
void carry(RSM_Xform* xform, size_t count, const double* x, const double* y, const double* h,
           double* outX, double* outY, double* used, double* misses, uint8_t* ok) {
  ErrorReport* report = nullptr;
  const int32_t carried = smod_RSMXformTransformPoints(xform, static_cast<int32_t>(count), x, y,
                                                       h, outX, outY, used, misses, ok, &report);
  if (carried < 0) {
    throw ReadError("the points cannot be transformed: " + takeReportText(&report));
  }
}

}  // namespace

double nearLongitude(double longitude, double centre) {
  if (std::fabs(longitude - centre) <= 180.0 || !std::isfinite(longitude)) return longitude;
  return longitude - 360.0 * std::floor((longitude - centre + 180.0) / 360.0);
}

DomainLimits domainLimits(const RSM_Model& model) {
  DomainLimits limits;
  const Smod_Doubles& image = model.rsm.imageDomain;
  if (image.count >= 4 && image.data) {
    const double* d = image.data;
    // The domain names its first and last pixel; its extent runs to the last one's far edge.
    const double ds = kDomainMargin * (d[1] + 1.0 - d[0]);
    const double dr = kDomainMargin * (d[3] + 1.0 - d[2]);
    limits.image = ds >= 0.0 && dr >= 0.0;
    limits.sampleMin = d[0] - ds;
    limits.sampleMax = d[1] + 1.0 + ds;
    limits.rowMin = d[2] - dr;
    limits.rowMax = d[3] + 1.0 + dr;
  }
  const Smod_Doubles& ground = model.rsm.groundDomain;
  if (ground.count < 3 || !ground.data) return limits;
  double lonMin = HUGE_VAL, lonMax = -HUGE_VAL, latMin = HUGE_VAL, latMax = -HUGE_VAL;
  double hMin = HUGE_VAL, hMax = -HUGE_VAL;
  double first = 0.0;
  for (int32_t i = 0; i + 2 < ground.count; i += 3) {
    double lon, lat, h;
    ErrorReport* report = nullptr;
    smod_RSMConvertGRNDD(&model, 0, ground.data[i], ground.data[i + 1], ground.data[i + 2], &lon,
                         &lat, &h, &report);
    if (report) {
      herr_DeleteErrorReportEx(&report);
      return limits;
    }
    if (!std::isfinite(lon) || !std::isfinite(lat) || !std::isfinite(h)) return limits;
    // Each vertex about the first, so that a domain across the antimeridian stays whole.
    if (i == 0) first = lon;
    lon = nearLongitude(lon, first);
    hMin = std::min(hMin, h);
    hMax = std::max(hMax, h);
    lonMin = std::min(lonMin, lon);
    lonMax = std::max(lonMax, lon);
    latMin = std::min(latMin, lat);
    latMax = std::max(latMax, lat);
  }
  // A domain wider than half the globe in longitude is not a domain of one image.
  if (lonMax - lonMin > 180.0) return limits;
  const double dLon = kDomainMargin * (lonMax - lonMin);
  const double dLat = kDomainMargin * (latMax - latMin);
  const double dHeight = std::max(kHeightMargin * (hMax - hMin), kLeastHeightMargin);
  limits.ground = true;
  limits.lonCentre = (lonMin + lonMax) / 2.0;
  limits.coreLonMin = lonMin;
  limits.coreLonMax = lonMax;
  limits.coreLatMin = latMin;
  limits.coreLatMax = latMax;
  limits.coreHeightMin = hMin;
  limits.coreHeightMax = hMax;
  limits.heightMin = hMin - dHeight;
  limits.heightMax = hMax + dHeight;
  limits.lonMin = lonMin - dLon;
  limits.lonMax = lonMax + dLon;
  limits.latMin = latMin - dLat;
  limits.latMax = latMax + dLat;
  return limits;
}

// One thread's copies of the model, set up for the engine's heights, and its buffers.
struct PointEngine::Worker {
  XformPtr toImage;
  XformPtr toGround;
  std::unique_ptr<DemCoverage> coverage;  // its own: a coverage copy is not shared
  // Buffers of the largest chunk taken so far, grown on demand: a model made for a few points
  // (a draw of its parameters, a cursor position) clears no megabytes.
  std::vector<uint8_t> ok;
  std::vector<double> heights, residuals;
  std::vector<double> longitudes;  // brought near the domain
  // For a model whose parameter values apply: the moved points, the image shifts, the
  // inversion's targets and the adjusted images of its results.
  std::vector<double> movedLon, movedLat, movedH, shiftS, shiftR, targetS, targetR, imageS,
      imageR, spareH;
  // Per point of the adjusted inversion: the previous target and image, and Broyden's 2 × 2
  // estimate of the map's derivative (row-major).
  std::vector<double> lastTarget, lastImage, slope, lastError;
  std::vector<uint8_t> settled;
  std::vector<uint8_t> imageOk;

  void hold(size_t count, bool adjusted) {
    if (ok.size() >= count) return;
    ok.resize(count);
    imageOk.resize(adjusted ? count : 0);
    for (auto* v : {&lastTarget, &lastImage}) v->resize(adjusted ? 2 * count : 0);
    slope.resize(adjusted ? 4 * count : 0);
    lastError.resize(adjusted ? count : 0);
    settled.resize(adjusted ? count : 0);
    for (auto* v : {&heights, &residuals, &longitudes}) v->resize(count);
    for (auto* v : {&movedLon, &movedLat, &movedH, &shiftS, &shiftR, &targetS, &targetR,
                    &imageS, &imageR, &spareH}) {
      v->resize(adjusted ? count : 0);
    }
  }
};

// A worker taken from the pool for one call, given back at its end.
class PointEngine::Lease {
 public:
  explicit Lease(PointEngine& engine) : engine_(engine) {
    {
      const std::lock_guard<std::mutex> hold(engine.poolLock_);
      if (!engine.pool_.empty()) {
        worker_ = std::move(engine.pool_.back());
        engine.pool_.pop_back();
      }
    }
    if (!worker_) worker_ = engine.makeWorker();
  }
  ~Lease() {
    const std::lock_guard<std::mutex> hold(engine_.poolLock_);
    engine_.pool_.push_back(std::move(worker_));
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  Worker& operator*() const { return *worker_; }

 private:
  PointEngine& engine_;
  std::unique_ptr<Worker> worker_;
};

PointEngine::PointEngine(LoadedModel model)
    : model_(std::move(model)),
      adjustment_(model_.parameters && model_.parameters->applies()
                      ? std::optional<Adjustment>(std::in_place, *model_.parameters)
                      : std::nullopt),
      limits_(domainLimits(*model_.xform->model)),
      meanHeight_(model_.xform->model->rsm.z_mean) {}

PointEngine::~PointEngine() = default;

void PointEngine::checkHeight(double height, const std::string& what) const {
  const DomainLimits& d = limits_;
  if (!d.ground || (height >= d.heightMin && height <= d.heightMax)) return;
  throw ReadError(what + " " + CPLSPrintf("%.6g", height) +
                  " m lies far outside the model's ground domain, whose points hold from " +
                  CPLSPrintf("%.6g", d.heightMin) + " to " + CPLSPrintf("%.6g", d.heightMax) +
                  " m");
}

std::unique_ptr<PointEngine::Worker> PointEngine::makeWorker() const {
  auto worker = std::make_unique<Worker>();
  // A DEM without a valid cell answers no point: the library is not given it, and every point
  // takes the model's mean height.
  const std::string dem = demUsable_ ? dem_ : "";
  worker->toImage = copyOf(model_.xform.get());
  configure(worker->toImage.get(), true, dem);
  worker->toGround = copyOf(model_.xform.get());
  configure(worker->toGround.get(), false, dem);
  if (coverage_) worker->coverage = std::make_unique<DemCoverage>(*coverage_);
  return worker;
}

void PointEngine::setDem(const std::string& dem) {
  std::shared_ptr<const DemCoverage> coverage;
  if (!dem.empty()) coverage = std::make_shared<const DemCoverage>(dem);
  const std::string previousDem = dem_;
  const std::shared_ptr<const DemCoverage> previousCoverage = coverage_;
  const bool previousUsable = demUsable_;
  dem_ = dem;
  coverage_ = coverage;
  demUsable_ = coverage && coverage->anyValid();
  std::unique_ptr<Worker> first;
  try {
    first = makeWorker();
  } catch (...) {
    dem_ = previousDem;
    coverage_ = previousCoverage;
    demUsable_ = previousUsable;
    throw;
  }
  meanHeight_ = first->toImage->model->rsm.z_mean;
  const std::lock_guard<std::mutex> hold(poolLock_);
  pool_.clear();
  pool_.push_back(std::move(first));
}

size_t PointEngine::groundToImage(size_t n, const double* lon, const double* lat,
                                  const double* height, double* sample, double* row,
                                  double* heightOut, int* status, bool classifyDem) {
  return run(true, n, lon, lat, height, sample, row, heightOut, nullptr, status, classifyDem);
}

size_t PointEngine::imageToGround(size_t n, const double* sample, const double* row,
                                  const double* height, double* lon, double* lat,
                                  double* heightOut, double* residual, int* status,
                                  bool classifyDem) {
  return run(false, n, sample, row, height, lon, lat, heightOut, residual, status, classifyDem);
}

size_t PointEngine::run(bool groundToImage, size_t n, const double* x, const double* y,
                        const double* h, double* outX, double* outY, double* heightOut,
                        double* residual, int* status, bool classifyDem) {
  if (n == 0) return 0;
  const Lease lease(*this);
  Worker& w = *lease;
  w.hold(std::min(n, kChunk), adjustment_.has_value());
  RSM_Xform* xform = groundToImage ? w.toImage.get() : w.toGround.get();
  const bool fromDem = classifyDem && !h && !dem_.empty();
  const DomainLimits& d = limits_;
  const bool checkDomain = groundToImage ? d.ground : d.image;
  size_t good = 0;
  for (size_t start = 0; start < n; start += kChunk) {
    const size_t count = std::min(kChunk, n - start);
    double* const used = heightOut ? heightOut + start : w.heights.data();
    double* const misses = residual ? residual + start : w.residuals.data();
    // Longitudes a turn away from the domain's (the other side of the antimeridian) are
    // brought near it, as GDAL's RPC transformer does.
    const double* lon = x + start;
    if (groundToImage && d.ground) {
      bool far = false;
      for (size_t j = 0; j < count; ++j) far |= std::fabs(lon[j] - d.lonCentre) > 180.0;
      if (far) {
        for (size_t j = 0; j < count; ++j) w.longitudes[j] = nearLongitude(lon[j], d.lonCentre);
        lon = w.longitudes.data();
      }
    }
    const double* const given = h ? h + start : nullptr;
    if (!adjustment_) {
      carry(xform, count, groundToImage ? lon : x + start, y + start, given, outX + start,
            outY + start, used, groundToImage ? nullptr : misses, w.ok.data());
    } else if (groundToImage) {
      adjustedToImage(w, count, lon, y + start, given, outX + start, outY + start, used,
                      w.ok.data());
    } else {
      adjustedToGround(w, count, x + start, y + start, given, outX + start, outY + start, used,
                       misses, w.ok.data());
    }
    for (size_t j = 0; j < count; ++j) {
      const size_t i = start + j;
      int s = w.ok[j] ? SMOD_POINT_OK : SMOD_POINT_FAILED;
      if (s == SMOD_POINT_OK && !groundToImage && !(misses[j] <= options_.maxResidual)) {
        s = SMOD_POINT_NOT_CONVERGED;
      }
      if (s == SMOD_POINT_OK && fromDem) {
        const double mx = groundToImage ? lon[j] : outX[i];
        const double my = groundToImage ? y[i] : outY[i];
        if (!demUsable_ || !w.coverage->covers(mx, my)) s = SMOD_POINT_OFF_DEM;
      }
      bool outside = false;
      if (checkDomain) {
        outside = groundToImage ? !(lon[j] >= d.lonMin && lon[j] <= d.lonMax &&
                                    y[i] >= d.latMin && y[i] <= d.latMax)
                                : !(x[i] >= d.sampleMin && x[i] <= d.sampleMax &&
                                    y[i] >= d.rowMin && y[i] <= d.rowMax);
      }
      // A result far outside the ground domain comes from a fold of the polynomials, however
      // well it converged.
      if (!groundToImage && d.ground && w.ok[j]) {
        const double rl = nearLongitude(outX[i], d.lonCentre);
        outside |= !(rl >= d.lonMin && rl <= d.lonMax && outY[i] >= d.latMin &&
                     outY[i] <= d.latMax);
      }
      // A height far outside the domain's is as far from where the polynomials hold.
      if (d.ground && w.ok[j]) outside |= !(used[j] >= d.heightMin && used[j] <= d.heightMax);
      // Outside the domain a point is refused; extrapolated, it keeps a failure of its own.
      const bool succeeded = s == SMOD_POINT_OK || s == SMOD_POINT_OFF_DEM;
      const bool keep = succeeded && (!outside || options_.extrapolate);
      if (outside && (succeeded || !options_.extrapolate)) s = SMOD_POINT_OUTSIDE_DOMAIN;
      status[i] = s;
      good += s == SMOD_POINT_OK || s == SMOD_POINT_OFF_DEM;
      if (!keep) {
        outX[i] = outY[i] = kNaN;
        used[j] = kNaN;
      }
    }
  }
  return good;
}

void PointEngine::adjustedToImage(Worker& w, size_t count, const double* lon,
                                  const double* lat, const double* height, double* sample,
                                  double* row, double* used, uint8_t* ok) const {
  // The point's height comes from the DEM at the point itself, before it moves.
  if (height) {
    if (height != used) std::copy(height, height + count, used);
  } else {
    carry(w.toImage.get(), count, lon, lat, nullptr, sample, row, used, nullptr, ok);
  }
  for (size_t j = 0; j < count; ++j) {
    adjustment_->apply(lon[j], lat[j], used[j], &w.movedLon[j], &w.movedLat[j], &w.movedH[j],
                       &w.shiftS[j], &w.shiftR[j]);
  }
  carry(w.toImage.get(), count, w.movedLon.data(), w.movedLat.data(), w.movedH.data(), sample,
        row, w.spareH.data(), nullptr, ok);
  for (size_t j = 0; j < count; ++j) {
    sample[j] += w.shiftS[j];
    row[j] += w.shiftR[j];
  }
}

void PointEngine::adjustedToGround(Worker& w, size_t count, const double* sample,
                                   const double* row, const double* height, double* lon,
                                   double* lat, double* used, double* misses,
                                   uint8_t* ok) const {
  std::copy(sample, sample + count, w.targetS.begin());
  std::copy(row, row + count, w.targetR.begin());
  for (size_t j = 0; j < count; ++j) {
    double* b = &w.slope[4 * j];
    b[0] = b[3] = 1.0;
    b[1] = b[2] = 0.0;
    w.settled[j] = 0;
    w.lastError[j] = HUGE_VAL;
  }
  for (int pass = 0;; ++pass) {
    carry(w.toGround.get(), count, w.targetS.data(), w.targetR.data(), height, lon, lat, used,
          misses, ok);
    adjustedToImage(w, count, lon, lat, used, w.imageS.data(), w.imageR.data(), used,
                    w.imageOk.data());
    bool going = false;
    for (size_t j = 0; j < count; ++j) {
      if (!ok[j] || !w.imageOk[j] || w.settled[j]) continue;
      const double es = sample[j] - w.imageS[j], er = row[j] - w.imageR[j];
      const double error = std::max(std::fabs(es), std::fabs(er));
      const bool stalled = error <= kAdjustedFloor && error >= w.lastError[j];
      if (error <= kAdjustedTolerance || stalled) {
        w.settled[j] = 1;
        if (stalled) {
          // Back to the better target before it, carried once more.
          w.targetS[j] = w.lastTarget[2 * j];
          w.targetR[j] = w.lastTarget[2 * j + 1];
          going = true;
        }
        continue;
      }
      w.lastError[j] = error;
      going = true;
      double* b = &w.slope[4 * j];
      double* t = &w.lastTarget[2 * j];
      double* f = &w.lastImage[2 * j];
      if (pass > 0) {
        // Broyden's update: the estimate takes the change the last step made.
        const double dt[2] = {w.targetS[j] - t[0], w.targetR[j] - t[1]};
        const double df[2] = {w.imageS[j] - f[0], w.imageR[j] - f[1]};
        const double norm = dt[0] * dt[0] + dt[1] * dt[1];
        if (norm > 0.0) {
          const double u0 = (df[0] - b[0] * dt[0] - b[1] * dt[1]) / norm;
          const double u1 = (df[1] - b[2] * dt[0] - b[3] * dt[1]) / norm;
          b[0] += u0 * dt[0];
          b[1] += u0 * dt[1];
          b[2] += u1 * dt[0];
          b[3] += u1 * dt[1];
        }
      }
      t[0] = w.targetS[j];
      t[1] = w.targetR[j];
      f[0] = w.imageS[j];
      f[1] = w.imageR[j];
      const double det = b[0] * b[3] - b[1] * b[2];
      if (std::fabs(det) > 1e-12) {
        w.targetS[j] += (b[3] * es - b[1] * er) / det;
        w.targetR[j] += (b[0] * er - b[2] * es) / det;
      } else {
        w.targetS[j] += es;
        w.targetR[j] += er;
      }
    }
    if (!going || pass + 1 == kAdjustedPasses) break;
  }
  for (size_t j = 0; j < count; ++j) {
    ok[j] = ok[j] && w.imageOk[j];
    const double miss = std::hypot(sample[j] - w.imageS[j], row[j] - w.imageR[j]);
    misses[j] = std::max(misses[j], miss);
  }
}

void PointEngine::polynomialsToImage(size_t n, const double* lon, const double* lat,
                                     const double* height, double* sample, double* row,
                                     uint8_t* ok) {
  const Lease lease(*this);
  Worker& w = *lease;
  w.hold(std::min(n, kChunk), adjustment_.has_value());
  for (size_t start = 0; start < n; start += kChunk) {
    const size_t count = std::min(kChunk, n - start);
    carry(w.toImage.get(), count, lon + start, lat + start, height + start, sample + start,
          row + start, w.heights.data(), nullptr, ok + start);
  }
}

}  // namespace senmod_io
