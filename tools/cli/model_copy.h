// Copies of a model set up for one direction and one source of heights, and the DEM heights
// those copies read.
#ifndef SMODTOOL_MODEL_COPY_H
#define SMODTOOL_MODEL_COPY_H

#include <cstddef>
#include <string>

#include "owned.h"

namespace smodtool {

// A copy of model; throws std::bad_alloc when the library cannot make one.
XformPtr copyOf(const RSM_Xform* model);

// Sets the direction of xform and points its elevation at the DEM file dem ("" for the model's
// constant mean height), then runs the one-time set-up so that a DEM the host cannot use is
// caught: throws ReadError naming dem.
void configure(RSM_Xform* xform, bool groundToImage, const std::string& dem);

// Reads DEM heights through the elevation source of a configured copy, in batches of at most
// capacity() points, into a buffer made once.
class ElevationReader {
 public:
  // Throws std::bad_alloc when the buffer cannot be made.
  ElevationReader();
  ~ElevationReader();
  ElevationReader(const ElevationReader&) = delete;
  ElevationReader& operator=(const ElevationReader&) = delete;

  static constexpr size_t capacity() { return 4096; }

  // Heights (m) at count <= capacity() points given as longitude, latitude pairs (degrees,
  // xy) from the elevation source of xform into heights; a point off the DEM or next to a
  // no-data cell gets the DEM's mean height. False when the host cannot read them.
  bool read(const RSM_Xform* xform, size_t count, const double* xy, double* heights);

 private:
  HgdaBaseData* buffer_ = nullptr;
};

}  // namespace smodtool

#endif
