// What a build's transform object supplies to the one batch driver: the terrain heights of map
// points. Each build defines openHeights and closeHeights in its own file.
#ifndef SENMOD_XFORM_HEIGHT_SOURCE_H
#define SENMOD_XFORM_HEIGHT_SOURCE_H

#include <cstdint>

#include "common/error_slot.h"
#include "senmod/senmod.h"

namespace senmod {

class HeightSource {
 public:
  virtual ~HeightSource() = default;
  // Terrain heights (m) z[i] of the n <= kBatchPoints map points (x[i], y[i]); false after
  // reporting in slot.
  virtual bool heights(int32_t n, const double* x, const double* y, double* z, ErrorSlot& slot) = 0;
};

// The height source of a filled object for one batch call, made in a host heap block and
// released with closeHeights, or null: with *made true when every point takes z_mean, with
// *made false after reporting in slot.
HeightSource* openHeights(const RSM_Xform* xform, ErrorSlot& slot, bool* made);

// Releases what openHeights made; accepts null.
void closeHeights(HeightSource* source);

}  // namespace senmod

#endif  // SENMOD_XFORM_HEIGHT_SOURCE_H
