// Ground to image with one section.
#include <cmath>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::constant;
using model_builder::Poly;
using model_builder::SectionPolynomials;

namespace {

struct Result {
  std::string message;  // "" on success
  double sample = 0.0;
  double row = 0.0;
};

Result evaluate(const RSMFunctions* s, double x, double y, double z) {
  Result r;
  ErrorReport* err = nullptr;
  smod_RationalPolynomialsToFileXY(s, x, y, z, &r.sample, &r.row, &err);
  r.message = messageOf(err);
  if (err) {
    EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RationalPolynomialsToFileXY");
    EXPECT_EQ(herr_ErrorReportSeverity(err), 2);
  }
  herr_DeleteErrorReportEx(&err);
  return r;
}

Result evaluate(const SectionPolynomials& desc, double x, double y, double z) {
  RSMFunctions* s = model_builder::makeSections({desc});
  Result r = evaluate(s, x, y, z);
  smod_RationalPolynomialsFree(s, 1, nullptr);
  return r;
}

// sum of c[n] x^i y^j z^k written out term by term.
double direct(const Poly& p, double x, double y, double z) {
  double sum = 0.0;
  int n = 0;
  for (int k = 0; k <= p.pz; ++k)
    for (int j = 0; j <= p.py; ++j)
      for (int i = 0; i <= p.px; ++i)
        sum += p.coef[n++] * std::pow(x, i) * std::pow(y, j) * std::pow(z, k);
  return sum;
}

Poly filled(int px, int py, int pz, double base) {
  Poly p{px, py, pz, {}};
  for (int n = 0; n < (px + 1) * (py + 1) * (pz + 1); ++n)
    p.coef.push_back(base + 0.25 * n - 0.01 * n * n);
  return p;
}

using Evaluation = HeapCheckedTest;

TEST_F(Evaluation, ConstantPolynomialsGiveTheirQuotientAnywhere) {
  SectionPolynomials desc;
  desc.sampleNumerator = constant(2.0);
  desc.sampleDenominator = constant(4.0);
  desc.rowNumerator = constant(3.0);
  desc.rowDenominator = constant(6.0);
  const Result r = evaluate(desc, -1e6, 17.5, 3.0);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.sample, 0.5);
  EXPECT_EQ(r.row, 0.5);
}

TEST_F(Evaluation, NormalisesGroundAndDenormalisesImage) {
  SectionPolynomials desc;
  desc.useNormalization = true;
  desc.scales = {2, 2, 2, 100, 50};
  desc.offsets = {1, 1, 1, 1000, 500};
  desc.sampleNumerator = Poly{1, 0, 0, {0.0, 1.0}};
  desc.rowNumerator = constant(0.0);
  desc.sameDenominators = true;
  desc.rowDenominator = Poly{};
  const Result r = evaluate(desc, 3.0, 0.0, 0.0);
  EXPECT_EQ(r.sample, 1100.0);
  EXPECT_EQ(r.row, 500.0);
}

TEST_F(Evaluation, EveryTermOfMixedPowersCounts) {
  SectionPolynomials desc;
  desc.sampleNumerator = filled(3, 1, 2, 0.5);
  desc.sampleDenominator = filled(1, 2, 0, 3.0);
  desc.rowNumerator = filled(5, 0, 1, -1.0);
  desc.rowDenominator = filled(0, 3, 3, 2.0);
  const double x = 0.3, y = -0.7, z = 0.45;
  const Result r = evaluate(desc, x, y, z);
  EXPECT_NEAR(r.sample,
              direct(desc.sampleNumerator, x, y, z) / direct(desc.sampleDenominator, x, y, z),
              1e-12);
  EXPECT_NEAR(r.row, direct(desc.rowNumerator, x, y, z) / direct(desc.rowDenominator, x, y, z),
              1e-12);
}

TEST_F(Evaluation, SharedDenominatorNeverReadsTheRowDenominator) {
  SectionPolynomials desc = affineSection(1.0, 2.0, 0.0, 5.0, 0.0, 3.0);
  desc.sampleDenominator = constant(2.0);
  desc.sameDenominators = true;
  // Powers that claim coefficients the empty array lacks: not read, so not refused.
  desc.rowDenominator = Poly{2, 2, 2, {}};
  const Result r = evaluate(desc, 1.0, 1.0, 0.0);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.sample, 1.5);
  EXPECT_EQ(r.row, 4.0);
}

TEST_F(Evaluation, OnlyExactZeroDenominatorsAreInvalid) {
  for (double zero : {0.0, -0.0}) {
    SectionPolynomials desc = affineSection(1, 0, 0, 1, 0, 0);
    desc.sampleDenominator = constant(zero);
    EXPECT_EQ(evaluate(desc, 0, 0, 0).message, "Invalid denominator.");
    desc.sampleDenominator = constant(1.0);
    desc.rowDenominator = constant(zero);
    EXPECT_EQ(evaluate(desc, 0, 0, 0).message, "Invalid denominator.");
  }
  SectionPolynomials tiny = affineSection(1, 0, 0, 1, 0, 0);
  tiny.sampleDenominator = constant(1e-300);
  EXPECT_EQ(evaluate(tiny, 0, 0, 0).message, "");
}

TEST_F(Evaluation, SectionWithoutValidSolutionIsNotAvailable) {
  EXPECT_EQ(evaluate(nullptr, 0, 0, 0).message, "Rational polynomials not available.");
  RSMFunctions* s = smod_RationalPolynomialsCreate(1, nullptr);
  EXPECT_EQ(evaluate(s, 0, 0, 0).message, "Rational polynomials not available.");
  // Filled with nothing, the polynomials are empty and evaluate to 0.
  s->validSolution = SMOD_TRUE;
  EXPECT_EQ(evaluate(s, 0, 0, 0).message, "Invalid denominator.");
  // Without an error slot the report is kept nowhere.
  double sample, row;
  smod_RationalPolynomialsToFileXY(s, 0, 0, 0, &sample, &row, nullptr);
  smod_RationalPolynomialsFree(s, 1, nullptr);
}

TEST_F(Evaluation, PowersAndCountsThatDoNotFitAreRefused) {
  const char* power = "Polynomial power out of range.";
  const char* count = "Coefficient count does not fit the powers.";
  struct Case {
    Poly rowDenominator;
    bool shared;
    const char* message;
  };
  for (const Case& c : {Case{Poly{0, 0, 6, std::vector<double>(7, 1.0)}, false, power},
                        Case{Poly{-2, 0, 0, {1.0}}, false, power},
                        Case{Poly{7, 0, 0, {}}, true, power},  // a shared one sizes the table too
                        Case{Poly{5, 5, 5, std::vector<double>(215, 1.0)}, false, count},
                        Case{Poly{1, 0, 0, {1.0}}, false, count},
                        Case{Poly{3, -1, 2, {}}, false, "Invalid denominator."}}) {
    SectionPolynomials desc = affineSection(1, 0, 0, 1, 0, 0);
    desc.rowDenominator = c.rowDenominator;
    desc.sameDenominators = c.shared;
    EXPECT_EQ(evaluate(desc, 0, 0, 0).message, c.message);
  }
}

}  // namespace
