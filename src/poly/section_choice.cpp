#include "poly/section_choice.h"

#include <cmath>

#include "hostphoto.h"

namespace senmod {

namespace {
constexpr int32_t kLowOrderCount = 20;
constexpr int32_t kLowOrderHalf = 10;
constexpr int32_t kLowOrder = 2;
}  // namespace

const char* checkSectionGrid(const RSM_Model_Orig& rsm) {
  if (rsm.RationalPolyList.count == 1) return nullptr;
  const int64_t cells = static_cast<int64_t>(rsm.rowSections) * rsm.colSections;
  if (rsm.rowSections < 1 || rsm.colSections < 1 || rsm.RationalPolyList.count < cells)
    return "Section grid does not fit the section list";
  if (rsm.imageDomain.count < 3 || !rsm.imageDomain.data) return "Image domain not available";
  return nullptr;
}

int32_t gridIndex(double value, double origin, double size, int32_t cells) {
  if (size == 0.0) return 0;
  const double quotient = std::trunc((value - origin) / size);
  // The negated test also sends a NaN to index 0.
  if (!(quotient >= -2147483648.0 && quotient <= 2147483647.0)) return 0;
  int32_t index = static_cast<int32_t>(quotient);
  if (index < 0) index = 0;
  if (index >= cells) index = cells - 1;
  return index;
}

const RSMFunctions* sectionAt(const RSM_Model_Orig& rsm, double sample, double row) {
  const RSMFunctions* sections = rsm.RationalPolyList.data;
  if (rsm.RationalPolyList.count == 1) return sections;
  const int32_t gridRow =
      gridIndex(row, rsm.imageDomain.data[2], rsm.rowsPerSection, rsm.rowSections);
  const int32_t gridColumn =
      gridIndex(sample, rsm.imageDomain.data[0], rsm.colsPerSection, rsm.colSections);
  return &sections[gridColumn + gridRow * rsm.colSections];
}

bool hasLowOrderPoly(const RSM_Model_Orig& rsm) {
  return rsm.groundToImagePoly.count == kLowOrderCount && rsm.groundToImagePoly.data;
}

void lowOrderImagePosition(const RSM_Model_Orig& rsm, double x, double y, double z, double* sample,
                           double* row) {
  const double* coef = rsm.groundToImagePoly.data;
  *sample = hpho_RationalFunctionGetPolyValueDirect(coef, x, y, z, kLowOrder);
  *row = hpho_RationalFunctionGetPolyValueDirect(coef + kLowOrderHalf, x, y, z, kLowOrder);
}

}  // namespace senmod
