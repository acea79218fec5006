// Streams points through transform objects in blocks of lines, on every core, in input order.
#ifndef SMODTOOL_POINT_STREAM_H
#define SMODTOOL_POINT_STREAM_H

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dem_coverage.h"
#include "line_blocks.h"
#include "output.h"
#include "senmod/senmod.h"

namespace smodtool {

struct PointJob {
  bool groundToImage = true;
  std::optional<double> height;  // --height: for lines without a height of their own
  std::string dem;               // --dem, "" for none
  bool strictDem = false;        // a point the DEM does not answer fails
  double maxResidual = 0.0;      // image to ground: pixels a result may miss its image point by
  std::string inputName;         // for messages
};

class PointWorker;
struct BlockResult;

// Reads points from an input (one a line: "x y [height]", commas or blanks between fields;
// blank lines and lines starting with '#' skipped), transforms them with copies of a model (one
// per worker, elevation set up for the job) and writes one result a line: "sample row", or
// "longitude latitude height". A height on the line wins over job.height; without either the
// DEM (when job.dem is given) or else the model's mean height is used; points the DEM does not
// answer take the mean height, and their count goes to err at the end. Image-to-ground results
// are carried back to the image; one that misses its image point by more than job.maxResidual
// fails.
class PointStream {
 public:
  // Sets up the first worker: throws ReadError for a DEM that cannot be used, before any input
  // is read or output written.
  PointStream(const RSM_Xform* model, const PointJob& job, std::FILE* err);
  ~PointStream();
  PointStream(const PointStream&) = delete;
  PointStream& operator=(const PointStream&) = delete;

  // Returns 0, or 1 after a malformed or too long line or a point that fails (the points
  // before it are written and the message, naming the input and line, goes to err). Throws
  // ReadError for an input that cannot be read, WriteError at the first failed write.
  int run(std::FILE* in, Output& out);

 private:
  void processAll(const std::vector<LineBlock>& blocks, std::vector<BlockResult>& results,
                  size_t n);
  int emit(const BlockResult& r);

  const RSM_Xform* model_;
  const PointJob& job_;
  std::FILE* err_;
  Output* out_ = nullptr;
  bool progress_;
  bool shown_ = false;
  long written_ = 0;
  long demPoints_ = 0;
  long offDem_ = 0;
  std::optional<DemCoverage> coverage_;
  std::vector<std::unique_ptr<PointWorker>> workers_;
};

}  // namespace smodtool

#endif
