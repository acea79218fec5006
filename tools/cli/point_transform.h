// The numbers of the point commands: ground to image, or image to ground on given heights or a
// DEM with each result carried back to its image point.
#ifndef SMODTOOL_POINT_TRANSFORM_H
#define SMODTOOL_POINT_TRANSFORM_H

#include <optional>
#include <string>
#include <vector>

#include "dem_coverage.h"
#include "model_copy.h"
#include "owned.h"
#include "point_stream.h"

namespace smodtool {

// A point to transform: x, y and its height, unless the DEM is to give it.
struct PointInput {
  double x, y, z;
  bool fromDem;
};

class PointTransform {
 public:
  // Points in one call at most.
  static constexpr size_t kMaxPoints = ElevationReader::capacity();

  // Copies model and sets up its elevation for job; coverage is the DEM's (when job.dem is
  // given). Throws ReadError for a DEM the library cannot use, std::bad_alloc.
  PointTransform(const RSM_Xform* model, const PointJob& job,
                 const std::optional<DemCoverage>& coverage);
  ~PointTransform();
  PointTransform(const PointTransform&) = delete;
  PointTransform& operator=(const PointTransform&) = delete;

  // Transforms n <= kMaxPoints points, all with the same fromDem, into result (2 per point:
  // sample, row or longitude, latitude), heights (1 per point) and offDem (1 per point: 1 when
  // the DEM did not answer it and it took the mean height). Returns how many points from the
  // first on succeeded; when fewer than n, failure() says why the next one did not.
  size_t run(const PointInput* points, size_t n, double* result, double* heights,
             unsigned char* offDem);
  const std::string& failure() const { return failure_; }

  // The height that points off the DEM take (the DEM's mean, else the model's).
  double meanHeight() const { return forward_->model->rsm.z_mean; }

 private:
  // Points of one batch call and where their results go.
  struct Batch {
    const PointInput* points;
    size_t count;
    double* result;
    double* heights;
    unsigned char* offDem;
    size_t good;  // points from the first on that passed every check
  };
  long evaluate(Batch b);
  bool transform(Batch& b);
  bool demHeights(Batch& b, const double* at);
  bool carryBack(Batch& b);
  bool readDem(size_t count, const double* at, double* heights);
  void failAt(Batch& b, size_t i, const std::string& why);
  bool libraryFailed(ErrorReport** report, const char* what);

  const PointJob& job_;
  XformPtr forward_;
  XformPtr back_;  // image to ground: the model from ground to image, for the residual
  std::optional<DemCoverage> coverage_;
  std::optional<ElevationReader> elevation_;  // with a DEM
  std::vector<double> in_;
  std::vector<double> check_;
  std::string failure_;
};

}  // namespace smodtool

#endif
