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
// Entries of a plan's table: every product, and the zero that pads its sums.
constexpr int kTableSlots = kTableEntries + 1;

// The four polynomials of a section in the order sample numerator, sample denominator, row
// numerator, row denominator.
constexpr int kPolys = 4;

// The non-zero terms of the four values, side by side so that the four sums advance together:
// sum p adds coef[p][n] * table[entry[p][n]] for n < count, in the order the plain sum takes
// them. A zero coefficient adds an exact zero, so leaving it out changes no sum; a sum with
// fewer terms is padded with 0 * 0 (its table entry holds 0), which changes none either (a sum
// that starts at +0 is never -0).
struct ValueSums {
  int32_t count = 0;
  uint8_t entry[kPolys][kTableEntries];
  double coef[kPolys][kTableEntries];
};

// The non-zero terms of the x and y derivatives (sum 2p and 2p + 1 of polynomial p), padded
// alike: term n is (factor * table[entry]) * coef as the plain derivative forms it.
struct SlopeSums {
  int32_t count = 0;
  uint8_t entry[2 * kPolys][kSlopeTerms];
  double factor[2 * kPolys][kSlopeTerms];
  double coef[2 * kPolys][kSlopeTerms];
};

struct SectionPlan {
  const RSMFunctions* section;
  bool normalised;
  bool shared;  // sameDenominators: the row denominator's value is the sample denominator's
  // Largest power of x, y and z among the table's entries.
  int32_t mX, mY, mZ;
  // The table entries in use: entry e is x^ei[e] y^ej[e] z^ek[e]; entry `entries` holds 0.
  int32_t entries;
  uint8_t ei[kTableEntries], ej[kTableEntries], ek[kTableEntries];
  ValueSums values;  // the row denominator's left empty when shared
  SlopeSums slopes;  // filled for the inversion only
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
