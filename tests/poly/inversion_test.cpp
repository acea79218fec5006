// Image to ground with one section by the Newton iteration.
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
  double x = -123.0;    // outputs start here so that untouched ones show
  double y = -456.0;
};

Result invert(const RSMFunctions* s, double sample, double row, double z) {
  Result r;
  ErrorReport* err = nullptr;
  smod_RationalPolynomialsToMapXY(s, sample, row, z, &r.x, &r.y, &err);
  r.message = messageOf(err);
  if (err) {
    EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RationalPolynomialsToMapXY");
  }
  herr_DeleteErrorReportEx(&err);
  return r;
}

Result invert(const SectionPolynomials& desc, double sample, double row, double z) {
  RSMFunctions* s = model_builder::makeSections({desc});
  Result r = invert(s, sample, row, z);
  smod_RationalPolynomialsFree(s, 1, nullptr);
  return r;
}

// sample = x, row = y.
SectionPolynomials identity() {
  SectionPolynomials desc;
  desc.sampleNumerator = Poly{1, 0, 0, {0.0, 1.0}};
  desc.rowNumerator = Poly{0, 1, 0, {0.0, 1.0}};
  return desc;
}

using Inversion = HeapCheckedTest;

TEST_F(Inversion, IdentitySectionIsSolvedExactlyAtAnyHeight) {
  for (double z : {0.0, 1e4}) {
    const Result r = invert(identity(), 5.0, 7.0, z);
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(r.x, 5.0);
    EXPECT_EQ(r.y, 7.0);
  }
}

TEST_F(Inversion, StartsFromTheStartingPolynomial) {
  // sample = 10 + 2x + 3y, row = -x + 4y, started from its exact inverse.
  SectionPolynomials desc = affineSection(10, 2, 3, 0, -1, 4);
  desc.imageToGroundPoly = {1.0, -40.0 / 11, 4.0 / 11, -3.0 / 11, -10.0 / 11, 1.0 / 11, 2.0 / 11};
  Result r = invert(desc, 50.0, 20.0, 0.0);
  EXPECT_NEAR(2 * r.x + 3 * r.y + 10, 50.0, 1e-9);
  EXPECT_NEAR(-r.x + 4 * r.y, 20.0, 1e-9);
  // Order 0: a constant start.
  desc = identity();
  desc.imageToGroundPoly = {0.0, 3.0, 4.0};
  r = invert(desc, 3, 4, 0);
  EXPECT_EQ(r.x, 3.0);
  EXPECT_EQ(r.y, 4.0);
}

TEST_F(Inversion, NonLinearSectionsConvergeOrStopAfterFivePasses) {
  // sample = x + 0.1 x^2 y, row = y + 0.05 x y^2 converges from the origin.
  SectionPolynomials desc;
  desc.sampleNumerator = Poly{2, 1, 0, {0, 1, 0, 0, 0, 0.1}};
  desc.rowNumerator = Poly{1, 2, 0, {0, 0, 1, 0, 0, 0.05}};
  Result r = invert(desc, 3.0 + 0.1 * 9 * 2, 2.0 + 0.05 * 3 * 4, 0.0);
  EXPECT_NEAR(r.x, 3.0, 1e-6);
  EXPECT_NEAR(r.y, 2.0, 1e-6);
  // sample = x + x^3 = 1e9 started at 0 is far from done after five passes: no error.
  desc.sampleNumerator = Poly{3, 0, 0, {0, 1, 0, 1}};
  desc.rowNumerator = Poly{0, 1, 0, {0, 1}};
  r = invert(desc, 1e9, 1.0, 0.0);
  EXPECT_EQ(r.message, "");
  EXPECT_GT(std::fabs(r.x * r.x * r.x + r.x - 1e9), 1.0);
  EXPECT_EQ(r.y, 1.0);
}

TEST_F(Inversion, SharedDenominatorTakesRowDerivativesFromTheRowDenominator) {
  // sample = x / (1 + 0.1 x), row = y / (1 + 0.1 x) with an empty row denominator: its value is
  // the sample denominator's, its derivatives 0; Newton still meets the point.
  SectionPolynomials desc = identity();
  desc.sampleDenominator = Poly{1, 0, 0, {1, 0.1}};
  desc.rowDenominator = Poly{};
  desc.sameDenominators = true;
  const Result r = invert(desc, 0.4 / 1.04, 0.3 / 1.04, 0.0);
  EXPECT_NEAR(r.x, 0.4, 1e-7);
  EXPECT_NEAR(r.y, 0.3, 1e-6);
  // When the inversion would read the row denominator for its derivatives, it must fit.
  desc.rowDenominator = Poly{1, 0, 0, {1.0}};
  EXPECT_EQ(invert(desc, 0, 0, 0).message, "Coefficient count does not fit the powers.");
}

TEST_F(Inversion, NormalisationAppliesOnlyWhenOn) {
  SectionPolynomials desc = identity();
  desc.scales = {2, 4, 1, 10, 20};
  desc.offsets = {100, 200, 0, 1000, 2000};
  Result r = invert(desc, 1010.0, 2040.0, 0.0);
  EXPECT_EQ(r.x, 1010.0);
  EXPECT_EQ(r.y, 2040.0);
  // Normalised sample 1 and row 2 give normalised x 1 and y 2.
  desc.useNormalization = true;
  r = invert(desc, 1010.0, 2040.0, 0.0);
  EXPECT_NEAR(r.x, 102.0, 1e-12);
  EXPECT_NEAR(r.y, 208.0, 1e-12);
}

TEST_F(Inversion, FailuresLeaveTheOutputsUntouched) {
  RSMFunctions* fresh = smod_RationalPolynomialsCreate(1, nullptr);
  Result r = invert(fresh, 1, 1, 0);
  smod_RationalPolynomialsFree(fresh, 1, nullptr);
  EXPECT_EQ(r.message, "Rational polynomials not available.");
  EXPECT_EQ(r.x, -123.0);
  EXPECT_EQ(invert(nullptr, 1, 1, 0).message, "Rational polynomials not available.");
  // The denominator x is zero at the starting point x = 0.
  SectionPolynomials desc = identity();
  desc.sampleDenominator = Poly{1, 0, 0, {0.0, 1.0}};
  r = invert(desc, 1, 1, 0);
  EXPECT_EQ(r.message, "Invalid denominator.");
  EXPECT_EQ(r.y, -456.0);
}

TEST_F(Inversion, StartingPolynomialMustFitItsOrder) {
  SectionPolynomials desc = identity();
  for (std::vector<double> start : {std::vector<double>{1.0, 0, 1, 0, 0, 0},
                                    {1.5, 0, 1, 0, 0, 0, 1},
                                    {-1.0, 0, 0},
                                    {11.0, 0, 0},
                                    {NAN, 0, 0},
                                    {2.0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0}}) {
    desc.imageToGroundPoly = start;
    EXPECT_EQ(invert(desc, 1, 1, 0).message, "Starting polynomial does not fit its order.");
  }
}

}  // namespace
