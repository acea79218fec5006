// Streams points through the engine in blocks of lines, on every core, in input order.
#ifndef SENMOD_CLI_POINT_STREAM_H
#define SENMOD_CLI_POINT_STREAM_H

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "line_blocks.h"
#include "output.h"
#include "senmod/senmod_io.h"

namespace senmod_cli {

struct PointJob {
  bool groundToImage = true;
  // Image to ground with each point's accuracy (from the model's error covariance and these
  // standard deviations, m and px) after its coordinates.
  bool accuracy = false;
  double heightSigma = 0.0;
  double imageSigma = 0.0;
  std::optional<double> height;  // --height: for lines without a height of their own
  bool dem = false;              // the model's DEM gives heights (--dem)
  bool strictDem = false;        // a point the DEM does not answer fails
  bool extrapolate = false;      // points outside the domain are written, not failed
  bool stopOnError = false;      // the first failed point stops the stream
  double maxResidual = SMOD_DEFAULT_MAX_RESIDUAL;  // for the failure message
  std::string inputName;                           // for messages
};

class PointWorker;
struct BlockResult;

// Reads points from an input (one a line: "x y [height]", commas or blanks between fields;
// blank lines and lines starting with '#' skipped), transforms them with model and writes one
// result a line: "sample row", or "longitude latitude height" (followed by "ce90 le90
// sigma_east sigma_north sigma_up" for job.accuracy). A height on the line wins over
// job.height; without either the model's DEM (when it has one) or else its mean height is
// used. A point that fails is written "nan nan" ("nan nan nan"), its line and reason go to err,
// and at the end a count per reason; points the DEM does not answer take the mean height, and
// their count goes to err at the end.
class PointStream {
 public:
  // model must outlive the stream; its DEM and options are set.
  PointStream(smod_Model* model, const PointJob& job, std::FILE* err);
  ~PointStream();
  PointStream(const PointStream&) = delete;
  PointStream& operator=(const PointStream&) = delete;

  // Returns 0, or 1 after a point that failed or a malformed or too long line (which stops the
  // stream after the points before it, as a failed point does with job.stopOnError). Throws
  // CommandError for an input that cannot be read or a failed engine call, WriteError at the
  // first failed write.
  int run(std::FILE* in, Output& out);

 private:
  void processAll(const std::vector<LineBlock>& blocks, std::vector<BlockResult>& results,
                  size_t n);
  bool emit(const BlockResult& r);
  void summarise();

  smod_Model* model_;
  const PointJob& job_;
  std::FILE* err_;
  Output* out_ = nullptr;
  bool progress_;
  bool shown_ = false;
  long written_ = 0;
  long demPoints_ = 0;
  long offDem_ = 0;
  long failedByStatus_[SMOD_POINT_FAILED + 1] = {};
  long strictFailures_ = 0;
  std::vector<std::unique_ptr<PointWorker>> workers_;
};

}  // namespace senmod_cli

#endif
