// One point through a whole model in its own direction, with the section choice and, for a
// rectangular ground domain, the refinement of the height used by the inversion.
#include <cmath>

#include "common/error_slot.h"
#include "poly/ground_domain.h"
#include "poly/messages.h"
#include "poly/section_choice.h"

namespace {

constexpr const char* kConversionFailed = "RationalPolynomial coordinate conversion failed";
constexpr double kHeightTolerance = 0.01;
constexpr int kMaxRefinements = 5;

// Ground to image; false with a report in slot when a step fails.
bool groundToImage(const RSM_Model* model, double x, double y, double z, double* sample,
                   double* row, senmod::ErrorSlot& slot) {
  const RSM_Model_Orig& rsm = model->rsm;
  senmod::CalleeSlot callee;
  double gx;
  double gy;
  double gz;
  smod_RSMConvertGRNDD(model, 1, x, y, z, &gx, &gy, &gz, callee.get());
  if (callee.failed()) {
    SMOD_FAIL(slot, kConversionFailed, callee.take());
    return false;
  }
  const RSMFunctions* section = rsm.RationalPolyList.data;
  if (rsm.RationalPolyList.count > 1) {
    double approxSample;
    double approxRow;
    if (senmod::hasLowOrderPoly(rsm)) {
      senmod::lowOrderImagePosition(rsm, gx, gy, gz, &approxSample, &approxRow);
    } else {
      smod_RationalPolynomialsToFileXY(section, gx, gy, gz, &approxSample, &approxRow,
                                       callee.get());
      if (callee.failed()) {
        SMOD_FAIL(slot, kConversionFailed, callee.take());
        return false;
      }
    }
    section = senmod::sectionAt(rsm, approxSample, approxRow);
  }
  smod_RationalPolynomialsToFileXY(section, gx, gy, gz, sample, row, callee.get());
  if (callee.failed()) {
    SMOD_FAIL(slot, kConversionFailed, callee.take());
    return false;
  }
  return true;
}

// Image to ground; false with a report in slot when a step fails.
bool imageToGround(const RSM_Model* model, double sample, double row, double z, double* mapX,
                   double* mapY, senmod::ErrorSlot& slot) {
  const RSM_Model_Orig& rsm = model->rsm;
  senmod::CalleeSlot callee;
  const RSMFunctions* section = senmod::sectionAt(rsm, sample, row);
  double x;
  double y;
  double discarded;
  smod_RationalPolynomialsToMapXY(section, sample, row, z, &x, &y, callee.get());
  if (!callee.failed()) smod_RSMConvertGRNDD(model, 0, x, y, z, &x, &y, &discarded, callee.get());
  if (callee.failed()) {
    SMOD_FAIL(slot, kConversionFailed, callee.take());
    return false;
  }
  // On a rectangular domain the requested map height is not the ground-domain height: iterate
  // the height of the estimate's ground-domain point.
  if (senmod::refinesHeight(rsm)) {
    double previous = z;
    double difference = 1.0;
    for (int pass = 0; pass < kMaxRefinements && difference > kHeightTolerance; ++pass) {
      double gx;
      double gy;
      double gz;
      smod_RSMConvertGRNDD(model, 1, x, y, z, &gx, &gy, &gz, callee.get());
      if (!callee.failed())
        smod_RationalPolynomialsToMapXY(section, sample, row, gz, &x, &y, callee.get());
      // The estimate's ground-domain point lies at height gz: converting it back at the map
      // height z instead would move it along the frame's z axis, off the map point's vertical.
      if (!callee.failed())
        smod_RSMConvertGRNDD(model, 0, x, y, gz, &x, &y, &discarded, callee.get());
      if (callee.failed()) {
        SMOD_FAIL(slot, kConversionFailed, callee.take());
        return false;
      }
      difference = std::fabs(previous - gz);
      previous = gz;
    }
  }
  *mapX = x;
  *mapY = y;
  return true;
}

}  // namespace

extern "C" void smod_RSMTransform(const RSM_Model* model, double x, double y, double z,
                                  double* outX, double* outY, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RSMTransform");
  if (const char* refusal = senmod::checkModel(model)) {
    SMOD_FAIL(slot, refusal);
    return;
  }
  if (!senmod::pointIsFinite(x, y, z)) {
    SMOD_FAIL(slot, senmod::kPointNotFinite);
    return;
  }
  if (model->rsm.groundToImageTransform == SMOD_FALSE) {
    imageToGround(model, x, y, z, outX, outY, slot);
  } else {
    groundToImage(model, x, y, z, outX, outY, slot);
  }
}
