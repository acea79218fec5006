// A section's evaluation plan: what its four polynomials need of the term table, read and
// checked once so that every point after it only multiplies and adds.
#ifndef SENMOD_POLY_SECTION_PLAN_H
#define SENMOD_POLY_SECTION_PLAN_H

#include <cstdint>

#include "poly/section_polys.h"
#include "senmod/senmod.h"

namespace senmod {

constexpr int kTableEntries = kTableSide * kTableSide * kTableSide;
constexpr int kSlopeTerms = kMaxPower * kTableSide * kTableSide;

// The non-zero terms of a polynomial's value in the order the plain sum takes them; entry is
// the term's position in the plan's table. A zero coefficient adds an exact zero, so leaving it
// out changes no sum.
struct ValueTerms {
  int32_t count = 0;
  uint8_t entry[kTableEntries];
  double coef[kTableEntries];
};

// The non-zero terms of a partial derivative, term n being (factor[n] * table[entry[n]]) *
// coef[n] as the plain derivative forms it.
struct SlopeTerms {
  int32_t count = 0;
  uint8_t entry[kSlopeTerms];
  double factor[kSlopeTerms];
  double coef[kSlopeTerms];
};

struct PolyPlan {
  ValueTerms value;
  SlopeTerms dx;  // filled for the inversion only
  SlopeTerms dy;
};

struct SectionPlan {
  const RSMFunctions* section;
  bool normalised;
  bool shared;  // sameDenominators: the row denominator's value is the sample denominator's
  // Largest power of x, y and z among the table's entries.
  int32_t mX, mY, mZ;
  // The table entries in use: entry e is x^ei[e] y^ej[e] z^ek[e].
  int32_t entries;
  uint8_t ei[kTableEntries], ej[kTableEntries], ek[kTableEntries];
  PolyPlan sampleNumerator, sampleDenominator, rowNumerator, rowDenominator;
  // The inversion's starting polynomial: order and its x and y halves (null: start at 0, 0).
  int32_t startOrder;
  const double* startX;
  const double* startY;
};

// Builds plan for section and use. Returns null, or the message of the refusal that the
// per-point evaluator of that use gives: the section missing or not valid, a power out of
// range, too few coefficients, and for the inversion a starting polynomial that does not fit.
const char* buildSectionPlan(const RSMFunctions* section, Use use, SectionPlan* plan);

// The inversion's unnormalised start (ground-domain x, y) for image point (sample, row).
void startingPoint(const SectionPlan& plan, double sample, double row, double* x, double* y);

}  // namespace senmod

#endif  // SENMOD_POLY_SECTION_PLAN_H
