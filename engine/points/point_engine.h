// The one point engine: a model's points carried between ground and image with a status per
// point, on the heights of a DEM, given heights or the mean height. Every front end (the C
// face, the GDAL transformer, footprint, ortho) transforms through it, so that each decides
// nothing of its own about DEMs, failed points and residuals.
#ifndef SENMOD_IO_POINT_ENGINE_H
#define SENMOD_IO_POINT_ENGINE_H

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adjustment.h"
#include "dem_coverage.h"
#include "model_loader.h"

namespace senmod_io {

struct PointOptions {
  double maxResidual = 1e-3;  // pixels (SMOD_DEFAULT_MAX_RESIDUAL)
  bool extrapolate = false;   // points outside the domain margin still get results
};

// Where the polynomials hold: the ground domain's longitude, latitude and height bounds and the
// image domain's, each widened by kDomainMargin of its extent on every side (NGA's own reference
// points reach a tenth beyond the image domain; polynomials fold back into the image much further
// out), heights by kHeightMargin of their range and at least kLeastHeightMargin. Longitudes
// are taken about the domain's centre, lonCentre, so that a domain across the antimeridian has
// bounds too. A domain that is not there (or not geographic) is not checked.
struct DomainLimits {
  bool ground = false;
  double lonCentre = 0, lonMin = 0, lonMax = 0, latMin = 0, latMax = 0;
  double coreLonMin = 0, coreLonMax = 0, coreLatMin = 0, coreLatMax = 0;  // without the margin
  double heightMin = 0, heightMax = 0;
  double coreHeightMin = 0, coreHeightMax = 0;  // without the margin
  bool image = false;
  double sampleMin = 0, sampleMax = 0, rowMin = 0, rowMax = 0;
};

// The fraction of a domain's extent by which points may lie outside it.
constexpr double kDomainMargin = 0.25;
// The fraction of the ground domain's height range, and the least metres, by which a point's
// height may lie outside it.
constexpr double kHeightMargin = 1.0;
constexpr double kLeastHeightMargin = 1000.0;

// longitude (degrees) plus the whole turns that bring it within 180 degrees of centre.
double nearLongitude(double longitude, double centre);

DomainLimits domainLimits(const RSM_Model& model);

class PointEngine {
 public:
  explicit PointEngine(LoadedModel model);
  ~PointEngine();
  PointEngine(const PointEngine&) = delete;
  PointEngine& operator=(const PointEngine&) = delete;

  // Heights from the DEM at dem ("" for the mean height). Throws ReadError naming dem when it
  // cannot be used; the engine then keeps its previous heights. Not while a transform runs.
  void setDem(const std::string& dem);
  const std::string& dem() const { return dem_; }
  void setOptions(const PointOptions& options) { options_ = options; }
  const PointOptions& options() const { return options_; }

  // The height (m) that points off the DEM take: the DEM's mean, else the model's.
  double meanHeight() const { return meanHeight_; }
  // The model's own mean height, whatever the DEM.
  double modelMeanHeight() const { return model_.xform->model->rsm.z_mean; }

  // Ground to image of n points; height null for the DEM's heights or the mean height;
  // heightOut (may be null) receives the heights used. status[i] is an SMOD_POINT_ value;
  // without classifyDem a point off the DEM has status OK (a caller that takes both alike is
  // spared the look-up of the DEM's cells). Returns the points with status OK or OFF_DEM.
  // Throws ReadError when the call fails as a whole, std::bad_alloc. Safe on many threads at
  // once.
  size_t groundToImage(size_t n, const double* lon, const double* lat, const double* height,
                       double* sample, double* row, double* heightOut, int* status,
                       bool classifyDem = true);
  // Image to ground, as groundToImage; residual (may be null) receives each point's residual.
  size_t imageToGround(size_t n, const double* sample, const double* row, const double* height,
                       double* lon, double* lat, double* heightOut, double* residual,
                       int* status, bool classifyDem = true);

  // The polynomials alone at given heights, without the parameter values' adjustment, status
  // or domain checks: what the derivatives of accuracy and refinement are taken from. ok[i]
  // is 1 where the library carried the point. Throws as groundToImage.
  void polynomialsToImage(size_t n, const double* lon, const double* lat, const double* height,
                          double* sample, double* row, uint8_t* ok);

  // The adjustment of the model's parameter values, or null when none applies.
  const Adjustment* adjustment() const { return adjustment_ ? &*adjustment_ : nullptr; }

  const LoadedModel& model() const { return model_; }
  const DomainLimits& limits() const { return limits_; }

  // Throws ReadError when height (m) lies outside the ground domain's heights by more than
  // their margin, where no point of the model holds; what names the height for people.
  void checkHeight(double height, const std::string& what) const;

 private:
  struct Worker;
  class Lease;
  size_t run(bool groundToImage, size_t n, const double* x, const double* y, const double* h,
             double* outX, double* outY, double* heightOut, double* residual, int* status,
             bool classifyDem);
  std::unique_ptr<Worker> makeWorker() const;
  void adjustedToImage(Worker& w, size_t count, const double* lon, const double* lat,
                       const double* height, double* sample, double* row, double* used,
                       uint8_t* ok) const;
  void adjustedToGround(Worker& w, size_t count, const double* sample, const double* row,
                        const double* height, double* lon, double* lat, double* used,
                        double* misses, uint8_t* ok) const;

  LoadedModel model_;
  std::optional<Adjustment> adjustment_;
  DomainLimits limits_;
  PointOptions options_;
  std::string dem_;
  std::shared_ptr<const DemCoverage> coverage_;  // with a DEM
  bool demUsable_ = false;                       // the DEM has a valid cell
  double meanHeight_;
  std::mutex poolLock_;
  std::vector<std::unique_ptr<Worker>> pool_;  // idle workers of the current set-up
};

}  // namespace senmod_io

#endif
