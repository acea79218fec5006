// The batch operations of the transform objects of both builds: points in chunks through the
// affines and the model, with heights from the build's height source. A chunk is read whole
// before any of it is written, so that out may be in; a failing point stops the batch with the
// report the per-point path gives, made only then; smod_RSMXformTransformPoints instead carries
// every point and tells each one's success.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/error_slot.h"
#include "poly/model_batch.h"
#include "senmod/senmod.h"
#include "xform/affine_kernels.h"
#include "xform/height_source.h"
#include "xform/xform_setup.h"

namespace senmod {

void closeHeights(HeightSource* source) {
  if (!source) return;
  source->~HeightSource();
  hmsc_HeapFree(source);
}

}  // namespace senmod

namespace {

using senmod::CalleeSlot;
using senmod::ErrorSlot;
using senmod::kBatchPoints;
using senmod::ModelBatch;

// Most passes of the height iteration, and the height change (m) at which it has converged.
constexpr int kHeightPasses = 10;
constexpr double kHeightTolerance = 1.0;

// The affine applied before the model and the one applied after it, chosen by the model's
// direction: map points through forDstAffine and image points out through invSrcAffine (ground
// to image), image points through forSrcAffine and map points out through invDstAffine.
struct AffinePair {
  const double* before;
  const double* after;
};

AffinePair affinesFor(const RSM_Model_Orig& rsm) {
  if (rsm.groundToImageTransform != SMOD_FALSE) return {rsm.forDstAffine, rsm.invSrcAffine};
  return {rsm.forSrcAffine, rsm.invDstAffine};
}

// True when xform and its model are there and a batch of n points can be read from in and
// written to out (null only for n <= 0); otherwise reports "Invalid input RSM xform data.".
bool batchArgumentsValid(const RSM_Xform* xform, int32_t n, const void* in, const void* out,
                         ErrorSlot& slot) {
  if (!xform || !xform->model || (n > 0 && (!in || !out))) {
    SMOD_FAIL(slot, senmod::kInvalidXformMessage);
    return false;
  }
  return true;
}

// Runs the one-time set-up on an unfilled object; false after reporting
// "smod_RSMXformFillNoMIFData failed" when it reports or leaves the object unfilled.
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

// What smod_RSMTransform reports for point (u, v, z), wrapped as "smod_RSMTransform failed".
void reportPoint(const RSM_Model* model, double u, double v, double z, ErrorSlot& slot) {
  CalleeSlot callee;
  double x, y;
  smod_RSMTransform(model, u, v, z, &x, &y, callee.get());
  SMOD_FAIL(slot, "smod_RSMTransform failed", callee.take());
}

// One chunk of points: the model's inputs (u, v, z), its outputs (x, y) and their success.
struct Chunk {
  int32_t n;
  double u[kBatchPoints], v[kBatchPoints], z[kBatchPoints];
  double x[kBatchPoints], y[kBatchPoints];
  uint8_t ok[kBatchPoints];
};

int32_t firstFailure(int32_t n, const uint8_t* ok) {
  int32_t j = 0;
  while (j < n && ok[j]) ++j;
  return j;
}

// The first count outputs of the chunk through the affine after the model, two reals each.
void writeOutputs(const double* after, const Chunk& chunk, int32_t count, double* out) {
  senmod::affineOut(after, count, chunk.x, chunk.y, out);
}

// Carries the chunk's model outputs; the index of its first failing point (n when none), after
// reporting it in slot.
int32_t throughModel(ModelBatch& batch, const RSM_Model* model, Chunk& chunk, ErrorSlot& slot) {
  if (!batch.transform(chunk.n, chunk.u, chunk.v, chunk.z, chunk.x, chunk.y, chunk.ok)) {
    SMOD_FAIL(slot, "No memory");
    return 0;
  }
  const int32_t f = firstFailure(chunk.n, chunk.ok);
  if (f < chunk.n) reportPoint(model, chunk.u[f], chunk.v[f], chunk.z[f], slot);
  return f;
}

// Carries each image point (u, v) of the chunk to the ground where the model's ray meets the
// terrain: from zMean, the ground point's terrain height gives the next ground point until the
// height changes by no more than kHeightTolerance or kHeightPasses passes have run (then the
// last point stands). The points iterate together, each with its own passes; height[j] is the
// height point j was computed at, failedAt[j] the one its model step failed at. False when a
// plan cannot be allocated; *readFailure is the first point of a failed height read (n when
// none), after reporting it in read.
bool iterateOnTerrain(ModelBatch& batch, senmod::HeightSource& source, double zMean, Chunk& chunk,
                      double* height, double* failedAt, int32_t* readFailure, ErrorSlot& read) {
  const int32_t n = chunk.n;
  *readFailure = n;
  for (int32_t j = 0; j < n; ++j) height[j] = chunk.z[j] = failedAt[j] = zMean;
  if (!batch.transform(n, chunk.u, chunk.v, height, chunk.x, chunk.y, chunk.ok)) return false;
  // The points still iterating, in rising order; written without branches, since which points
  // iterate on is not predictable.
  int32_t index[kBatchPoints];
  int32_t count = 0;
  for (int32_t j = 0; j < n; ++j) {
    index[count] = j;
    count += chunk.ok[j];
  }
  for (int pass = 0; pass < kHeightPasses && count > 0; ++pass) {
    double gx[kBatchPoints], gy[kBatchPoints], u[kBatchPoints], v[kBatchPoints];
    double z[kBatchPoints], x[kBatchPoints], y[kBatchPoints];
    uint8_t ok[kBatchPoints];
    for (int32_t i = 0; i < count; ++i) {
      gx[i] = chunk.x[index[i]];
      gy[i] = chunk.y[index[i]];
      u[i] = chunk.u[index[i]];
      v[i] = chunk.v[index[i]];
    }
    if (!source.heights(count, gx, gy, z, read)) {
      *readFailure = index[0];
      return true;
    }
    if (!batch.transform(count, u, v, z, x, y, ok)) return false;
    int32_t iterating = 0;
    for (int32_t i = 0; i < count; ++i) {
      const int32_t j = index[i];
      if (!ok[i]) {
        chunk.ok[j] = 0;
        failedAt[j] = z[i];
        continue;
      }
      chunk.x[j] = x[i];
      chunk.y[j] = y[i];
      const double change = std::fabs(z[i] - height[j]);
      height[j] = z[i];
      index[iterating] = j;
      iterating += !(change <= kHeightTolerance);
    }
    count = iterating;
  }
  return true;
}

// iterateOnTerrain with the batch calls' reports: returns the index of the first failing point
// (n when none) after reporting it in slot.
int32_t iterateHeights(ModelBatch& batch, senmod::HeightSource& source, const RSM_Model* model,
                       double zMean, Chunk& chunk, ErrorSlot& slot) {
  const int32_t n = chunk.n;
  double height[kBatchPoints], failedAt[kBatchPoints];
  CalleeSlot readReport;
  int32_t readFailure;
  {
    ErrorSlot read(readReport.get(), "transformToMapWithDem");
    if (!iterateOnTerrain(batch, source, zMean, chunk, height, failedAt, &readFailure, read)) {
      SMOD_FAIL(slot, "No memory");
      return 0;
    }
  }
  const int32_t f = firstFailure(n, chunk.ok);
  if (readFailure < f) {
    SMOD_FAIL(slot, "transformToMapWithDem failed", readReport.take());
    return readFailure;
  }
  if (f < n) {
    CalleeSlot iteration;
    {
      ErrorSlot inner(iteration.get(), "transformToMapWithDem");
      reportPoint(model, chunk.u[f], chunk.v[f], failedAt[f], inner);
    }
    SMOD_FAIL(slot, "transformToMapWithDem failed", iteration.take());
  }
  return f;
}

// Transforms n 3-D points of in to 2-D points of out through batch; the number of points
// written (n, or that of the failing point after reporting it in slot).
int32_t transform3D(ModelBatch& batch, const RSM_Model* model, int32_t n, const double* in,
                    double* out, ErrorSlot& slot) {
  const AffinePair affines = affinesFor(model->rsm);
  Chunk chunk;
  for (int32_t start = 0; start < n; start += kBatchPoints) {
    chunk.n = n - start < kBatchPoints ? n - start : kBatchPoints;
    senmod::affineIn(affines.before, chunk.n, in + 3 * start, chunk.u, chunk.v, chunk.z);
    const int32_t done = throughModel(batch, model, chunk, slot);
    writeOutputs(affines.after, chunk, done, out + 2 * start);
    if (done < chunk.n) return start + done;
  }
  return n;
}

// Holds a height source for the length of a batch.
class ScopedHeights {
 public:
  explicit ScopedHeights(senmod::HeightSource* source) : source_(source) {}
  ~ScopedHeights() { senmod::closeHeights(source_); }
  ScopedHeights(const ScopedHeights&) = delete;
  ScopedHeights& operator=(const ScopedHeights&) = delete;
  senmod::HeightSource* get() const { return source_; }

 private:
  senmod::HeightSource* source_;
};

void transform2D(RSM_Xform* xform, int32_t n, const double* in, double* out, ErrorSlot& slot) {
  const RSM_Model* model = xform->model;
  const RSM_Model_Orig& rsm = model->rsm;
  // Read after the set-up, which may take the DEM's mean into the model.
  const double zMean = rsm.z_mean;
  const AffinePair affines = affinesFor(rsm);
  bool made;
  ScopedHeights source(senmod::openHeights(xform, slot, &made));
  if (!made) return;
  const bool groundToImage = rsm.groundToImageTransform != SMOD_FALSE;
  ModelBatch batch(model);
  Chunk chunk;
  for (int32_t start = 0; start < n; start += kBatchPoints) {
    chunk.n = n - start < kBatchPoints ? n - start : kBatchPoints;
    senmod::affineIn(affines.before, chunk.n, in + 2 * start, chunk.u, chunk.v, nullptr);
    int32_t done;
    if (!source.get()) {
      for (int32_t j = 0; j < chunk.n; ++j) chunk.z[j] = zMean;
      done = throughModel(batch, model, chunk, slot);
    } else if (groundToImage) {
      if (!source.get()->heights(chunk.n, chunk.u, chunk.v, chunk.z, slot)) return;
      done = throughModel(batch, model, chunk, slot);
    } else {
      done = iterateHeights(batch, *source.get(), model, zMean, chunk, slot);
    }
    writeOutputs(affines.after, chunk, done, out + 2 * start);
    if (done < chunk.n) return;
  }
}

}  // namespace

void smod_RSMXformTransform(RSM_Xform* xform, int32_t n, double* in, double* out,
                            ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformTransform");
  if (!out) out = in;
  if (!batchArgumentsValid(xform, n, in, out, slot)) return;
  if (!ensureFilled(xform, slot)) return;
  transform2D(xform, n, in, out, slot);
}

void smod_RSMXformTransform3DTo2D(RSM_Xform* xform, int32_t n, const double* in, double* out,
                                  ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformTransform3DTo2D");
  if (!batchArgumentsValid(xform, n, in, out, slot)) return;
  ModelBatch batch(xform->model);
  transform3D(batch, xform->model, n, in, out, slot);
}

void smod_RSMXformImageToGroundRay(RSM_Xform* xform, int32_t n, const double* x, const double* y,
                                   double* rays, ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformImageToGroundRay");
  if (!batchArgumentsValid(xform, n, x, rays, slot)) return;
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
  {
    ModelBatch batch(xform->model);
    constexpr int32_t kRays = kBatchPoints / 2;
    double ends[6 * kRays];
    double ground[4 * kRays];
    for (int32_t start = 0; start < n; start += kRays) {
      const int32_t count = n - start < kRays ? n - start : kRays;
      for (int32_t i = 0; i < count; ++i) {
        const double end[6] = {x[start + i], y[start + i], zLow, x[start + i], y[start + i], zHigh};
        for (int k = 0; k < 6; ++k) ends[6 * i + k] = end[k];
      }
      CalleeSlot callee;
      int32_t done;
      {
        ErrorSlot inner(callee.get(), "smod_RSMXformTransform3DTo2D");
        done = transform3D(batch, xform->model, 2 * count, ends, ground, inner);
      }
      for (int32_t i = 0; i < done / 2; ++i) {
        double* ray = rays + 6 * (start + i);
        const double* g = ground + 4 * i;
        const double values[6] = {g[0], g[1], zLow, g[2], g[3], zHigh};
        for (int k = 0; k < 6; ++k) ray[k] = values[k];
      }
      if (callee.failed()) {
        SMOD_FAIL(slot, "smod_RSMXformTransform3DTo2D failed", callee.take());
        break;
      }
    }
  }
  rsm.groundToImageTransform = direction;
}

namespace {

// One chunk of smod_RSMXformTransformPoints: the points through the model at the heights of
// the set-up (or their own z), each with its own success; height[j] the height it used. On the
// terrain from image to ground, the iteration's point is computed once more at the terrain
// height read there, so that map point and height belong to each other. False when the call
// itself fails (no memory, a height read that fails), after reporting in slot.
bool chunkThroughModel(ModelBatch& batch, senmod::HeightSource* source, bool groundToImage,
                       double zMean, bool ownHeights, Chunk& chunk, double* height,
                       ErrorSlot& slot) {
  const int32_t n = chunk.n;
  if (!ownHeights) {
    if (!source) {
      for (int32_t j = 0; j < n; ++j) chunk.z[j] = zMean;
    } else if (groundToImage) {
      if (!source->heights(n, chunk.u, chunk.v, chunk.z, slot)) return false;
    } else {
      double failedAt[kBatchPoints];
      int32_t readFailure;
      if (!iterateOnTerrain(batch, *source, zMean, chunk, height, failedAt, &readFailure, slot)) {
        SMOD_FAIL(slot, "No memory");
        return false;
      }
      if (readFailure < n) return false;
      double gx[kBatchPoints], gy[kBatchPoints];
      for (int32_t j = 0; j < n; ++j) {
        gx[j] = chunk.ok[j] ? chunk.x[j] : 0.0;
        gy[j] = chunk.ok[j] ? chunk.y[j] : 0.0;
      }
      if (!source->heights(n, gx, gy, chunk.z, slot)) return false;
      const uint8_t* iterated = chunk.ok;
      uint8_t carried[kBatchPoints];
      std::memcpy(carried, iterated, static_cast<size_t>(n));
      if (!batch.transform(n, chunk.u, chunk.v, chunk.z, chunk.x, chunk.y, chunk.ok)) {
        SMOD_FAIL(slot, "No memory");
        return false;
      }
      for (int32_t j = 0; j < n; ++j) {
        chunk.ok[j] = static_cast<uint8_t>(chunk.ok[j] & carried[j]);
        height[j] = chunk.z[j];
      }
      return true;
    }
  }
  if (!batch.transform(n, chunk.u, chunk.v, chunk.z, chunk.x, chunk.y, chunk.ok)) {
    SMOD_FAIL(slot, "No memory");
    return false;
  }
  for (int32_t j = 0; j < n; ++j) height[j] = chunk.z[j];
  return true;
}

}  // namespace

int32_t smod_RSMXformTransformPoints(RSM_Xform* xform, int32_t n, const double* x,
                                     const double* y, const double* z, double* outX,
                                     double* outY, double* height, double* residual,
                                     uint8_t* ok, ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformTransformPoints");
  if (!xform || !xform->model || n < 0 ||
      (n > 0 && (!x || !y || !outX || !outY || !ok))) {
    SMOD_FAIL(slot, senmod::kInvalidXformMessage);
    return -1;
  }
  if (!z && !ensureFilled(xform, slot)) return -1;
  const RSM_Model* model = xform->model;
  const RSM_Model_Orig& rsm = model->rsm;
  const double zMean = rsm.z_mean;
  const AffinePair affines = affinesFor(rsm);
  const bool groundToImage = rsm.groundToImageTransform != SMOD_FALSE;
  bool made = true;
  ScopedHeights source(z ? nullptr : senmod::openHeights(xform, slot, &made));
  if (!made) return -1;
  ModelBatch batch(model);
  // A model that refuses every point fails the call rather than each point.
  if (const char* refusal = batch.refusal()) {
    SMOD_FAIL(slot, refusal);
    return -1;
  }
  const double nan = std::nan("");
  int32_t succeeded = 0;
  Chunk chunk;
  for (int32_t start = 0; start < n; start += kBatchPoints) {
    const int32_t count = n - start < kBatchPoints ? n - start : kBatchPoints;
    chunk.n = count;
    double in[3 * kBatchPoints];
    const int32_t stride = z ? 3 : 2;
    for (int32_t j = 0; j < count; ++j) {
      in[stride * j] = x[start + j];
      in[stride * j + 1] = y[start + j];
      if (z) in[3 * j + 2] = z[start + j];
    }
    senmod::affineIn(affines.before, count, in, chunk.u, chunk.v, z ? chunk.z : nullptr);
    // A point that is not a number fails here: neither the terrain nor the model is asked
    // about it.
    uint8_t finite[kBatchPoints];
    for (int32_t j = 0; j < count; ++j) {
      finite[j] = std::isfinite(chunk.u[j]) && std::isfinite(chunk.v[j]) &&
                  (!z || std::isfinite(chunk.z[j]));
      if (!finite[j]) chunk.u[j] = chunk.v[j] = chunk.z[j] = 0.0;
    }
    double used[kBatchPoints];
    if (!chunkThroughModel(batch, source.get(), groundToImage, zMean, z != nullptr, chunk, used,
                           slot)) {
      return -1;
    }
    double misses[kBatchPoints];
    if (residual && !groundToImage &&
        !batch.residuals(count, chunk.u, chunk.v, chunk.x, chunk.y, used, chunk.ok, misses)) {
      SMOD_FAIL(slot, "No memory");
      return -1;
    }
    double pairs[2 * kBatchPoints];
    senmod::affineOut(affines.after, count, chunk.x, chunk.y, pairs);
    for (int32_t j = 0; j < count; ++j) {
      const bool good = finite[j] && chunk.ok[j] && std::isfinite(pairs[2 * j]) &&
                        std::isfinite(pairs[2 * j + 1]);
      ok[start + j] = good;
      succeeded += good;
      outX[start + j] = good ? pairs[2 * j] : nan;
      outY[start + j] = good ? pairs[2 * j + 1] : nan;
      if (height) height[start + j] = good ? used[j] : nan;
      if (residual) residual[start + j] = good && !groundToImage ? misses[j] : nan;
    }
  }
  return succeeded;
}
