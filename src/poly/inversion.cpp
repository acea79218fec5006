// Image to ground with one section: Newton iteration on ground x and y at a fixed height.
#include <cmath>

#include "common/error_slot.h"
#include "hostmodel.h"
#include "poly/messages.h"
#include "poly/normalisation.h"
#include "poly/section_polys.h"

namespace {

constexpr double kTolerance = 1e-8;
constexpr int kMaxPasses = 5;
// hmod_PolyCalc takes orders 0 to 10.
constexpr int kMaxStartOrder = 10;

// Reads the starting polynomial's order into *order; false when the array does not hold a
// whole order in range followed by both halves of its coefficients.
bool startingOrder(const Smod_Doubles& poly, int* order) {
  if (!poly.data) return false;
  const double stored = poly.data[0];
  if (!(stored >= 0.0 && stored <= kMaxStartOrder) || stored != std::trunc(stored)) return false;
  const int n = static_cast<int>(stored);
  const int half = (n + 2) * (n + 1) / 2;
  if (poly.count < 1 + 2 * half) return false;
  *order = n;
  return true;
}

}  // namespace

extern "C" void smod_RationalPolynomialsToMapXY(const RSMFunctions* section, double sample,
                                                double row, double z, double* outX, double* outY,
                                                ErrorReport** err) {
  using namespace senmod;
  ErrorSlot slot(err, "smod_RationalPolynomialsToMapXY");
  if (!section || section->validSolution != SMOD_TRUE) {
    SMOD_FAIL(slot, kPolynomialsNotAvailable);
    return;
  }
  SectionPolys p;
  if (const char* refusal = readSectionPolys(*section, Use::Inversion, &p)) {
    SMOD_FAIL(slot, refusal);
    return;
  }

  double x0 = 0.0;
  double y0 = 0.0;
  const Smod_Doubles& start = section->imageToGroundPoly;
  if (start.count > 0) {
    int n = 0;
    if (!startingOrder(start, &n)) {
      SMOD_FAIL(slot, kStartDoesNotFit);
      return;
    }
    x0 = hmod_PolyCalc(start.data + 1, n, sample, row);
    y0 = hmod_PolyCalc(start.data + 1 + (n + 2) * (n + 1) / 2, n, sample, row);
  }
  const bool normalised = section->useNormalization == SMOD_TRUE;
  if (normalised) {
    sample = normalise(*section, kSample, sample);
    row = normalise(*section, kRow, row);
    z = normalise(*section, kGroundZ, z);
    x0 = normalise(*section, kGroundX, x0);
    y0 = normalise(*section, kGroundY, y0);
  }

  const bool shared = section->sameDenominators == SMOD_TRUE;
  double x = x0;
  double y = y0;
  double dx = 0.0;
  double dy = 0.0;
  double largest = 1.001;
  int passes = 0;
  TermTable t;
  while (largest > kTolerance) {
    x = x + dx;
    y = y + dy;
    t.fill(p.mX, p.mY, p.mZ, x, y, z);
    const double ns = t.sum(p.sampleNumerator.coef, p.sampleNumerator.powers);
    const double ds = t.sum(p.sampleDenominator.coef, p.sampleDenominator.powers);
    if (ds == 0.0) {
      SMOD_FAIL(slot, kInvalidDenominator);
      return;
    }
    const double nr = t.sum(p.rowNumerator.coef, p.rowNumerator.powers);
    double dr = ds;
    if (!shared) {
      dr = t.sum(p.rowDenominator.coef, p.rowDenominator.powers);
      if (dr == 0.0) {
        SMOD_FAIL(slot, kInvalidDenominator);
        return;
      }
    }
    const double sx = (t.derivativeX(p.sampleNumerator.coef, p.sampleNumerator.powers) * ds -
                       t.derivativeX(p.sampleDenominator.coef, p.sampleDenominator.powers) * ns) /
                      (ds * ds);
    const double sy = (t.derivativeY(p.sampleNumerator.coef, p.sampleNumerator.powers) * ds -
                       t.derivativeY(p.sampleDenominator.coef, p.sampleDenominator.powers) * ns) /
                      (ds * ds);
    const double rx = (t.derivativeX(p.rowNumerator.coef, p.rowNumerator.powers) * dr -
                       t.derivativeX(p.rowDenominator.coef, p.rowDenominator.powers) * nr) /
                      (dr * dr);
    const double ry = (t.derivativeY(p.rowNumerator.coef, p.rowNumerator.powers) * dr -
                       t.derivativeY(p.rowDenominator.coef, p.rowDenominator.powers) * nr) /
                      (dr * dr);
    const double es = sample - ns / ds;
    const double er = row - nr / dr;
    dy = (er * sx - es * rx) / (ry * sx - rx * sy);
    if (std::fabs(rx) < std::fabs(sx)) {
      dx = (es - sy * dy) / sx;
    } else {
      dx = (er - ry * dy) / rx;
    }
    // A correction that is not a number fails the comparison and so ends the iteration.
    largest = std::fabs(dx);
    if (std::fabs(dy) > largest) largest = std::fabs(dy);
    if (++passes >= kMaxPasses) break;
  }

  x = x + dx;
  y = y + dy;
  if (normalised) {
    x = denormalise(*section, kGroundX, x);
    y = denormalise(*section, kGroundY, y);
  }
  *outX = x;
  *outY = y;
}
