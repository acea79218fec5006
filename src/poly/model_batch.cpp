#include "poly/model_batch.h"

#include <cstring>
#include <new>

#include "common/error_slot.h"
#include "poly/ground_domain.h"
#include "poly/plan_kernels.h"
#include "poly/section_choice.h"

namespace senmod {

ModelBatch::ModelBatch(const RSM_Model* model)
    : model_(model),
      usable_(model && model->rsm.RationalPolyList.count >= 1 && model->rsm.RationalPolyList.data &&
              !checkSectionGrid(model->rsm)),
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

bool ModelBatch::bySection(int32_t n, const int32_t* section, const double* const (&in)[3],
                           double* const (&out)[2], uint8_t* ok, Kernel kernel) {
  int32_t first = 0;
  bool one = true;
  if (section) {
    while (first < n && !ok[first]) ++first;
    if (first == n) return true;
    for (int32_t j = first + 1; j < n && one; ++j) one = !ok[j] || section[j] == section[first];
  }
  const SectionPlan* plan;
  uint8_t done[kBatchPoints];
  if (one) {
    // Points that already failed go through too; their results are not used.
    if (!planOf(section ? section[first] : 0, &plan)) return false;
    if (!plan) {
      std::memset(ok, 0, static_cast<size_t>(n));
      return true;
    }
    kernel(*plan, n, in[0], in[1], in[2], out[0], out[1], done);
    for (int32_t j = 0; j < n; ++j) ok[j] = ok[j] && done[j];
    return true;
  }
  const int32_t count = model_->rsm.RationalPolyList.count;
  if (!heads_) {
    heads_ = static_cast<int32_t*>(hmsc_HeapMalloc(sizeof(int32_t) * count));
    if (!heads_) return false;
    for (int32_t s = 0; s < count; ++s) heads_[s] = -1;
  }
  // Locals, which the stores below cannot be taken to change.
  int32_t* const heads = heads_;
  // The sections met and their number of points, then the points grouped by section, in input
  // order within each (a counting sort, heads_ holding each section's count and then where its
  // next point goes), their inputs copied as they are placed.
  int32_t met[kBatchPoints];
  int32_t start[kBatchPoints + 1];
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
  start[0] = 0;
  for (int32_t m = 0; m < sections; ++m) {
    int32_t& head = heads[met[m]];
    start[m + 1] = start[m] + head;
    head = start[m];
  }
  int32_t indices[kBatchPoints];
  double grouped[3][kBatchPoints];
  const double* const from[3] = {in[0], in[1], in[2]};
  for (int32_t j = 0; j < n; ++j) {
    if (!ok[j]) continue;
    const int32_t at = heads[section[j]]++;
    indices[at] = j;
    grouped[0][at] = from[0][j];
    grouped[1][at] = from[1][j];
    grouped[2][at] = from[2][j];
  }
  double results[2][kBatchPoints];
  bool allocated = true;
  for (int32_t m = 0; m < sections; ++m) {
    heads[met[m]] = -1;
    const int32_t at = start[m];
    const int32_t members = start[m + 1] - at;
    if (!allocated || !planOf(met[m], &plan)) {
      allocated = false;
      continue;
    }
    if (!plan) {
      std::memset(done + at, 0, static_cast<size_t>(members));
      continue;
    }
    kernel(*plan, members, grouped[0] + at, grouped[1] + at, grouped[2] + at, results[0] + at,
           results[1] + at, done + at);
  }
  if (!allocated) return false;
  double* const to[2] = {out[0], out[1]};
  for (int32_t at = 0; at < start[sections]; ++at) {
    const int32_t j = indices[at];
    to[0][j] = results[0][at];
    to[1][j] = results[1][at];
    ok[j] = done[at];
  }
  return true;
}

bool ModelBatch::transform(int32_t n, const double* x, const double* y, const double* z,
                           double* outX, double* outY, uint8_t* ok) {
  if (!usable_) {
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
  for (int32_t j = 0; j < n; ++j)
    if (!ok[j]) gx[j] = gy[j] = gz[j] = 0.0;
  int32_t indices[kBatchPoints];
  int32_t* section = indices;
  if (rsm.RationalPolyList.count == 1) {
    section = nullptr;
  } else if (hasLowOrderPoly(rsm)) {
    lowOrderSections(rsm, n, gx, gy, gz, section);
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
    for (int32_t j = 0; j < n; ++j) ok[j] = ok[j] && placed[j];
    sectionIndices(rsm, n, outX, outY, section);
  }
  return bySection(n, section, {gx, gy, gz}, {outX, outY}, ok, evaluatePoints);
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
  std::memset(ok, 1, static_cast<size_t>(n));
  if (rsm.RationalPolyList.count > 1) {
    section = indices;
    sectionIndices(rsm, n, x, y, section);
  }
  double gx[kBatchPoints], gy[kBatchPoints];
  if (!bySection(n, section, {x, y, z}, {gx, gy}, ok, invertPoints)) return false;
  double discarded[kBatchPoints];
  uint8_t converted[kBatchPoints];
  for (int32_t j = 0; j < n; ++j)
    if (!ok[j]) gx[j] = gy[j] = 0.0;
  convertGroundPoints(rsm, false, n, gx, gy, z, outX, outY, discarded, converted);
  for (int32_t j = 0; j < n; ++j) ok[j] = ok[j] && converted[j];
  return true;
}

}  // namespace senmod
