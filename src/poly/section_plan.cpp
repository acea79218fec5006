#include "poly/section_plan.h"

#include <cmath>

#include "hostmodel.h"
#include "poly/messages.h"

namespace senmod {

namespace {

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

bool isEmpty(Powers p) { return p.x < 0 || p.y < 0 || p.z < 0; }

// Hands out the table entries of a plan, each power triple once.
class Entries {
 public:
  explicit Entries(SectionPlan* plan) : plan_(plan) {
    for (auto& plane : index_)
      for (auto& line : plane)
        for (int16_t& e : line) e = -1;
    plan_->entries = 0;
    plan_->mX = plan_->mY = plan_->mZ = 0;
  }

  uint8_t of(int i, int j, int k) {
    int16_t& e = index_[i][j][k];
    if (e < 0) {
      e = static_cast<int16_t>(plan_->entries++);
      plan_->ei[e] = static_cast<uint8_t>(i);
      plan_->ej[e] = static_cast<uint8_t>(j);
      plan_->ek[e] = static_cast<uint8_t>(k);
      if (i > plan_->mX) plan_->mX = i;
      if (j > plan_->mY) plan_->mY = j;
      if (k > plan_->mZ) plan_->mZ = k;
    }
    return static_cast<uint8_t>(e);
  }

 private:
  SectionPlan* plan_;
  int16_t index_[kTableSide][kTableSide][kTableSide];
};

// Fills row p of the value sums; the number of its terms.
int32_t planValue(const Polynomial& poly, Entries& entries, ValueSums* sums, int p) {
  int32_t count = 0;
  if (isEmpty(poly.powers)) return count;
  int n = 0;
  for (int k = 0; k <= poly.powers.z; ++k)
    for (int j = 0; j <= poly.powers.y; ++j)
      for (int i = 0; i <= poly.powers.x; ++i) {
        const double c = poly.coef[n++];
        if (c == 0.0) continue;
        sums->entry[p][count] = entries.of(i, j, k);
        sums->coef[p][count++] = c;
      }
  return count;
}

void addSlope(SlopeSums* sums, int s, int32_t* count, uint8_t entry, int factor, double c) {
  if (c == 0.0) return;
  sums->entry[s][*count] = entry;
  sums->factor[s][*count] = static_cast<double>(factor);
  sums->coef[s][(*count)++] = c;
}

// Fills rows 2p (x) and 2p + 1 (y) of the slope sums with their numbers of terms.
void planSlopes(const Polynomial& poly, Entries& entries, SlopeSums* sums, int p, int32_t* dx,
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
          addSlope(sums, 2 * p, dx, entries.of(i - 1, j, k), i, poly.coef[row + i]);
      }
  if (q.y > 0)
    for (int k = 0; k <= q.z; ++k)
      for (int j = 1; j <= q.y; ++j) {
        const int row = (q.x + 1) * (j + (q.y + 1) * k);
        for (int i = 0; i <= q.x; ++i)
          addSlope(sums, 2 * p + 1, dy, entries.of(i, j - 1, k), j, poly.coef[row + i]);
      }
}

int32_t largest(const int32_t* counts, int n) {
  int32_t m = 0;
  for (int i = 0; i < n; ++i)
    if (counts[i] > m) m = counts[i];
  return m;
}

}  // namespace

const char* buildSectionPlan(const RSMFunctions* section, Use use, SectionPlan* plan) {
  if (!section || section->validSolution != SMOD_TRUE) return kPolynomialsNotAvailable;
  SectionPolys polys;
  if (const char* refusal = readSectionPolys(*section, use, &polys)) return refusal;
  plan->section = section;
  plan->normalised = section->useNormalization == SMOD_TRUE;
  plan->shared = section->sameDenominators == SMOD_TRUE;
  plan->startOrder = 0;
  plan->startX = nullptr;
  plan->startY = nullptr;
  if (use == Use::Inversion && section->imageToGroundPoly.count > 0) {
    int n = 0;
    if (!startingOrder(section->imageToGroundPoly, &n)) return kStartDoesNotFit;
    plan->startOrder = n;
    plan->startX = section->imageToGroundPoly.data + 1;
    plan->startY = plan->startX + (n + 2) * (n + 1) / 2;
  }

  Entries entries(plan);
  const Polynomial* polynomials[kPolys] = {&polys.sampleNumerator, &polys.sampleDenominator,
                                           &polys.rowNumerator, &polys.rowDenominator};
  int32_t values[kPolys];
  int32_t slopes[2 * kPolys] = {};
  for (int p = 0; p < kPolys; ++p) {
    // A shared denominator's value is the sample denominator's: the row's is never read.
    values[p] = p == 3 && plan->shared ? 0 : planValue(*polynomials[p], entries, &plan->values, p);
    if (use == Use::Inversion)
      planSlopes(*polynomials[p], entries, &plan->slopes, p, &slopes[2 * p], &slopes[2 * p + 1]);
  }
  // Every sum padded to the longest with 0 * 0 from the zero entry after the products.
  const auto zero = static_cast<uint8_t>(plan->entries);
  plan->values.count = largest(values, kPolys);
  for (int p = 0; p < kPolys; ++p)
    for (int32_t n = values[p]; n < plan->values.count; ++n) {
      plan->values.entry[p][n] = zero;
      plan->values.coef[p][n] = 0.0;
    }
  plan->slopes.count = largest(slopes, 2 * kPolys);
  for (int s = 0; s < 2 * kPolys; ++s)
    for (int32_t n = slopes[s]; n < plan->slopes.count; ++n) {
      plan->slopes.entry[s][n] = zero;
      plan->slopes.factor[s][n] = 1.0;
      plan->slopes.coef[s][n] = 0.0;
    }
  return nullptr;
}

void startingPoint(const SectionPlan& plan, double sample, double row, double* x, double* y) {
  if (!plan.startX) {
    *x = 0.0;
    *y = 0.0;
    return;
  }
  *x = hmod_PolyCalc(plan.startX, plan.startOrder, sample, row);
  *y = hmod_PolyCalc(plan.startY, plan.startOrder, sample, row);
}

}  // namespace senmod
