// Ground to image with one section: sample and row as quotients of polynomials in x, y, z.
#include "common/error_slot.h"
#include "poly/messages.h"
#include "poly/plan_cache.h"
#include "poly/plan_kernels.h"

extern "C" void smod_RationalPolynomialsToFileXY(const RSMFunctions* section, double x, double y,
                                                 double z, double* sample, double* row,
                                                 ErrorReport** err) {
  using namespace senmod;
  ErrorSlot slot(err, "smod_RationalPolynomialsToFileXY");
  SectionPlan spare;
  const SectionPlan* plan;
  if (const char* refusal = recentSectionPlan(section, Use::Evaluation, &spare, &plan)) {
    SMOD_FAIL(slot, refusal);
    return;
  }
  if (!pointIsFinite(x, y, z)) {
    SMOD_FAIL(slot, kPointNotFinite);
    return;
  }
  uint8_t ok;
  evaluatePoints(*plan, 1, &x, &y, &z, sample, row, &ok);
  if (!ok) SMOD_FAIL(slot, kInvalidDenominator);
}
