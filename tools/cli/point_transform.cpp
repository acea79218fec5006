#include "point_transform.h"

#include <cmath>
#include <new>

#include "model_copy.h"
#include "number_text.h"
#include "read_error.h"

namespace smodtool {

PointTransform::PointTransform(const RSM_Xform* model, const PointJob& job,
                               const std::optional<DemCoverage>& coverage)
    : job_(job), forward_(copyOf(model)), coverage_(coverage) {
  // A DEM without a valid cell answers no point: the library is not given it, and every point
  // takes the model's mean height.
  configure(forward_.get(), job.groundToImage, coverage && coverage->anyValid() ? job.dem : "");
  if (!job.groundToImage) {
    back_ = copyOf(model);
    configure(back_.get(), true, "");
  }
  if (!job.dem.empty()) elevation_.emplace();
  in_.reserve(3 * kMaxPoints);
  check_.reserve(2 * kMaxPoints);
}

PointTransform::~PointTransform() = default;

size_t PointTransform::run(const PointInput* points, size_t n, double* result, double* heights,
                           unsigned char* offDem) {
  for (size_t i = 0; i < n; ++i) offDem[i] = 0;
  const long good = evaluate(Batch{points, n, result, heights, offDem, n});
  if (good >= 0) return static_cast<size_t>(good);
  // A library call failed; it stops at the failing point, so redo the points one at a time.
  for (size_t i = 0; i < n; ++i) {
    if (evaluate(Batch{points + i, 1, result + 2 * i, heights + i, offDem + i, 1}) != 1) return i;
  }
  return n;
}

// The DEM heights at count map points (x, y pairs at `at`) into heights; false (failure_ set)
// when they cannot be read.
bool PointTransform::readDem(size_t count, const double* at, double* heights) {
  if (elevation_->read(forward_.get(), count, at, heights)) return true;
  failure_ = "the DEM heights cannot be read";
  return false;
}

// Transforms the batch's points. Returns -1 when a library call failed (failure_ holds its
// report), else how many points from the first on passed every check (failure_ says why the
// next one did not).
long PointTransform::evaluate(Batch b) {
  if (!transform(b) || (back_ && !carryBack(b))) return -1;
  return static_cast<long>(b.good);
}

void PointTransform::failAt(Batch& b, size_t i, const std::string& why) {
  if (i >= b.good) return;
  b.good = i;
  failure_ = why;
}

bool PointTransform::libraryFailed(ErrorReport** report, const char* what) {
  if (!*report) return false;
  failure_ = std::string(what) + ": " + takeReportText(report);
  return true;
}

// Heights of the points at the map points `at` (x, y pairs) from the DEM; a point the DEM does
// not answer takes the mean height, counted, or fails with --strict-dem.
bool PointTransform::demHeights(Batch& b, const double* at) {
  if (forward_->elevationSource && !readDem(b.count, at, b.heights)) return false;
  for (size_t i = 0; i < b.count; ++i) {
    if (coverage_->covers(at[2 * i], at[2 * i + 1])) continue;
    if (job_.strictDem) {
      failAt(b, i, "the point is off the DEM or on no-data (--strict-dem)");
      break;
    }
    b.heights[i] = meanHeight();
    b.offDem[i] = 1;
  }
  return true;
}

bool PointTransform::transform(Batch& b) {
  ErrorReport* report = nullptr;
  const int32_t n = static_cast<int32_t>(b.count);
  const PointInput* p = b.points;
  in_.clear();
  if (!p->fromDem) {
    for (size_t i = 0; i < b.count; ++i) b.heights[i] = p[i].z;
  } else if (job_.groundToImage) {
    for (size_t i = 0; i < b.count; ++i) in_.insert(in_.end(), {p[i].x, p[i].y});
    if (!demHeights(b, in_.data())) return false;
  } else {
    // The ground point found against the DEM, then computed again at the DEM height read
    // there, so that each written point (longitude, latitude, height) maps back to its pixel.
    for (size_t i = 0; i < b.count; ++i) in_.insert(in_.end(), {p[i].x, p[i].y});
    smod_RSMXformTransform(forward_.get(), n, in_.data(), b.result, &report);
    if (libraryFailed(&report, "the point cannot be transformed")) return false;
    if (!demHeights(b, b.result)) return false;
  }
  in_.clear();
  for (size_t i = 0; i < b.count; ++i) in_.insert(in_.end(), {p[i].x, p[i].y, b.heights[i]});
  smod_RSMXformTransform3DTo2D(forward_.get(), n, in_.data(), b.result, &report);
  if (libraryFailed(&report, "the point cannot be transformed")) return false;
  for (size_t i = 0; i < 2 * b.count; ++i) {
    if (!std::isfinite(b.result[i])) {
      failAt(b, i / 2, "the point cannot be transformed: the result is not a finite number");
      break;
    }
  }
  return true;
}

// Carries the good image-to-ground results back to the image: the inversion stops after its
// passes without saying whether it converged.
bool PointTransform::carryBack(Batch& b) {
  if (b.good == 0) return true;
  ErrorReport* report = nullptr;
  in_.clear();
  for (size_t i = 0; i < b.good; ++i) {
    in_.insert(in_.end(), {b.result[2 * i], b.result[2 * i + 1], b.heights[i]});
  }
  check_.resize(2 * b.good);
  smod_RSMXformTransform3DTo2D(back_.get(), static_cast<int32_t>(b.good), in_.data(), check_.data(),
                               &report);
  if (libraryFailed(&report, "the result cannot be carried back to the image")) return false;
  for (size_t i = 0; i < b.good; ++i) {
    const double miss =
        std::hypot(check_[2 * i] - b.points[i].x, check_[2 * i + 1] - b.points[i].y);
    if (!(miss <= job_.maxResidual)) {
      failAt(b, i,
             "the result does not map back to the image point: it lands " + numberText(miss) +
                 " pixels away (--max-residual " + numberText(job_.maxResidual) + ")");
      break;
    }
  }
  return true;
}

}  // namespace smodtool
