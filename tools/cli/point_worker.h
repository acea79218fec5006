// One worker of the point stream: carries blocks of lines to text through the engine.
#ifndef SENMOD_CLI_POINT_WORKER_H
#define SENMOD_CLI_POINT_WORKER_H

#include <string>
#include <vector>

#include "line_blocks.h"
#include "point_stream.h"

namespace senmod_cli {

// What a block gave.
struct BlockResult {
  std::string text;      // one line per point written
  std::string failures;  // "<input>:<line>: <why>" lines of the points that failed
  std::string error;     // "<line>: <why>" of what ends the stream, "" when none
  long points = 0;       // points written, failed ones included
  long demPoints = 0;    // of them, points whose height was to come from the DEM
  long offDem = 0;       // of those, points that took the mean height instead
  long failedByStatus[SMOD_POINT_FAILED + 1] = {};  // failed points by their status
  long strictFailures = 0;  // points failed by --strict-dem
};

class PointWorker {
 public:
  PointWorker(smod_Model* model, const PointJob& job);

  void process(const LineBlock& block, BlockResult& result);

 private:
  // A parsed point waiting for its run.
  struct Pending {
    double x, y, z;
    bool ownHeight;  // z is its height; else the model's heights
    long line;
  };
  bool flush(BlockResult& result);
  bool writeRun(size_t begin, size_t end, BlockResult& result);

  smod_Model* model_;
  const PointJob& job_;
  std::vector<Pending> pending_;
  std::vector<double> x_, y_, z_, outX_, outY_, heights_, residuals_;
  std::vector<double> cov_, ce90_, le90_;  // accuracy
  std::vector<int> status_;
};

}  // namespace senmod_cli

#endif
