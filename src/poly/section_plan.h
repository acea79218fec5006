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

// The table of a plan holds, per point, what its sums multiply: slot 0 holds 0 (it pads the
// sums) and slot 1 holds 1 (the product of no power), then the powers x^i, y^j, z^k and the
// products (x^i y^j) z^k that the sums use.
constexpr int kConstantSlots = 2;
constexpr int kTableSlots = kConstantSlots + 3 * kMaxPower + kTableEntries;

// A term that the table does not hold.
constexpr uint16_t kNoSlot = 0xffff;

// The products (x^i y^j) z^k of one x^i y^j: the slots of x^i and y^j (slot 1, holding 1, for
// a power 0, so that x^i y^j is always their product, exactly), of x^i y^j when it is itself a
// product (else kNoSlot), and of (x^i y^j) z^k for k = 1 ... highest (kNoSlot where not formed).
struct TermGroup {
  uint16_t x, y, xy;
  int16_t highest;
  uint16_t z[kTableSide];
};

// Highest power of the sections whose values may be summed without the table.
constexpr int kBoxPower = 3;
constexpr int kBoxSide = kBoxPower + 1;

// The bit of x^i y^j z^k in a set of terms of a box (a 64-bit word).
constexpr int boxBit(int i, int j, int k) { return k * kBoxSide * kBoxSide + j * kBoxSide + i; }

// Highest order of a starting polynomial (that of hmod_PolyCalc, whose term order it keeps).
constexpr int kMaxStartOrder = 10;

// The four polynomials of a section in the order sample numerator, sample denominator, row
// numerator, row denominator.
constexpr int kPolys = 4;

// The non-zero terms of the four values, side by side so that the four sums advance together:
// sum p adds coef[p][n] * table[slot[p][n]] for n < count, in the order the plain sum takes
// them. A zero coefficient adds an exact zero, so leaving it out changes no sum; a sum with
// fewer terms is padded with 0 * 0, which changes none either (a sum that starts at +0 is
// never -0).
struct ValueSums {
  int32_t count = 0;
  uint16_t slot[kPolys][kTableEntries];
  double coef[kPolys][kTableEntries];
};

// The non-zero terms of the x and y derivatives (sums 2p and 2p + 1 of polynomial p), padded
// alike: term n is (factor * table[slot]) * coef as the plain derivative forms it, the factor
// being the power that the derivative takes down (a factor 1 multiplies exactly).
struct SlopeSums {
  int32_t count = 0;
  uint16_t slot[2 * kPolys][kSlopeTerms];
  double factor[2 * kPolys][kSlopeTerms];
  double coef[2 * kPolys][kSlopeTerms];
};

struct SectionPlan {
  const RSMFunctions* section;
  bool normalised;
  bool shared;  // sameDenominators: the row denominator's value is the sample denominator's
  // Highest power of x, y and z in the table, and the slots of x^1 ... x^mX and so on.
  int32_t mX, mY, mZ;
  uint16_t xPower[kTableSide], yPower[kTableSide], zPower[kTableSide];
  // The slot of each term x^i y^j z^k the table holds (kNoSlot for the others), formed as
  // (x^i y^j) z^k from x^i y^j = x^i * y^j; and for each x^i y^j the highest k of such a product
  // (0 for x^i y^j itself, -1 when none is formed: powers are not products).
  uint16_t term[kTableSide][kTableSide][kTableSide];
  int8_t highestZ[kTableSide][kTableSide];
  // The products in groups that share x^i y^j, each formed once.
  int32_t groups;
  TermGroup group[kTableSide * kTableSide];
  int32_t slots;     // slots in use
  ValueSums values;  // the row denominator's left empty when shared
  SlopeSums slopes;  // filled for the inversion only
  // Every value sum in use reads the same slot at each term, and so do the four x and the four
  // y derivative sums (with the same factor): one load of the table entry serves them all.
  bool sameValueSlots;
  bool sameSlopeSlots;
  // When the value sums share their terms and no power exceeds kBoxPower, the terms as bits
  // boxBit(i, j, k) of x^i y^j z^k, so that values can be summed without the table; else 0.
  uint64_t valueBox;
  // When, besides, the derivative sums share their terms: the table entries that the x and the
  // y derivatives take, as bits of the same layout (the entry x^i y^j z^k with the factor i + 1
  // of the x derivative's term x^(i+1) y^j z^k, or j + 1 of the y one's), so that a Newton pass
  // can sum without the table too; slopeBoxed false (and both 0) otherwise.
  bool slopeBoxed;
  uint64_t xSlopeBox, ySlopeBox;
  // The three boxes hold no entry of total degree i + j + k above highestPower, so that a pass
  // need not look at those.
  bool boxByDegree;
  // The inversion's starting polynomial: order and its x and y halves (null: start at 0, 0).
  int32_t startOrder;
  const double* startX;
  const double* startY;
  // Without a starting polynomial: the start 0, 0 normalised when the plan is.
  double zeroStartX, zeroStartY;
};

// The highest of the plan's powers of x, y and z.
inline int32_t highestPower(const SectionPlan& plan) {
  return plan.mX > plan.mY ? (plan.mX > plan.mZ ? plan.mX : plan.mZ)
                           : (plan.mY > plan.mZ ? plan.mY : plan.mZ);
}

// Builds plan for section and use. Returns null, or the message of the refusal that the
// per-point evaluator of that use gives: the section missing or not valid, a power out of
// range, too few coefficients, a normalisation scale that is zero or not finite or an offset that
// is not finite, and for the inversion a starting polynomial that does not fit.
const char* buildSectionPlan(const RSMFunctions* section, Use use, SectionPlan* plan);

}  // namespace senmod

#endif  // SENMOD_POLY_SECTION_PLAN_H
