// Image to ground with one section: Newton iteration on ground x and y at a fixed height.
#include "common/error_slot.h"
#include "poly/messages.h"
#include "poly/plan_cache.h"
#include "poly/plan_kernels.h"

extern "C" void smod_RationalPolynomialsToMapXY(const RSMFunctions* section, double sample,
                                                double row, double z, double* outX, double* outY,
                                                ErrorReport** err) {
  using namespace senmod;
  ErrorSlot slot(err, "smod_RationalPolynomialsToMapXY");
  SectionPlan spare;
  const SectionPlan* plan;
  if (const char* refusal = recentSectionPlan(section, Use::Inversion, &spare, &plan)) {
    SMOD_FAIL(slot, refusal);
    return;
  }
  if (!pointIsFinite(sample, row, z)) {
    SMOD_FAIL(slot, kPointNotFinite);
    return;
  }
  double x, y;
  uint8_t ok;
  invertPoints(*plan, 1, &sample, &row, &z, &x, &y, &ok);
  if (!ok) {
    SMOD_FAIL(slot, kInvalidDenominator);
    return;
  }
  *outX = x;
  *outY = y;
}
