// Ground to image with one section.
#include <cmath>
#include <limits>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::constant;
using model_builder::makeSections;
using model_builder::Poly;
using model_builder::SectionSpec;

namespace {

class Evaluation : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RationalPolynomialsFree(sections_, count_, nullptr);
    HeapCheckedTest::TearDown();
  }
  // Holds one section made from spec, releasing the one held before.
  RSMFunctions* use(const SectionSpec& spec) {
    smod_RationalPolynomialsFree(sections_, count_, nullptr);
    sections_ = makeSections({spec});
    count_ = 1;
    return sections_;
  }
  // Evaluates; returns the message of the report, "" on success.
  std::string evaluate(const RSMFunctions* s, double x, double y, double z) {
    ErrorReport* err = nullptr;
    smod_RationalPolynomialsToFileXY(s, x, y, z, &sample_, &row_, &err);
    std::string message = messageOf(err);
    if (err) {
      EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RationalPolynomialsToFileXY");
      EXPECT_EQ(herr_ErrorReportSeverity(err), 2);
      EXPECT_EQ(herr_ErrorReportPrevious(err), nullptr);
    }
    herr_DeleteErrorReportEx(&err);
    return message;
  }
  RSMFunctions* sections_ = nullptr;
  int count_ = 0;
  double sample_ = 0.0;
  double row_ = 0.0;
};

// The polynomial sum_{ijk} c_ijk x^i y^j z^k written out term by term.
double direct(const Poly& p, double x, double y, double z) {
  double sum = 0.0;
  int n = 0;
  for (int k = 0; k <= p.pz; ++k)
    for (int j = 0; j <= p.py; ++j)
      for (int i = 0; i <= p.px; ++i) sum += p.coef[n++] * std::pow(x, i) * std::pow(y, j) * std::pow(z, k);
  return sum;
}

Poly filled(int px, int py, int pz, double base) {
  Poly p{px, py, pz, {}};
  const int terms = (px + 1) * (py + 1) * (pz + 1);
  for (int n = 0; n < terms; ++n) p.coef.push_back(base + 0.25 * n - 0.01 * n * n);
  return p;
}

TEST_F(Evaluation, ConstantPolynomialsGiveTheirQuotientAnywhere) {
  SectionSpec spec;
  spec.sampleNumerator = constant(2.0);
  spec.sampleDenominator = constant(4.0);
  spec.rowNumerator = constant(3.0);
  spec.rowDenominator = constant(6.0);
  const RSMFunctions* s = use(spec);
  for (double x : {-1e6, 0.0, 17.5}) {
    ASSERT_EQ(evaluate(s, x, 2.0 * x, -x), "");
    EXPECT_EQ(sample_, 0.5);
    EXPECT_EQ(row_, 0.5);
  }
}

TEST_F(Evaluation, NormalisesGroundAndDenormalisesImage) {
  SectionSpec spec;
  spec.useNormalization = true;
  spec.scales = {2, 2, 2, 100, 50};
  spec.offsets = {1, 1, 1, 1000, 500};
  spec.sampleNumerator = Poly{1, 0, 0, {0.0, 1.0}};
  spec.rowNumerator = constant(0.0);
  spec.sameDenominators = true;
  spec.rowDenominator = Poly{};
  const RSMFunctions* s = use(spec);
  ASSERT_EQ(evaluate(s, 3.0, 0.0, 0.0), "");
  EXPECT_EQ(sample_, 1100.0);
  EXPECT_EQ(row_, 500.0);
}

TEST_F(Evaluation, EveryTermOfEveryPowerCombinationCounts) {
  // Mixed powers per polynomial exercise the coefficient index and the term table corner.
  SectionSpec spec;
  spec.sampleNumerator = filled(3, 1, 2, 0.5);
  spec.sampleDenominator = filled(1, 2, 0, 3.0);
  spec.rowNumerator = filled(5, 0, 1, -1.0);
  spec.rowDenominator = filled(0, 3, 3, 2.0);
  const RSMFunctions* s = use(spec);
  const double x = 0.3, y = -0.7, z = 0.45;
  ASSERT_EQ(evaluate(s, x, y, z), "");
  EXPECT_NEAR(sample_, direct(spec.sampleNumerator, x, y, z) / direct(spec.sampleDenominator, x, y, z), 1e-12);
  EXPECT_NEAR(row_, direct(spec.rowNumerator, x, y, z) / direct(spec.rowDenominator, x, y, z), 1e-12);
}

TEST_F(Evaluation, SharedDenominatorNeverReadsTheRowDenominator) {
  SectionSpec spec = affineSection(1.0, 2.0, 0.0, 5.0, 0.0, 3.0);
  spec.sampleDenominator = constant(2.0);
  spec.sameDenominators = true;
  // Powers that claim coefficients the empty array does not hold: not read, so not refused.
  spec.rowDenominator = Poly{2, 2, 2, {}};
  const RSMFunctions* s = use(spec);
  ASSERT_EQ(evaluate(s, 1.0, 1.0, 0.0), "");
  EXPECT_EQ(sample_, 1.5);
  EXPECT_EQ(row_, 4.0);
}

TEST_F(Evaluation, ExactZeroDenominatorsAreRefused) {
  for (double zero : {0.0, -0.0}) {
    SectionSpec spec = affineSection(1, 0, 0, 1, 0, 0);
    spec.sampleDenominator = constant(zero);
    EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "Invalid denominator.");
    spec.sampleDenominator = constant(1.0);
    spec.rowDenominator = constant(zero);
    EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "Invalid denominator.");
  }
  // A denominator that is merely tiny is not zero.
  SectionSpec spec = affineSection(1, 0, 0, 1, 0, 0);
  spec.sampleDenominator = constant(1e-300);
  EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "");
}

TEST_F(Evaluation, SectionWithoutValidSolutionIsNotAvailable) {
  EXPECT_EQ(evaluate(nullptr, 0, 0, 0), "Rational polynomials not available.");
  ErrorReport* err = nullptr;
  sections_ = smod_RationalPolynomialsCreate(1, &err);
  count_ = 1;
  EXPECT_EQ(evaluate(sections_, 0, 0, 0), "Rational polynomials not available.");
  // Filled with nothing, the polynomials are empty and evaluate to 0.
  sections_->validSolution = SMOD_TRUE;
  EXPECT_EQ(evaluate(sections_, 0, 0, 0), "Invalid denominator.");
}

TEST_F(Evaluation, PowersOutsideTheTableAreRefused) {
  for (int power : {6, -2, 1000}) {
    SectionSpec spec = affineSection(1, 0, 0, 1, 0, 0);
    spec.rowDenominator = Poly{0, 0, power, std::vector<double>(300, 1.0)};
    EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "Polynomial power out of range.") << power;
  }
  // Even a shared denominator's powers count: they size the term table.
  SectionSpec spec = affineSection(1, 0, 0, 1, 0, 0);
  spec.sameDenominators = true;
  spec.rowDenominator = Poly{7, 0, 0, {}};
  EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "Polynomial power out of range.");
}

TEST_F(Evaluation, ShortCoefficientArraysAreRefused) {
  SectionSpec spec = affineSection(1, 0, 0, 1, 0, 0);
  spec.sampleNumerator.coef.pop_back();
  EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "Coefficient count does not fit the powers.");
  spec = affineSection(1, 0, 0, 1, 0, 0);
  spec.rowDenominator = Poly{5, 5, 5, std::vector<double>(215, 1.0)};
  EXPECT_EQ(evaluate(use(spec), 0, 0, 0), "Coefficient count does not fit the powers.");
  // A polynomial with a power of -1 is empty and needs no coefficients.
  spec = affineSection(1, 0, 0, 1, 0, 0);
  spec.rowNumerator = Poly{3, -1, 2, {}};
  EXPECT_EQ(evaluate(use(spec), 2, 0, 0), "");
  EXPECT_EQ(row_, 0.0);
}

TEST_F(Evaluation, NullErrorSlotStillEvaluatesAndKeepsNoReport) {
  const RSMFunctions* s = use(affineSection(1, 2, 3, 4, 5, 6));
  smod_RationalPolynomialsToFileXY(s, 1.0, 1.0, 0.0, &sample_, &row_, nullptr);
  EXPECT_EQ(sample_, 6.0);
  EXPECT_EQ(row_, 15.0);
  smod_RationalPolynomialsToFileXY(nullptr, 1.0, 1.0, 0.0, &sample_, &row_, nullptr);
}

}  // namespace
