// Points through a whole model in batches: what smod_RSMTransform does to one point, done to
// many with the model checked and each section's plan built once.
#ifndef SENMOD_POLY_MODEL_BATCH_H
#define SENMOD_POLY_MODEL_BATCH_H

#include <cstdint>

#include "poly/plan_kernels.h"
#include "poly/section_plan.h"
#include "senmod/senmod.h"

namespace senmod {

// Most points of one ModelBatch::transform call.
constexpr int32_t kBatchPoints = 512;

class ModelBatch {
 public:
  // Reads model (may be null) and its direction as they are now; neither may change while the
  // object lives.
  explicit ModelBatch(const RSM_Model* model);
  ~ModelBatch();
  ModelBatch(const ModelBatch&) = delete;
  ModelBatch& operator=(const ModelBatch&) = delete;

  // Null when the model can carry points, else the refusal smod_RSMTransform reports for every
  // point of it; each batch call checks it once.
  const char* refusal() const { return refusal_; }

  // Carries points (x[j], y[j], z[j]), j < n <= kBatchPoints, through the model as
  // smod_RSMTransform would, with the same results, into (outX[j], outY[j]); ok[j] = 0 for a
  // point smod_RSMTransform fails on (its outputs are then unspecified), every point of a
  // refused model included. Returns false when a plan cannot be allocated (outputs and ok then
  // unspecified). From image to ground on a domain that refines its height the points go
  // through smod_RSMTransform one by one.
  bool transform(int32_t n, const double* x, const double* y, const double* z, double* outX,
                 double* outY, uint8_t* ok);

  // On an image-to-ground model: how far (pixels) each point j < n with ok[j] set, image point
  // (sample[j], row[j]) inverted to map point (mapX[j], mapY[j]) at height z[j], misses its
  // image point when carried back through the section that inverted it (the one of its image
  // point, not the one ground to image would choose: sections fitted apart differ along their
  // seams). residual[j] is NaN where the carry fails or ok[j] is 0. False when a plan cannot be
  // allocated.
  bool residuals(int32_t n, const double* sample, const double* row, const double* mapX,
                 const double* mapY, const double* z, const uint8_t* ok, double* residual);

 private:
  struct Section {
    SectionPlan* plan;
    bool refused;
  };

  // The plan of section s, null when the section is refused; false when there is no memory.
  bool planOf(int32_t s, const SectionPlan** plan);
  bool groundToImage(int32_t n, const double* x, const double* y, const double* z, double* outX,
                     double* outY, uint8_t* ok);
  bool imageToGround(int32_t n, const double* x, const double* y, const double* z, double* outX,
                     double* outY, uint8_t* ok);
  // A plan's kernel: evaluatePoints or invertPoints.
  using Kernel = void (*)(const SectionPlan&, int32_t, const double*, const double*,
                          const double*, double*, double*, uint8_t*);
  // The points j with ok[j] set grouped by section: indices[start[m] .. start[m + 1]) are those
  // of section met[m] in rising order, m < sections.
  struct Groups {
    int32_t indices[kBatchPoints + kMemberRoom];
    int32_t met[kBatchPoints];
    int32_t start[kBatchPoints + 1];
    int32_t sections;
  };
  // Groups the n points of sections section[j], which lie in span; false when there is no
  // memory.
  bool group(int32_t n, const int32_t* section, SectionSpan span, const uint8_t* ok,
             Groups* groups);
  // Runs the points j with ok[j] set, (in[0][j], in[1][j], in[2][j]) into (out[0][j],
  // out[1][j]), through kernel with the plan of section[j] (of section 0 when section is
  // null), those of a section together; ok[j] then tells whether the kernel succeeded, and the
  // points of a refused section fail. The sections lie in span. False when a plan cannot be
  // allocated.
  bool bySection(int32_t n, const int32_t* section, SectionSpan span,
                 const double* const (&in)[3], double* const (&out)[2], uint8_t* ok,
                 Kernel kernel);

  const RSM_Model* model_;
  const char* refusal_;
  bool groundToImage_;
  Section* sections_ = nullptr;  // one per section, made on first use
  int32_t* heads_ = nullptr;     // per section, -1 between calls
};

}  // namespace senmod

#endif  // SENMOD_POLY_MODEL_BATCH_H
