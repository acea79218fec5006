#include "poly/section_choice.h"

#include "poly/ground_domain.h"
#include "poly/messages.h"
#include "poly/plan_kernels.h"

namespace senmod {

namespace {
constexpr int32_t kLowOrderCount = 20;
}  // namespace

const char* checkModel(const RSM_Model* model) {
  if (!model || model->rsm.RationalPolyList.count < 1 || !model->rsm.RationalPolyList.data)
    return kModelNotAvailable;
  const RSM_Model_Orig& rsm = model->rsm;
  if (const char* refusal = checkGroundFrame(rsm)) return refusal;
  if (rsm.RationalPolyList.count == 1) return nullptr;
  const int64_t cells = static_cast<int64_t>(rsm.rowSections) * rsm.colSections;
  if (rsm.rowSections < 1 || rsm.colSections < 1 || rsm.RationalPolyList.count < cells)
    return "Section grid does not fit the section list";
  if (rsm.imageDomain.count < 3 || !rsm.imageDomain.data) return "Image domain not available";
  return rsm.groundToImageTransform != SMOD_FALSE ? checkLowOrderPoly(rsm) : nullptr;
}

const char* checkLowOrderPoly(const RSM_Model_Orig& rsm) {
  return rsm.groundToImagePoly.count > 0 && !rsm.groundToImagePoly.data ? kLowOrderNotAvailable
                                                                        : nullptr;
}

const RSMFunctions* sectionAt(const RSM_Model_Orig& rsm, double sample, double row) {
  const RSMFunctions* sections = rsm.RationalPolyList.data;
  if (rsm.RationalPolyList.count == 1) return sections;
  int32_t section;
  sectionIndices(rsm, 1, &sample, &row, &section, nullptr);
  return &sections[section];
}

bool hasLowOrderPoly(const RSM_Model_Orig& rsm) {
  return rsm.groundToImagePoly.count == kLowOrderCount && rsm.groundToImagePoly.data;
}

void lowOrderImagePosition(const RSM_Model_Orig& rsm, double x, double y, double z, double* sample,
                           double* row) {
  lowOrderPositions(rsm.groundToImagePoly.data, 1, &x, &y, &z, sample, row);
}

}  // namespace senmod
