#include "poly/model_batch.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>

#include "common/error_slot.h"
#include "poly/plan_cache.h"
#include "poly/ground_domain.h"
#include "poly/plan_kernels.h"
#include "poly/section_choice.h"

namespace senmod {

namespace {

// ok[j] = ok[j] && also[j] for flags that are 0 or 1, written so that the compiler vectorises it.
void alsoOk(int32_t n, uint8_t* ok, const uint8_t* also) {
  for (int32_t j = 0; j < n; ++j) ok[j] = static_cast<uint8_t>(ok[j] & also[j]);
}

// ok[j] = 0 where x[j], y[j] or z[j] is not a finite number (v - v is 0 for a finite v and NaN
// otherwise), written so that the compiler vectorises it.
void alsoFinite(int32_t n, uint8_t* ok, const double* x, const double* y, const double* z) {
  for (int32_t j = 0; j < n; ++j) {
    const double sum = (x[j] - x[j]) + (y[j] - y[j]) + (z[j] - z[j]);
    ok[j] = sum == 0.0 ? ok[j] : 0;
  }
}

// ok[j] = 0 where a[j] is not a finite number, then a[j] = 0 where ok[j] is 0, so that no later
// step works on such a value or on what a failed point left; written so that the compiler
// vectorises it.
void keepFinite(int32_t n, uint8_t* ok, double* a) {
  for (int32_t j = 0; j < n; ++j) {
    const bool keep = (a[j] - a[j] == 0.0) & (ok[j] != 0);
    ok[j] = keep;
    a[j] = keep ? a[j] : 0.0;
  }
}

// keepFinite of three arrays in one pass: ok[j] = 0 where a[j], b[j] or c[j] is not a finite
// number (the sum of their v - v is then NaN, else 0), then all three zeroed where ok[j] is 0.
void keepFinite(int32_t n, uint8_t* ok, double* a, double* b, double* c) {
  for (int32_t j = 0; j < n; ++j) {
    const bool keep = ((a[j] - a[j]) + (b[j] - b[j]) + (c[j] - c[j]) == 0.0) & (ok[j] != 0);
    ok[j] = keep;
    a[j] = keep ? a[j] : 0.0;
    b[j] = keep ? b[j] : 0.0;
    c[j] = keep ? c[j] : 0.0;
  }
}

// Zeroes a[j] where ok[j] is 0, so that no later step works on what a failed point left; written
// without branches, which the compiler vectorises.
void zeroFailed(int32_t n, const uint8_t* ok, double* a) {
  for (int32_t j = 0; j < n; ++j) a[j] = ok[j] ? a[j] : 0.0;
}

}  // namespace

ModelBatch::ModelBatch(const RSM_Model* model)
    : model_(model),
      refusal_(checkModel(model)),
      groundToImage_(model && model->rsm.groundToImageTransform != SMOD_FALSE) {}

ModelBatch::~ModelBatch() {
  if (sections_) {
    for (int32_t s = 0; s < model_->rsm.RationalPolyList.count; ++s)
      hmsc_HeapFree(sections_[s].plan);
    hmsc_HeapFree(sections_);
  }
  hmsc_HeapFree(heads_);
}

bool ModelBatch::planOf(int32_t s, const SectionPlan** plan) {
  const int32_t count = model_->rsm.RationalPolyList.count;
  // A model of one section takes this thread's kept plan, the one-point calls' own: a batch of a
  // few points (the engine carries single points so) would otherwise spend its time building it.
  // The batch and the one-point calls it may make ask for that section alone, in one use each.
  if (count == 1 && !sections_) {
    const char* refusal = nullptr;
    const SectionPlan* kept =
        keptSectionPlan(model_->rsm.RationalPolyList.data,
                        groundToImage_ ? Use::Evaluation : Use::Inversion, &refusal);
    if (kept || refusal) {
      *plan = kept;
      return true;
    }
  }
  if (!sections_) {
    sections_ = static_cast<Section*>(hmsc_HeapMalloc(sizeof(Section) * count));
    if (!sections_) return false;
    std::memset(static_cast<void*>(sections_), 0, sizeof(Section) * count);
  }
  Section& section = sections_[s];
  if (!section.plan && !section.refused) {
    void* block = hmsc_HeapMalloc(sizeof(SectionPlan));
    if (!block) return false;
    auto* made = new (block) SectionPlan;
    const Use use = groundToImage_ ? Use::Evaluation : Use::Inversion;
    if (buildSectionPlan(&model_->rsm.RationalPolyList.data[s], use, made)) {
      hmsc_HeapFree(block);
      section.refused = true;
    } else {
      section.plan = made;
    }
  }
  *plan = section.plan;
  return true;
}

// Sections spanned at most, beyond which grouping sorts the points by counting rather than
// collecting each section's points in a pass of its own.
constexpr int32_t kFewSections = 16;

bool ModelBatch::group(int32_t n, const int32_t* section, SectionSpan span, const uint8_t* ok,
                       Groups* groups) {
  int32_t* const start = groups->start;
  start[0] = 0;
  groups->sections = 0;
  if (span.highest - span.lowest < kFewSections) {
    for (int32_t s = span.lowest; s <= span.highest; ++s) {
      const int32_t at = start[groups->sections];
      const auto members =
          static_cast<int32_t>(sectionMembers(n, section, ok, s, groups->indices + at));
      if (members == 0) continue;
      groups->met[groups->sections++] = s;
      start[groups->sections] = at + members;
    }
    return true;
  }
  const int32_t count = model_->rsm.RationalPolyList.count;
  if (!heads_) {
    heads_ = static_cast<int32_t*>(hmsc_HeapMalloc(sizeof(int32_t) * count));
    if (!heads_) return false;
    for (int32_t s = 0; s < count; ++s) heads_[s] = -1;
  }
  // A counting sort: heads_ holds each section's count, then where its next point goes. Locals,
  // which the stores below cannot be taken to change.
  int32_t* const heads = heads_;
  int32_t* const met = groups->met;
  int32_t sections = 0;
  for (int32_t j = 0; j < n; ++j) {
    if (!ok[j]) continue;
    int32_t& head = heads[section[j]];
    if (head < 0) {
      met[sections++] = section[j];
      head = 0;
    }
    ++head;
  }
  for (int32_t m = 0; m < sections; ++m) {
    int32_t& head = heads[met[m]];
    start[m + 1] = start[m] + head;
    head = start[m];
  }
  int32_t* const indices = groups->indices;
  for (int32_t j = 0; j < n; ++j)
    if (ok[j]) indices[heads[section[j]]++] = j;
  for (int32_t m = 0; m < sections; ++m) heads[met[m]] = -1;
  groups->sections = sections;
  return true;
}

bool ModelBatch::bySection(int32_t n, const int32_t* section, SectionSpan span,
                           const double* const (&in)[3], double* const (&out)[2], uint8_t* ok,
                           Kernel kernel) {
  if (n <= 0) return true;
  const SectionPlan* plan;
  uint8_t done[kBatchPoints];
  if (!section || span.lowest == span.highest) {
    // Points that already failed go through too; their results are not used.
    if (!planOf(section ? span.lowest : 0, &plan)) return false;
    if (!plan) {
      std::memset(ok, 0, static_cast<size_t>(n));
      return true;
    }
    kernel(*plan, n, in[0], in[1], in[2], out[0], out[1], done);
    alsoOk(n, ok, done);
    return true;
  }
  Groups groups;
  if (!group(n, section, span, ok, &groups)) return false;
  const int32_t* const indices = groups.indices;
  const int32_t total = groups.start[groups.sections];
  double grouped[3][kBatchPoints];
  const double* const from[3] = {in[0], in[1], in[2]};
  for (int32_t at = 0; at < total; ++at) {
    const int32_t j = indices[at];
    grouped[0][at] = from[0][j];
    grouped[1][at] = from[1][j];
    grouped[2][at] = from[2][j];
  }
  double results[2][kBatchPoints];
  for (int32_t m = 0; m < groups.sections; ++m) {
    const int32_t at = groups.start[m];
    const int32_t members = groups.start[m + 1] - at;
    if (!planOf(groups.met[m], &plan)) return false;
    if (!plan) {
      std::memset(done + at, 0, static_cast<size_t>(members));
      continue;
    }
    kernel(*plan, members, grouped[0] + at, grouped[1] + at, grouped[2] + at, results[0] + at,
           results[1] + at, done + at);
  }
  double* const to[2] = {out[0], out[1]};
  for (int32_t at = 0; at < total; ++at) {
    const int32_t j = indices[at];
    to[0][j] = results[0][at];
    to[1][j] = results[1][at];
    ok[j] = done[at];
  }
  return true;
}

bool ModelBatch::transform(int32_t n, const double* x, const double* y, const double* z,
                           double* outX, double* outY, uint8_t* ok) {
  if (refusal_) {
    std::memset(ok, 0, static_cast<size_t>(n));
    return true;
  }
  if (groundToImage_) return groundToImage(n, x, y, z, outX, outY, ok);
  return imageToGround(n, x, y, z, outX, outY, ok);
}

bool ModelBatch::groundToImage(int32_t n, const double* x, const double* y, const double* z,
                               double* outX, double* outY, uint8_t* ok) {
  const RSM_Model_Orig& rsm = model_->rsm;
  double gx[kBatchPoints], gy[kBatchPoints], gz[kBatchPoints];
  convertGroundPoints(rsm, true, n, x, y, z, gx, gy, gz, ok);
  // smod_RSMTransform refuses a point that is not finite (the conversion has failed those of a
  // rectangular domain and given those of a geodetic one coordinates that are not finite), and
  // its evaluator a ground-domain point that is not.
  keepFinite(n, ok, gx, gy, gz);
  int32_t indices[kBatchPoints];
  int32_t* section = indices;
  SectionSpan span{0, 0};
  if (rsm.RationalPolyList.count == 1) {
    section = nullptr;
  } else if (hasLowOrderPoly(rsm)) {
    lowOrderSections(rsm, n, gx, gy, gz, section, &span);
  } else {
    // Without the low-order polynomial the first section places the point.
    const SectionPlan* first;
    if (!planOf(0, &first)) return false;
    if (!first) {
      std::memset(ok, 0, static_cast<size_t>(n));
      return true;
    }
    uint8_t placed[kBatchPoints];
    evaluatePoints(*first, n, gx, gy, gz, outX, outY, placed);
    alsoOk(n, ok, placed);
    sectionIndices(rsm, n, outX, outY, section, &span);
  }
  return bySection(n, section, span, {gx, gy, gz}, {outX, outY}, ok, evaluatePoints);
}

bool ModelBatch::imageToGround(int32_t n, const double* x, const double* y, const double* z,
                               double* outX, double* outY, uint8_t* ok) {
  const RSM_Model_Orig& rsm = model_->rsm;
  if (refinesHeight(rsm)) {
    // The height refinement converts through the Earth-centred frame point by point.
    for (int32_t j = 0; j < n; ++j) {
      CalleeSlot callee;
      smod_RSMTransform(model_, x[j], y[j], z[j], &outX[j], &outY[j], callee.get());
      ok[j] = !callee.failed();
    }
    return true;
  }
  int32_t indices[kBatchPoints];
  int32_t* section = nullptr;
  SectionSpan span{0, 0};
  std::memset(ok, 1, static_cast<size_t>(n));
  // smod_RSMTransform refuses a point that is not finite.
  alsoFinite(n, ok, x, y, z);
  if (rsm.RationalPolyList.count > 1) {
    section = indices;
    sectionIndices(rsm, n, x, y, section, &span);
  }
  double gx[kBatchPoints], gy[kBatchPoints];
  if (!bySection(n, section, span, {x, y, z}, {gx, gy}, ok, invertPoints)) return false;
  double discarded[kBatchPoints];
  uint8_t converted[kBatchPoints];
  // smod_RSMTransform's conversion refuses an inverted point that is not finite.
  keepFinite(n, ok, gx);
  keepFinite(n, ok, gy);
  convertGroundPoints(rsm, false, n, gx, gy, z, outX, outY, discarded, converted);
  alsoOk(n, ok, converted);
  return true;
}

bool ModelBatch::residuals(int32_t n, const double* sample, const double* row, const double* mapX,
                           const double* mapY, const double* z, const uint8_t* ok,
                           double* residual) {
  const double nan = std::nan("");
  if (refusal_ || groundToImage_) {
    for (int32_t j = 0; j < n; ++j) residual[j] = nan;
    return true;
  }
  const RSM_Model_Orig& rsm = model_->rsm;
  double gx[kBatchPoints], gy[kBatchPoints], gz[kBatchPoints];
  uint8_t carried[kBatchPoints];
  convertGroundPoints(rsm, true, n, mapX, mapY, z, gx, gy, gz, carried);
  alsoOk(n, carried, ok);
  for (double* a : {gx, gy, gz}) zeroFailed(n, carried, a);
  int32_t indices[kBatchPoints];
  int32_t* section = nullptr;
  SectionSpan span{0, 0};
  if (rsm.RationalPolyList.count > 1) {
    section = indices;
    sectionIndices(rsm, n, sample, row, section, &span);
  }
  double s[kBatchPoints], r[kBatchPoints];
  if (!bySection(n, section, span, {gx, gy, gz}, {s, r}, carried, evaluatePoints)) return false;
  for (int32_t j = 0; j < n; ++j) {
    residual[j] = carried[j] ? std::hypot(s[j] - sample[j], r[j] - row[j]) : nan;
  }
  return true;
}

}  // namespace senmod
