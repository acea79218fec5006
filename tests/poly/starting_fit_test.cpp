// The starting polynomial of the inversion, fitted from the ground-domain corners.
#include <cmath>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::heapDoubles;
using model_builder::makeModel;
using model_builder::SectionPolynomials;

namespace {

class StartingFit : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RSMDelete(model_);
    HeapCheckedTest::TearDown();
  }
  std::string fit() {
    ErrorReport* err = nullptr;
    smod_image2groundCalc(model_, &err);
    std::string message = messageOf(err);
    if (err) {
      EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_image2groundCalc");
    }
    herr_DeleteErrorReportEx(&err);
    return message;
  }
  void setCorners(const std::vector<double>& corners) {
    hmsc_HeapFree(model_->rsm.groundDomain.data);
    model_->rsm.groundDomain = heapDoubles(corners);
  }
  std::vector<double> start(int section) const {
    const Smod_Doubles& poly = model_->rsm.RationalPolyList.data[section].imageToGroundPoly;
    return std::vector<double>(poly.data, poly.data + poly.count);
  }
  RSM_Model* model_ = nullptr;
};

// Eight corners of a box in ground x, y (two heights).
std::vector<double> boxCorners(double x0, double x1, double y0, double y1) {
  std::vector<double> c;
  for (double z : {0.0, 100.0})
    for (double x : {x0, x1})
      for (double y : {y0, y1}) c.insert(c.end(), {x, y, z});
  return c;
}

TEST_F(StartingFit, AffineSectionGetsItsExactInverseInEverySection) {
  // sample = 10 + 2x, row = 20 + 4y: x = -5 + 0.5 sample, y = -5 + 0.25 row.
  model_ = makeModel({affineSection(10, 2, 0, 20, 0, 4), affineSection(0, 1, 0, 0, 0, 1)}, 1, 2,
                     100.0, 100.0);
  setCorners(boxCorners(-3, 7, 1, 9));
  ASSERT_EQ(fit(), "");
  const std::vector<double> expected{1.0, -5.0, 0.5, 0.0, -5.0, 0.0, 0.25};
  for (int s = 0; s < 2; ++s) {
    const std::vector<double> got = start(s);
    ASSERT_EQ(got.size(), 7u);
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(got[k], expected[k], 1e-12) << s << " " << k;
  }
  // The inversion then starts on the solution.
  double x, y;
  smod_RationalPolynomialsToMapXY(model_->rsm.RationalPolyList.data, 30.0, 40.0, 0.0, &x, &y,
                                  nullptr);
  EXPECT_NEAR(x, 10.0, 1e-12);
  EXPECT_NEAR(y, 5.0, 1e-12);
}

TEST_F(StartingFit, SecondFitReplacesOnlyTheStartingPolynomialAndIgnoresPartCorners) {
  model_ = makeModel({affineSection(10, 2, 0, 20, 0, 4)});
  std::vector<double> corners = boxCorners(-3, 7, 1, 9);
  setCorners(corners);
  ASSERT_EQ(fit(), "");
  const std::vector<double> eight = start(0);
  // A 25th value would pull the fit far away if it were read as part of a corner.
  corners.push_back(1e9);
  setCorners(corners);
  ASSERT_EQ(fit(), "");
  EXPECT_EQ(start(0), eight);
  // sample = 10 + 3x now; the coefficients stay as the caller set them.
  model_->rsm.RationalPolyList.data[0].sampleNumerator.data[1] = 3.0;
  ASSERT_EQ(fit(), "");
  EXPECT_EQ(model_->rsm.RationalPolyList.data[0].sampleNumerator.data[1], 3.0);
  EXPECT_NEAR(start(0)[2], 1.0 / 3.0, 1e-12);
}

TEST_F(StartingFit, LowOrderPolynomialGivesTheCornersImagePositionsOnlyWithSeveralSections) {
  // The low-order polynomial says sample = 2x, row = 2y; the sections say sample = x, row = y.
  std::vector<double> low(20, 0.0);
  low[1] = 2.0;
  low[12] = 2.0;
  model_ = makeModel({affineSection(0, 1, 0, 0, 0, 1), affineSection(0, 1, 0, 0, 0, 1)}, 1, 2, 10.0,
                     10.0);
  model_->rsm.groundToImagePoly = heapDoubles(low);
  setCorners(boxCorners(0, 4, 0, 4));
  ASSERT_EQ(fit(), "");
  EXPECT_NEAR(start(1)[2], 0.5, 1e-12);
  smod_RSMDelete(model_);
  model_ = makeModel({affineSection(0, 1, 0, 0, 0, 1)});
  model_->rsm.groundToImagePoly = heapDoubles(low);
  setCorners(boxCorners(0, 4, 0, 4));
  ASSERT_EQ(fit(), "");
  EXPECT_NEAR(start(0)[2], 1.0, 1e-12);
}

TEST_F(StartingFit, CornersThatDoNotEvaluateAreLeftOut) {
  // sample = 1 / x: the corners at x = 0 have no image position.
  SectionPolynomials desc = affineSection(0, 0, 0, 0, 0, 1);
  desc.sampleNumerator = model_builder::constant(1.0);
  desc.sampleDenominator = model_builder::Poly{1, 0, 0, {0.0, 1.0}};
  desc.sameDenominators = false;
  model_ = makeModel({desc});
  setCorners({0, 0, 0, 1, 0, 0, 1, 2, 0, 2, 1, 0});
  ASSERT_EQ(fit(), "");
  EXPECT_TRUE(std::isfinite(start(0)[1]));
  setCorners({0, 0, 0, 0, 5, 0});
  EXPECT_EQ(fit(), "No ground-domain corner maps to the image");
}

TEST_F(StartingFit, MissingModelOrCornersChangesNothing) {
  EXPECT_EQ(fit(), "Replacement sensor model not available");
  model_ = makeModel({affineSection(10, 2, 0, 20, 0, 4)});
  model_->rsm.RationalPolyList.data[0].imageToGroundPoly = heapDoubles({0.0, 1.0, 2.0});
  EXPECT_EQ(fit(), "Grounddomain information not available");
  setCorners({1.0, 2.0});
  EXPECT_EQ(fit(), "Grounddomain information not available");
  EXPECT_EQ(start(0), (std::vector<double>{0.0, 1.0, 2.0}));
  smod_image2groundCalc(model_, nullptr);
}

TEST_F(StartingFit, ExhaustedHeapChangesNoSection) {
  model_ = makeModel({affineSection(10, 2, 0, 20, 0, 4), affineSection(0, 1, 0, 0, 0, 1)}, 1, 2,
                     100.0, 100.0);
  setCorners(boxCorners(-3, 7, 1, 9));
  model_->rsm.RationalPolyList.data[1].imageToGroundPoly = heapDoubles({0.0, 1.0, 2.0});
  const long live = hmsc_HeapLiveBlocks();
  bool succeeded = false;
  for (long n = 0; !succeeded && n < 20; ++n) {
    hmsc_HeapFailAfter(n);
    ErrorReport* err = nullptr;
    smod_image2groundCalc(model_, &err);
    hmsc_HeapFailAfter(-1);
    succeeded = err == nullptr;
    if (!succeeded) {
      EXPECT_EQ(start(0), std::vector<double>{});
      EXPECT_EQ(start(1), (std::vector<double>{0.0, 1.0, 2.0}));
      herr_DeleteErrorReportEx(&err);
      EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << n;
    }
  }
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(start(1).size(), 7u);
}

}  // namespace
