// Ground to image with one section: sample and row as quotients of polynomials in x, y, z.
#include "common/error_slot.h"
#include "poly/messages.h"
#include "poly/normalisation.h"
#include "poly/section_polys.h"

extern "C" void smod_RationalPolynomialsToFileXY(const RSMFunctions* section, double x, double y,
                                                 double z, double* sample, double* row,
                                                 ErrorReport** err) {
  using namespace senmod;
  ErrorSlot slot(err, "smod_RationalPolynomialsToFileXY");
  if (!section || section->validSolution != SMOD_TRUE) {
    SMOD_FAIL(slot, kPolynomialsNotAvailable);
    return;
  }
  SectionPolys polys;
  if (const char* refusal = readSectionPolys(*section, Use::Evaluation, &polys)) {
    SMOD_FAIL(slot, refusal);
    return;
  }
  const bool normalised = section->useNormalization == SMOD_TRUE;
  if (normalised) {
    x = normalise(*section, kGroundX, x);
    y = normalise(*section, kGroundY, y);
    z = normalise(*section, kGroundZ, z);
  }
  TermTable table;
  table.fill(polys.mX, polys.mY, polys.mZ, x, y, z);

  const double ns = table.sum(polys.sampleNumerator.coef, polys.sampleNumerator.powers);
  const double ds = table.sum(polys.sampleDenominator.coef, polys.sampleDenominator.powers);
  if (ds == 0.0) {
    SMOD_FAIL(slot, kInvalidDenominator);
    return;
  }
  double s = ns / ds;
  const double nr = table.sum(polys.rowNumerator.coef, polys.rowNumerator.powers);
  double dr = ds;
  if (section->sameDenominators != SMOD_TRUE) {
    dr = table.sum(polys.rowDenominator.coef, polys.rowDenominator.powers);
    if (dr == 0.0) {
      SMOD_FAIL(slot, kInvalidDenominator);
      return;
    }
  }
  double r = nr / dr;
  if (normalised) {
    s = denormalise(*section, kSample, s);
    r = denormalise(*section, kRow, r);
  }
  *sample = s;
  *row = r;
}
