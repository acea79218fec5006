// One worker of the point stream: its own transform objects carry blocks of lines to text.
#ifndef SMODTOOL_POINT_WORKER_H
#define SMODTOOL_POINT_WORKER_H

#include <optional>
#include <string>
#include <vector>

#include "dem_coverage.h"
#include "line_blocks.h"
#include "point_stream.h"
#include "point_transform.h"

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
  double meanHeight() const { return transform_.meanHeight(); }

 private:
  bool flush(BlockResult& result);
  void write(const double* r, double height, BlockResult& result);

  const PointJob& job_;
  PointTransform transform_;
  std::vector<PointInput> points_;
  std::vector<long> lines_;  // each pending point's line
  std::vector<double> result_;
  std::vector<double> heights_;
  std::vector<unsigned char> offDem_;
};

}  // namespace smodtool

#endif
