// The operations that go through the model alone (3-D points and rays), and the point plumbing
// that both builds' 2-D batches share.
#include "xform/xform_points.h"

#include "xform/xform_setup.h"

namespace senmod {

AffinePair affinesFor(const RSM_Model_Orig& rsm) {
  if (rsm.groundToImageTransform != SMOD_FALSE) return {rsm.forDstAffine, rsm.invSrcAffine};
  return {rsm.forSrcAffine, rsm.invDstAffine};
}

bool modelPoint(const RSM_Model* model, double u, double v, double z, double* x, double* y,
                ErrorSlot& slot) {
  CalleeSlot callee;
  double outX, outY;
  smod_RSMTransform(model, u, v, z, &outX, &outY, callee.get());
  if (callee.failed()) {
    SMOD_FAIL(slot, "smod_RSMTransform failed", callee.take());
    return false;
  }
  *x = outX;
  *y = outY;
  return true;
}

bool batchArgumentsValid(const RSM_Xform* xform, int32_t n, const void* in, const void* out,
                         ErrorSlot& slot) {
  if (!xform || !xform->model || (n > 0 && (!in || !out))) {
    SMOD_FAIL(slot, kInvalidXformMessage);
    return false;
  }
  return true;
}

bool ensureFilled(RSM_Xform* xform, ErrorSlot& slot) {
  if (xform->filled) return true;
  CalleeSlot setup;
  smod_RSMXformFillNoMIFData(xform, setup.get());
  if (setup.failed() || !xform->filled) {
    SMOD_FAIL(slot, "smod_RSMXformFillNoMIFData failed", setup.take());
    return false;
  }
  return true;
}

}  // namespace senmod

using senmod::ErrorSlot;

void smod_RSMXformTransform3DTo2D(RSM_Xform* xform, int32_t n, const double* in, double* out,
                                  ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformTransform3DTo2D");
  if (!senmod::batchArgumentsValid(xform, n, in, out, slot)) return;
  const RSM_Model* model = xform->model;
  const senmod::AffinePair affines = senmod::affinesFor(model->rsm);
  for (int32_t j = 0; j < n; ++j) {
    double u, v, x, y;
    const double z = in[3 * j + 2];
    senmod::applyAffine(affines.before, in[3 * j], in[3 * j + 1], &u, &v);
    if (!senmod::modelPoint(model, u, v, z, &x, &y, slot)) return;
    senmod::applyAffine(affines.after, x, y, &out[2 * j], &out[2 * j + 1]);
  }
}

void smod_RSMXformImageToGroundRay(RSM_Xform* xform, int32_t n, const double* x, const double* y,
                                   double* rays, ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformImageToGroundRay");
  if (!senmod::batchArgumentsValid(xform, n, x, rays, slot)) return;
  if (n > 0 && !y) {
    SMOD_FAIL(slot, senmod::kInvalidXformMessage);
    return;
  }
  // Rays always run from image to ground, whatever the model's own direction.
  RSM_Model_Orig& rsm = xform->model->rsm;
  const int32_t direction = rsm.groundToImageTransform;
  rsm.groundToImageTransform = SMOD_FALSE;
  const double zLow = rsm.z_mean - 50.0;
  const double zHigh = rsm.z_mean + 50.0;
  for (int32_t i = 0; i < n; ++i) {
    const double ends[6] = {x[i], y[i], zLow, x[i], y[i], zHigh};
    double ground[4];
    senmod::CalleeSlot callee;
    smod_RSMXformTransform3DTo2D(xform, 2, ends, ground, callee.get());
    if (callee.failed()) {
      SMOD_FAIL(slot, "smod_RSMXformTransform3DTo2D failed", callee.take());
      break;
    }
    double* ray = rays + 6 * i;
    ray[0] = ground[0];
    ray[1] = ground[1];
    ray[2] = zLow;
    ray[3] = ground[2];
    ray[4] = ground[3];
    ray[5] = zHigh;
  }
  rsm.groundToImageTransform = direction;
}
