// The starting polynomial of the inversion: one first-order fit from the image positions of
// the ground-domain corners to their ground x and y, stored in every section.
#include "common/error_slot.h"
#include "common/scoped.h"
#include "hostmodel.h"
#include "poly/messages.h"
#include "poly/section_choice.h"

namespace {

// Order 1.0, then three x and three y coefficients in the order of hmod_PolyCalc.
constexpr int32_t kStartCount = 7;

}  // namespace

extern "C" void smod_image2groundCalc(RSM_Model* model, ErrorReport** err) {
  using senmod::HeapBlock;
  senmod::ErrorSlot slot(err, "smod_image2groundCalc");
  if (!model || model->rsm.RationalPolyList.count < 1 || !model->rsm.RationalPolyList.data) {
    SMOD_FAIL(slot, senmod::kModelNotAvailable);
    return;
  }
  RSM_Model_Orig& rsm = model->rsm;
  if (!rsm.groundDomain.data || rsm.groundDomain.count < 3) {
    SMOD_FAIL(slot, "Grounddomain information not available");
    return;
  }
  const int32_t corners = rsm.groundDomain.count / 3;
  const int32_t sectionCount = rsm.RationalPolyList.count;
  if (const char* refusal = sectionCount > 1 ? senmod::checkLowOrderPoly(rsm) : nullptr) {
    SMOD_FAIL(slot, refusal);
    return;
  }

  // Everything is allocated before any section changes, so that a failure changes nothing.
  HeapBlock<double> lists(
      static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * 4 * static_cast<size_t>(corners))));
  HeapBlock<double*> blocks(
      static_cast<double**>(hmsc_HeapMalloc(sizeof(double*) * static_cast<size_t>(sectionCount))));
  bool allocated = lists.get() && blocks.get();
  int32_t made = 0;
  for (; allocated && made < sectionCount; ++made) {
    blocks.get()[made] = static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * kStartCount));
    if (!blocks.get()[made]) allocated = false;
  }
  if (!allocated) {
    for (int32_t i = 0; blocks.get() && i < made; ++i) hmsc_HeapFree(blocks.get()[i]);
    SMOD_FAIL(slot, "No memory for the starting polynomial");
    return;
  }

  double* sample = lists.get();
  double* row = sample + corners;
  double* groundX = row + corners;
  double* groundY = groundX + corners;
  const bool lowOrder = senmod::hasLowOrderPoly(rsm) && sectionCount > 1;
  int32_t used = 0;
  for (int32_t i = 0; i < corners; ++i) {
    const double* corner = rsm.groundDomain.data + 3 * i;
    if (lowOrder) {
      senmod::lowOrderImagePosition(rsm, corner[0], corner[1], corner[2], &sample[used],
                                    &row[used]);
    } else {
      senmod::CalleeSlot ignored;
      smod_RationalPolynomialsToFileXY(rsm.RationalPolyList.data, corner[0], corner[1], corner[2],
                                       &sample[used], &row[used], ignored.get());
      // A corner that does not evaluate has no image position to fit.
      if (ignored.failed()) continue;
    }
    groundX[used] = corner[0];
    groundY[used] = corner[1];
    ++used;
  }
  if (used == 0) {
    for (int32_t i = 0; i < sectionCount; ++i) hmsc_HeapFree(blocks.get()[i]);
    SMOD_FAIL(slot, "No ground-domain corner maps to the image");
    return;
  }

  double xc[3];
  double yc[3];
  hdom_GetAffine(sample, row, groundX, groundY, used, xc, yc);
  const double fit[kStartCount] = {1.0, xc[0], xc[1], xc[2], yc[0], yc[1], yc[2]};
  for (int32_t s = 0; s < sectionCount; ++s) {
    RSMFunctions& section = rsm.RationalPolyList.data[s];
    double* block = blocks.get()[s];
    for (int32_t k = 0; k < kStartCount; ++k) block[k] = fit[k];
    hmsc_HeapFree(section.imageToGroundPoly.data);
    section.imageToGroundPoly.data = block;
    section.imageToGroundPoly.count = kStartCount;
  }
}
