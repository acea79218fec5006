#include "poly/section_plan.h"

#include <cmath>

#include "poly/messages.h"
#include "poly/normalisation.h"

namespace senmod {

namespace {

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

bool isEmpty(Powers p) { return p.x < 0 || p.y < 0 || p.z < 0; }

// Null when every scale of a normalised section is a finite number other than 0 and every offset
// a finite number, else the refusal naming the first that is not: a zero scale divides by 0,
// and either would give every point of the section NaN or one value.
const char* checkNormalisation(const RSMFunctions& section) {
  static const char* const kScale[5] = {"Normalisation scale 0 (x) is zero or not finite.",
                                        "Normalisation scale 1 (y) is zero or not finite.",
                                        "Normalisation scale 2 (z) is zero or not finite.",
                                        "Normalisation scale 3 (sample) is zero or not finite.",
                                        "Normalisation scale 4 (row) is zero or not finite."};
  static const char* const kOffset[5] = {
      "Normalisation offset 0 (x) is not finite.", "Normalisation offset 1 (y) is not finite.",
      "Normalisation offset 2 (z) is not finite.", "Normalisation offset 3 (sample) is not finite.",
      "Normalisation offset 4 (row) is not finite."};
  if (section.useNormalization != SMOD_TRUE) return nullptr;
  for (int m = 0; m < 5; ++m) {
    if (!std::isfinite(section.Scales[m]) || section.Scales[m] == 0.0) return kScale[m];
    if (!std::isfinite(section.Offsets[m])) return kOffset[m];
  }
  return nullptr;
}

// Hands out the table slots of a plan, each value once, and records them in the plan's terms.
class Slots {
 public:
  explicit Slots(SectionPlan* plan) : plan_(plan) {
    for (auto& plane : plan_->term)
      for (auto& line : plane)
        for (uint16_t& slot : line) slot = kNoSlot;
    for (auto& line : plan_->highestZ)
      for (int8_t& k : line) k = -1;
    plan_->slots = kConstantSlots;
    plan_->mX = plan_->mY = plan_->mZ = 0;
  }

  // x^i y^j z^k, formed as (x^i y^j) z^k.
  uint16_t term(int i, int j, int k) {
    if (plan_->term[i][j][k] != kNoSlot) return plan_->term[i][j][k];
    uint16_t slot;
    if (k > 0 && (i > 0 || j > 0)) {
      term(i, j, 0);
      power(2, k);
      slot = product(i, j, k);
    } else if (k > 0) {
      slot = power(2, k);
    } else if (i > 0 && j > 0) {
      power(0, i);
      power(1, j);
      slot = product(i, j, 0);
    } else {
      slot = i > 0 ? power(0, i) : power(1, j);
    }
    return plan_->term[i][j][k] = slot;
  }

 private:
  // x^n (variable 0), y^n (1) or z^n (2); x^0 is the slot holding 1.
  uint16_t power(int variable, int n) {
    if (n == 0) return 1;
    int32_t* highest[] = {&plan_->mX, &plan_->mY, &plan_->mZ};
    uint16_t* powers[] = {plan_->xPower, plan_->yPower, plan_->zPower};
    while (*highest[variable] < n) powers[variable][++*highest[variable]] = next();
    return powers[variable][n];
  }

  // A new slot for the product x^i y^j z^k, once its operands have theirs.
  uint16_t product(int i, int j, int k) {
    int8_t& highest = plan_->highestZ[i][j];
    if (highest < k) highest = static_cast<int8_t>(k);
    return next();
  }

  uint16_t next() { return static_cast<uint16_t>(plan_->slots++); }

  SectionPlan* plan_;
};

// Fills row p of the value sums; the number of its terms.
int32_t planValue(const Polynomial& poly, Slots& slots, ValueSums* sums, int p) {
  int32_t count = 0;
  if (isEmpty(poly.powers)) return count;
  int n = 0;
  for (int k = 0; k <= poly.powers.z; ++k)
    for (int j = 0; j <= poly.powers.y; ++j)
      for (int i = 0; i <= poly.powers.x; ++i) {
        const double c = poly.coef[n++];
        if (c == 0.0) continue;
        sums->slot[p][count] = slots.term(i, j, k);
        sums->coef[p][count++] = c;
      }
  return count;
}

void addSlope(SlopeSums* sums, int s, int32_t* count, Slots& slots, int factor, int i, int j, int k,
              double c) {
  if (c == 0.0) return;
  sums->slot[s][*count] = slots.term(i, j, k);
  sums->factor[s][*count] = factor;
  sums->coef[s][(*count)++] = c;
}

// Fills rows 2p (x) and 2p + 1 (y) of the slope sums with their numbers of terms.
void planSlopes(const Polynomial& poly, Slots& slots, SlopeSums* sums, int p, int32_t* dx,
                int32_t* dy) {
  *dx = 0;
  *dy = 0;
  const Powers q = poly.powers;
  if (q.z < 0) return;
  if (q.x > 0)
    for (int k = 0; k <= q.z; ++k)
      for (int j = 0; j <= q.y; ++j) {
        const int row = (q.x + 1) * (j + (q.y + 1) * k);
        for (int i = 1; i <= q.x; ++i)
          addSlope(sums, 2 * p, dx, slots, i, i - 1, j, k, poly.coef[row + i]);
      }
  if (q.y > 0)
    for (int k = 0; k <= q.z; ++k)
      for (int j = 1; j <= q.y; ++j) {
        const int row = (q.x + 1) * (j + (q.y + 1) * k);
        for (int i = 0; i <= q.x; ++i)
          addSlope(sums, 2 * p + 1, dy, slots, j, i, j - 1, k, poly.coef[row + i]);
      }
}

// True when rows first, first + step, ... (count of them) of a sums' array hold the same value
// at every term.
template <typename T, int Sums, int Terms>
bool sameSlots(const T (&slot)[Sums][Terms], int32_t terms, int first, int step, int count) {
  for (int32_t n = 0; n < terms; ++n)
    for (int k = 1; k < count; ++k)
      if (slot[first + k * step][n] != slot[first][n]) return false;
  return true;
}

int32_t largest(const int32_t* counts, int n) {
  int32_t m = 0;
  for (int i = 0; i < n; ++i)
    if (counts[i] > m) m = counts[i];
  return m;
}

// Lists the plan's products by the x^i y^j they share.
void groupProducts(SectionPlan* plan) {
  plan->groups = 0;
  for (int j = 0; j < kTableSide; ++j)
    for (int i = 0; i < kTableSide; ++i) {
      const int highest = plan->highestZ[i][j];
      if (highest < 0) continue;
      TermGroup& g = plan->group[plan->groups++];
      g.x = i > 0 ? plan->xPower[i] : 1;
      g.y = j > 0 ? plan->yPower[j] : 1;
      g.xy = i > 0 && j > 0 ? plan->term[i][j][0] : kNoSlot;
      g.highest = static_cast<int16_t>(highest);
      g.z[0] = kNoSlot;
      for (int k = 1; k < kTableSide; ++k) g.z[k] = k <= highest ? plan->term[i][j][k] : kNoSlot;
    }
}

// The bits of the value terms in a box of kBoxSide a side, in the order the sums take them
// (z, then y, then x powers rising); 0 when a term lies outside the box.
uint64_t valueBox(const SectionPlan& plan) {
  if (highestPower(plan) > kBoxPower) return 0;
  const uint16_t* slot = plan.values.slot[0];
  uint64_t box = 0;
  int32_t n = 0;
  for (int k = 0; k < kBoxSide; ++k)
    for (int j = 0; j < kBoxSide; ++j)
      for (int i = 0; i < kBoxSide; ++i)
        if (n < plan.values.count && slot[n] == plan.term[i][j][k]) {
          box |= uint64_t{1} << boxBit(i, j, k);
          ++n;
        }
  return n == plan.values.count ? box : 0;
}

// The bits of the entries that derivative sum s (0 for x, 1 for y) takes, laid out as
// valueBox's, in *box; false when its terms are not those of entries in the box in that order,
// with the factor each entry's power implies, followed by padding only.
bool slopeBox(const SectionPlan& plan, int s, uint64_t* box) {
  const SlopeSums& sums = plan.slopes;
  *box = 0;
  int32_t n = 0;
  for (int k = 0; k < kBoxSide; ++k)
    for (int j = 0; j < kBoxSide; ++j)
      for (int i = 0; i < kBoxSide; ++i) {
        const double factor = s == 0 ? i + 1 : j + 1;
        if (n < sums.count && sums.slot[s][n] == plan.term[i][j][k] &&
            sums.factor[s][n] == factor) {
          *box |= uint64_t{1} << boxBit(i, j, k);
          ++n;
        }
      }
  for (; n < sums.count; ++n)
    if (sums.slot[s][n] != 0 || sums.factor[s][n] != 0.0) return false;
  return true;
}

// True when no bit of box is that of an entry of total degree i + j + k above m.
bool withinDegree(uint64_t box, int m) {
  for (int k = 0; k < kBoxSide; ++k)
    for (int j = 0; j < kBoxSide; ++j)
      for (int i = 0; i < kBoxSide; ++i)
        if (i + j + k > m && ((box >> boxBit(i, j, k)) & 1)) return false;
  return true;
}

}  // namespace

const char* buildSectionPlan(const RSMFunctions* section, Use use, SectionPlan* plan) {
  if (!section || section->validSolution != SMOD_TRUE) return kPolynomialsNotAvailable;
  SectionPolys polys;
  if (const char* refusal = readSectionPolys(*section, use, &polys)) return refusal;
  if (const char* refusal = checkNormalisation(*section)) return refusal;
  plan->section = section;
  plan->normalised = section->useNormalization == SMOD_TRUE;
  plan->shared = section->sameDenominators == SMOD_TRUE;
  plan->startOrder = 0;
  plan->startX = nullptr;
  plan->startY = nullptr;
  plan->zeroStartX = plan->normalised ? normalise(*section, kGroundX, 0.0) : 0.0;
  plan->zeroStartY = plan->normalised ? normalise(*section, kGroundY, 0.0) : 0.0;
  if (use == Use::Inversion && section->imageToGroundPoly.count > 0) {
    int n = 0;
    if (!startingOrder(section->imageToGroundPoly, &n)) return kStartDoesNotFit;
    plan->startOrder = n;
    plan->startX = section->imageToGroundPoly.data + 1;
    plan->startY = plan->startX + (n + 2) * (n + 1) / 2;
  }

  Slots slots(plan);
  const Polynomial* polynomials[kPolys] = {&polys.sampleNumerator, &polys.sampleDenominator,
                                           &polys.rowNumerator, &polys.rowDenominator};
  int32_t values[kPolys];
  int32_t slopes[2 * kPolys] = {};
  for (int p = 0; p < kPolys; ++p) {
    // A shared denominator's value is the sample denominator's: the row's is never read.
    values[p] = p == 3 && plan->shared ? 0 : planValue(*polynomials[p], slots, &plan->values, p);
    if (use == Use::Inversion)
      planSlopes(*polynomials[p], slots, &plan->slopes, p, &slopes[2 * p], &slopes[2 * p + 1]);
  }
  // Every sum padded to the longest with 0 * 0 from slot 0.
  plan->values.count = largest(values, kPolys);
  for (int p = 0; p < kPolys; ++p)
    for (int32_t n = values[p]; n < plan->values.count; ++n) {
      plan->values.slot[p][n] = 0;
      plan->values.coef[p][n] = 0.0;
    }
  plan->slopes.count = largest(slopes, 2 * kPolys);
  for (int s = 0; s < 2 * kPolys; ++s)
    for (int32_t n = slopes[s]; n < plan->slopes.count; ++n) {
      plan->slopes.slot[s][n] = 0;
      plan->slopes.factor[s][n] = 0.0;
      plan->slopes.coef[s][n] = 0.0;
    }
  plan->sameValueSlots =
      sameSlots(plan->values.slot, plan->values.count, 0, 1, plan->shared ? 3 : kPolys);
  groupProducts(plan);
  plan->valueBox = plan->sameValueSlots ? valueBox(*plan) : 0;
  const SlopeSums& g = plan->slopes;
  plan->sameSlopeSlots = sameSlots(g.slot, g.count, 0, 2, kPolys) &&
                         sameSlots(g.slot, g.count, 1, 2, kPolys) &&
                         sameSlots(g.factor, g.count, 0, 2, kPolys) &&
                         sameSlots(g.factor, g.count, 1, 2, kPolys);
  plan->slopeBoxed = use == Use::Inversion && plan->valueBox && plan->sameSlopeSlots &&
                     slopeBox(*plan, 0, &plan->xSlopeBox) &&
                     slopeBox(*plan, 1, &plan->ySlopeBox);
  if (!plan->slopeBoxed) plan->xSlopeBox = plan->ySlopeBox = 0;
  plan->boxByDegree =
      withinDegree(plan->valueBox | plan->xSlopeBox | plan->ySlopeBox, highestPower(*plan));
  return nullptr;
}

}  // namespace senmod
