// Streams points through a transform object in fixed-size chunks.
#ifndef SMODTOOL_POINT_STREAM_H
#define SMODTOOL_POINT_STREAM_H

#include <cstdio>
#include <istream>
#include <optional>
#include <string>

#include "senmod/senmod.h"

namespace smodtool {

struct PointJob {
  bool groundToImage = true;
  std::optional<double> height;  // --height: for lines without a height of their own
  bool dem = false;              // the transform object's model reads heights from a DEM
  std::string inputName;         // for messages
};

// Reads points from in (one a line: "x y [height]", commas or blanks between fields; blank
// lines and lines starting with '#' skipped), transforms them with xform (whose elevation
// settings the caller has made) and writes one result a line to out: "sample row", or
// "longitude latitude height". A height on the line wins over job.height; without either the
// DEM (when job.dem) or else the model's mean height is used. Returns 0, or 1 after a malformed
// line or a point that fails (the points before it are written and the message goes to err).
int streamPoints(RSM_Xform* xform, const PointJob& job, std::istream& in, std::FILE* out,
                 std::FILE* err);

}  // namespace smodtool

#endif
