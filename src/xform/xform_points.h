// Point plumbing shared by the transform operations of both builds: the affines around the
// model, one model call with its report, the per-point loop of a batch and the height iteration
// of image-to-ground points against a DEM.
#ifndef SENMOD_XFORM_XFORM_POINTS_H
#define SENMOD_XFORM_XFORM_POINTS_H

#include <cmath>
#include <cstdint>

#include "common/error_slot.h"
#include "senmod/senmod.h"

namespace senmod {

// The affine applied before the model and the one applied after it, chosen by the model's
// direction: map points through forDstAffine and image points out through invSrcAffine (ground
// to image), image points through forSrcAffine and map points out through invDstAffine.
struct AffinePair {
  const double* before;
  const double* after;
};
AffinePair affinesFor(const RSM_Model_Orig& rsm);

// (x, y) -> (a0 x + a1 y + a2, a3 x + a4 y + a5); out may alias the inputs' variables.
inline void applyAffine(const double* a, double x, double y, double* outX, double* outY) {
  const double ox = a[0] * x + a[1] * y + a[2];
  const double oy = a[3] * x + a[4] * y + a[5];
  *outX = ox;
  *outY = oy;
}

// smod_RSMTransform(model, u, v, z); a failure is reported in slot as "smod_RSMTransform failed"
// with the model's report as previous, and false is returned (outputs then untouched).
bool modelPoint(const RSM_Model* model, double u, double v, double z, double* x, double* y,
                ErrorSlot& slot);

// True when xform and its model are there and a batch of n points can be read from in and
// written to out (in and out may be null only for n <= 0); otherwise reports "Invalid input RSM
// xform data." in slot.
bool batchArgumentsValid(const RSM_Xform* xform, int32_t n, const void* in, const void* out,
                         ErrorSlot& slot);

// Runs the one-time set-up on an unfilled object; false after reporting
// "smod_RSMXformFillNoMIFData failed" when it reports or leaves the object unfilled.
bool ensureFilled(RSM_Xform* xform, ErrorSlot& slot);

// The loop of a 2-D batch: input point j goes through the affine before the model, then
// through(j, u, v, &x, &y) (false stops the batch: it has reported), then the affine after the
// model into output point j. Input j is read completely before output j is written, so out may
// be in.
template <typename Through>
void transformPoints(const AffinePair& affines, int32_t n, const double* in, double* out,
                     Through through) {
  for (int32_t j = 0; j < n; ++j) {
    double u, v, x, y;
    applyAffine(affines.before, in[2 * j], in[2 * j + 1], &u, &v);
    if (!through(j, u, v, &x, &y)) return;
    applyAffine(affines.after, x, y, &out[2 * j], &out[2 * j + 1]);
  }
}

// A batch whose every point is transformed at height z.
inline void transformAtHeight(const RSM_Model* model, const AffinePair& affines, int32_t n,
                              const double* in, double* out, double z, ErrorSlot& slot) {
  transformPoints(affines, n, in, out, [&](int32_t, double u, double v, double* x, double* y) {
    return modelPoint(model, u, v, z, x, y, slot);
  });
}

// Most passes of the height iteration, and the height change (m) at which it has converged.
constexpr int kHeightPasses = 10;
constexpr double kHeightTolerance = 1.0;

// Carries image point (u, v) to the ground where the model's ray meets the terrain: starting at
// *height, the ground point's terrain height from heightAt(X, Y, &z) (false: it has reported)
// gives the next ground point, until the height changes by no more than kHeightTolerance or
// kHeightPasses passes have run (then the last point stands). On success writes the ground
// point and its height; on failure, reported in slot, writes nothing.
template <typename HeightAt>
bool iterateHeight(const RSM_Model* model, double u, double v, double* height, double* x, double* y,
                   ErrorSlot& slot, HeightAt heightAt) {
  double h = *height;
  double groundX, groundY;
  if (!modelPoint(model, u, v, h, &groundX, &groundY, slot)) return false;
  for (int pass = 0; pass < kHeightPasses; ++pass) {
    double z;
    if (!heightAt(groundX, groundY, &z)) return false;
    if (!modelPoint(model, u, v, z, &groundX, &groundY, slot)) return false;
    const double change = std::fabs(z - h);
    h = z;
    if (change <= kHeightTolerance) break;
  }
  *height = h;
  *x = groundX;
  *y = groundY;
  return true;
}

}  // namespace senmod

#endif  // SENMOD_XFORM_XFORM_POINTS_H
