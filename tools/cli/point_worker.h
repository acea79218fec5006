// One worker of the point stream: its own transform objects carry blocks of lines to text.
#ifndef SMODTOOL_POINT_WORKER_H
#define SMODTOOL_POINT_WORKER_H

#include <optional>
#include <string>
#include <vector>

#include "dem_coverage.h"
#include "line_blocks.h"
#include "model_copy.h"
#include "owned.h"
#include "point_stream.h"

namespace smodtool {

// What a block gave.
struct BlockResult {
  std::string text;    // one line per point written
  std::string error;   // "<line>: <why>" of the failure that ends the stream, "" when none
  long points = 0;     // points written
  long demPoints = 0;  // of them, points whose height was to come from the DEM
  long offDem = 0;     // of those, points that took the mean height instead
};

class PointWorker {
 public:
  // Copies model for this worker and sets up its elevation; coverage is the DEM's (when
  // job.dem is given). Throws ReadError for a DEM the library cannot use.
  PointWorker(const RSM_Xform* model, const PointJob& job,
              const std::optional<DemCoverage>& coverage);
  ~PointWorker();
  PointWorker(const PointWorker&) = delete;
  PointWorker& operator=(const PointWorker&) = delete;

  void process(const LineBlock& block, BlockResult& result);

  // The height that points off the DEM take (the DEM's mean, else the model's).
  double meanHeight() const { return forward_->model->rsm.z_mean; }

 private:
  struct Point {
    long line;
    double x, y, z;
    bool fromDem;
  };
  // Points of one batch call and where their results go.
  struct Batch {
    const Point* points;
    size_t count;
    double* result;         // 2 per point
    double* heights;        // 1 per point
    unsigned char* offDem;  // 1 per point: the DEM did not answer it
    size_t good;            // points from the first on that passed every check
  };
  bool flush(BlockResult& result);
  size_t transformRun(size_t begin, size_t end);
  long evaluate(size_t first, size_t count, size_t slot);
  bool transform(Batch& b);
  bool demHeights(Batch& b, const double* at);
  bool carryBack(Batch& b);
  bool readDem(size_t count, const double* at, double* heights);
  void failAt(Batch& b, size_t i, const std::string& why);
  bool libraryFailed(ErrorReport** report, const char* what);
  void write(const double* r, double height, BlockResult& result);

  const PointJob& job_;
  XformPtr forward_;
  XformPtr back_;  // image to ground: the model from ground to image, for the residual
  std::optional<DemCoverage> coverage_;
  std::optional<ElevationReader> elevation_;  // with a DEM
  std::vector<Point> points_;
  std::vector<double> in_;
  std::vector<double> result_;
  std::vector<double> heights_;
  std::vector<double> check_;
  std::vector<unsigned char> offDem_;  // per slot: the point took the mean height
  std::string failure_;
};

}  // namespace smodtool

#endif
