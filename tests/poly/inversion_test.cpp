// Image to ground with one section by the Newton iteration.
#include <cmath>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::constant;
using model_builder::makeSections;
using model_builder::Poly;
using model_builder::SectionSpec;

namespace {

class Inversion : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RationalPolynomialsFree(section_, 1, nullptr);
    HeapCheckedTest::TearDown();
  }
  RSMFunctions* use(const SectionSpec& spec) {
    smod_RationalPolynomialsFree(section_, 1, nullptr);
    section_ = makeSections({spec});
    return section_;
  }
  std::string invert(const RSMFunctions* s, double sample, double row, double z) {
    ErrorReport* err = nullptr;
    smod_RationalPolynomialsToMapXY(s, sample, row, z, &x_, &y_, &err);
    std::string message = messageOf(err);
    if (err) {
      EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RationalPolynomialsToMapXY");
    }
    herr_DeleteErrorReportEx(&err);
    return message;
  }
  RSMFunctions* section_ = nullptr;
  double x_ = -123.0;
  double y_ = -456.0;
};

TEST_F(Inversion, IdentitySectionIsSolvedExactly) {
  SectionSpec spec;
  spec.sampleNumerator = Poly{1, 0, 0, {0.0, 1.0}};
  spec.rowNumerator = Poly{0, 1, 0, {0.0, 1.0}};
  const RSMFunctions* s = use(spec);
  for (double z : {0.0, 1e4}) {
    ASSERT_EQ(invert(s, 5.0, 7.0, z), "");
    EXPECT_EQ(x_, 5.0);
    EXPECT_EQ(y_, 7.0);
  }
}

TEST_F(Inversion, ExactStartingPolynomialNeedsNoCorrection) {
  // sample = 2x + 3y + 10, row = -x + 4y; the starting polynomial is its exact inverse.
  SectionSpec spec = affineSection(10, 2, 3, 0, -1, 4);
  spec.imageToGroundPoly = {1.0, -40.0 / 11, 4.0 / 11, -3.0 / 11, -10.0 / 11, 1.0 / 11, 2.0 / 11};
  const RSMFunctions* s = use(spec);
  ASSERT_EQ(invert(s, 50.0, 20.0, 0.0), "");
  EXPECT_NEAR(2 * x_ + 3 * y_ + 10, 50.0, 1e-9);
  EXPECT_NEAR(-x_ + 4 * y_, 20.0, 1e-9);
}

TEST_F(Inversion, NonLinearSectionConvergesFromTheOrigin) {
  // sample = x + 0.1 x^2 y, row = y + 0.05 x y^2 near (3, 2).
  SectionSpec spec;
  spec.sampleNumerator = Poly{2, 1, 0, {0, 1, 0, 0, 0, 0.1}};
  spec.rowNumerator = Poly{1, 2, 0, {0, 0, 1, 0, 0, 0.05}};
  const RSMFunctions* s = use(spec);
  const double x = 3.0, y = 2.0;
  ASSERT_EQ(invert(s, x + 0.1 * x * x * y, y + 0.05 * x * y * y, 0.0), "");
  EXPECT_NEAR(x_, x, 1e-6);
  EXPECT_NEAR(y_, y, 1e-6);
}

TEST_F(Inversion, FarStartEndsAfterFivePassesWithoutError) {
  // A steep cubic started 1000 units away cannot converge in five passes.
  SectionSpec spec;
  spec.sampleNumerator = Poly{3, 0, 0, {0, 1, 0, 1}};
  spec.rowNumerator = Poly{0, 1, 0, {0, 1}};
  const RSMFunctions* s = use(spec);
  ASSERT_EQ(invert(s, 1e9, 1.0, 0.0), "");
  EXPECT_TRUE(std::isfinite(x_));
  EXPECT_GT(std::fabs(x_ * x_ * x_ + x_ - 1e9), 1.0);
  EXPECT_EQ(y_, 1.0);
}

TEST_F(Inversion, SharedDenominatorTakesRowDerivativesFromTheRowDenominator) {
  // sample = x / (1 + 0.1 x), row = y / (1 + 0.1 x) with an empty row denominator: its value is
  // the sample denominator's while its derivatives are 0, so the row equation's Jacobian
  // misses d/dx and Newton converges more slowly but to the same point.
  SectionSpec spec;
  spec.sampleNumerator = Poly{1, 0, 0, {0, 1}};
  spec.sampleDenominator = Poly{1, 0, 0, {1, 0.1}};
  spec.rowNumerator = Poly{0, 1, 0, {0, 1}};
  spec.rowDenominator = Poly{};
  spec.sameDenominators = true;
  const RSMFunctions* s = use(spec);
  const double x = 0.4, y = 0.3;
  ASSERT_EQ(invert(s, x / (1 + 0.1 * x), y / (1 + 0.1 * x), 0.0), "");
  EXPECT_NEAR(x_, x, 1e-7);
  EXPECT_NEAR(y_, y, 1e-6);
}

TEST_F(Inversion, NormalisationAppliesOnlyWhenOn) {
  SectionSpec spec;
  spec.sampleNumerator = Poly{1, 0, 0, {0.0, 1.0}};
  spec.rowNumerator = Poly{0, 1, 0, {0.0, 1.0}};
  spec.scales = {2, 4, 1, 10, 20};
  spec.offsets = {100, 200, 0, 1000, 2000};
  ASSERT_EQ(invert(use(spec), 1010.0, 2040.0, 0.0), "");
  EXPECT_EQ(x_, 1010.0);
  EXPECT_EQ(y_, 2040.0);
  spec.useNormalization = true;
  // Normalised sample 1 and row 2 give normalised x 1 and y 2.
  ASSERT_EQ(invert(use(spec), 1010.0, 2040.0, 0.0), "");
  EXPECT_NEAR(x_, 102.0, 1e-12);
  EXPECT_NEAR(y_, 208.0, 1e-12);
}

TEST_F(Inversion, FailuresLeaveTheOutputsUntouched) {
  ErrorReport* err = nullptr;
  section_ = smod_RationalPolynomialsCreate(1, &err);
  EXPECT_EQ(invert(section_, 1, 1, 0), "Rational polynomials not available.");
  EXPECT_EQ(invert(nullptr, 1, 1, 0), "Rational polynomials not available.");
  SectionSpec spec;
  spec.sampleNumerator = Poly{1, 0, 0, {0.0, 1.0}};
  spec.sampleDenominator = Poly{1, 0, 0, {0.0, 1.0}};
  spec.rowNumerator = constant(1.0);
  // The denominator x is zero at the starting point x = 0.
  EXPECT_EQ(invert(use(spec), 1, 1, 0), "Invalid denominator.");
  EXPECT_EQ(x_, -123.0);
  EXPECT_EQ(y_, -456.0);
}

TEST_F(Inversion, RowDenominatorReadForDerivativesMustHoldItsCoefficients) {
  SectionSpec spec = affineSection(0, 1, 0, 0, 0, 1);
  spec.sameDenominators = true;
  spec.rowDenominator = Poly{1, 0, 0, {1.0}};
  // Its value is not read, but the inversion reads its x coefficient for the derivative.
  EXPECT_EQ(invert(use(spec), 1, 1, 0), "Coefficient count does not fit the powers.");
  spec.rowDenominator = Poly{0, 0, 3, {}};
  EXPECT_EQ(invert(use(spec), 1, 1, 0), "");
}

TEST_F(Inversion, StartingPolynomialMustFitItsOrder) {
  SectionSpec spec = affineSection(0, 1, 0, 0, 0, 1);
  for (std::vector<double> start :
       {std::vector<double>{1.0, 0, 1, 0, 0, 0}, {1.5, 0, 1, 0, 0, 0, 1}, {-1.0, 0, 0},
        {11.0, 0, 0}, {NAN, 0, 0}, {2.0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0}}) {
    spec.imageToGroundPoly = start;
    EXPECT_EQ(invert(use(spec), 1, 1, 0), "Starting polynomial does not fit its order.");
  }
  spec.imageToGroundPoly = {0.0, 3.0, 4.0};
  ASSERT_EQ(invert(use(spec), 3, 4, 0), "");
  EXPECT_EQ(x_, 3.0);
  EXPECT_EQ(y_, 4.0);
}

}  // namespace
