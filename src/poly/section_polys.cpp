#include "poly/section_polys.h"

#include "poly/messages.h"

namespace senmod {

namespace {

bool powerInRange(int32_t power) { return power >= -1 && power <= kMaxPower; }

bool powersInRange(Powers p) { return powerInRange(p.x) && powerInRange(p.y) && powerInRange(p.z); }

bool isEmpty(Powers p) { return p.x < 0 || p.y < 0 || p.z < 0; }

// True when the array holds every coefficient of a non-empty polynomial.
bool holdsTerms(const Smod_Doubles& array, Powers p) {
  const int32_t terms = (p.x + 1) * (p.y + 1) * (p.z + 1);
  return array.data != nullptr && array.count >= terms;
}

Polynomial polynomial(const Smod_Doubles& array, int32_t x, int32_t y, int32_t z) {
  return Polynomial{array.data, Powers{x, y, z}};
}

}  // namespace

CoefficientArrays coefficientArrays(const RSMFunctions& s) {
  return {{&s.sampleNumerator, &s.sampleDenominator, &s.rowNumerator, &s.rowDenominator}};
}

const char* readSectionPolys(const RSMFunctions& s, Use use, SectionPolys* polys) {
  polys->sampleNumerator = polynomial(s.sampleNumerator, s.sampleNumeratorPowerX,
                                      s.sampleNumeratorPowerY, s.sampleNumeratorPowerZ);
  polys->sampleDenominator = polynomial(s.sampleDenominator, s.sampleDenominatorPowerX,
                                        s.sampleDenominatorPowerY, s.sampleDenominatorPowerZ);
  polys->rowNumerator =
      polynomial(s.rowNumerator, s.rowNumeratorPowerX, s.rowNumeratorPowerY, s.rowNumeratorPowerZ);
  polys->rowDenominator = polynomial(s.rowDenominator, s.rowDenominatorPowerX,
                                     s.rowDenominatorPowerY, s.rowDenominatorPowerZ);

  const Polynomial* all[] = {&polys->sampleNumerator, &polys->sampleDenominator,
                             &polys->rowNumerator, &polys->rowDenominator};
  for (const Polynomial* p : all)
    if (!powersInRange(p->powers)) return kPowerOutOfRange;

  const CoefficientArrays arrays = coefficientArrays(s);
  const Powers rowDen = polys->rowDenominator.powers;
  // With a shared denominator the row denominator's value is not read; the inversion still
  // reads its coefficients for the derivatives when they have an x or y term.
  const bool rowDenominatorRead = s.sameDenominators != SMOD_TRUE ||
                                  (use == Use::Inversion && (rowDen.x >= 1 || rowDen.y >= 1));
  for (int i = 0; i < 4; ++i) {
    if (i == 3 && !rowDenominatorRead) continue;
    if (!isEmpty(all[i]->powers) && !holdsTerms(*arrays.array[i], all[i]->powers))
      return kCountDoesNotFit;
  }

  return nullptr;
}

}  // namespace senmod
