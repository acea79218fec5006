// A whole model in its own direction: section choice, conversion and height refinement.
#include <cmath>
#include <limits>

#include "poly/ground_domain.h"
#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::FlatGroundCamera;
using model_builder::heapDoubles;
using model_builder::makeModel;
using model_builder::SectionPolynomials;

namespace {

constexpr double kRho = 57.29577951308232;

class ModelTransform : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RSMDelete(model_);
    HeapCheckedTest::TearDown();
  }
  // Returns the message of the report, "" on success.
  std::string transform(double x, double y, double z) {
    ErrorReport* err = nullptr;
    smod_RSMTransform(model_, x, y, z, &outX_, &outY_, &err);
    std::string message = messageOf(err);
    herr_DeleteErrorReportEx(&err);
    return message;
  }
  // A 3 x 2 grid of 100 x 200 cells from image (1000, 500) whose section k maps ground
  // (x, y) in radians to sample x and row y + 1e4 k, so that the output names the section.
  void useTaggedGrid() {
    std::vector<SectionPolynomials> descs;
    for (int k = 0; k < 6; ++k) descs.push_back(affineSection(0, 1, 0, 1e4 * k, 0, 1));
    model_ = makeModel(descs, 3, 2, 100.0, 200.0, 1000.0, 500.0);
  }
  // The section that the tagged grid used for map point (sample, row) in degrees.
  int taggedSection(double sample, double row) {
    EXPECT_EQ(transform(sample * kRho, row * kRho, 0.0), "");
    return static_cast<int>(std::lround((outY_ - row) / 1e4));
  }
  RSM_Model* model_ = nullptr;
  double outX_ = 0.0;
  double outY_ = 0.0;
};

TEST_F(ModelTransform, GridCellIsChosenFromTheFirstSectionsImagePosition) {
  useTaggedGrid();
  EXPECT_EQ(taggedSection(1000.0, 500.0), 0);
  EXPECT_EQ(taggedSection(1250.0, 550.0), 1);
  EXPECT_EQ(taggedSection(1100.0, 650.0), 2);
  EXPECT_EQ(taggedSection(1399.0, 799.0), 5);
  // Before the domain, a fraction of a cell before it, and beyond the last cell.
  EXPECT_EQ(taggedSection(0.0, 0.0), 0);
  EXPECT_EQ(taggedSection(950.0, 450.0), 0);
  EXPECT_EQ(taggedSection(5000.0, 5000.0), 5);
  EXPECT_EQ(taggedSection(5000.0, 0.0), 1);
  // A size of 0, a NaN quotient or one beyond 32 bits gives index 0 in that direction.
  model_->rsm.rowsPerSection = 0.0;
  EXPECT_EQ(taggedSection(1250.0, 750.0), 1);
  model_->rsm.rowsPerSection = 100.0;
  for (double size : {std::numeric_limits<double>::quiet_NaN(), 1e-300}) {
    model_->rsm.colsPerSection = size;
    EXPECT_EQ(taggedSection(1250.0, 750.0), 4);
  }
}

TEST_F(ModelTransform, ImageToGroundChoosesFromTheImagePoint) {
  useTaggedGrid();
  model_->rsm.groundToImageTransform = SMOD_FALSE;
  ASSERT_EQ(transform(1250.0, 1e4 * 3 + 650.0, 0.0), "");
  // The row 30650 lies beyond the grid: last row, column 1, section 5.
  EXPECT_NEAR(outY_, (30650.0 - 5e4) * kRho, 1e-9);
  ASSERT_EQ(transform(1250.0, 650.0, 0.0), "");
  EXPECT_NEAR(outY_, (650.0 - 3e4) * kRho, 1e-9);
  EXPECT_NEAR(outX_, 1250.0 * kRho, 1e-9);
}

TEST_F(ModelTransform, LowOrderPolynomialOfExactlyTwentyValuesChoosesTheSection) {
  useTaggedGrid();
  // sample 1250 and row 650 everywhere: section 3.
  std::vector<double> low(20, 0.0);
  low[0] = 1250.0;
  low[10] = 650.0;
  model_->rsm.groundToImagePoly = heapDoubles(low);
  EXPECT_EQ(taggedSection(1000.0, 500.0), 3);
  for (size_t count : {10u, 21u}) {
    hmsc_HeapFree(model_->rsm.groundToImagePoly.data);
    low.resize(count, 0.0);
    model_->rsm.groundToImagePoly = heapDoubles(low);
    EXPECT_EQ(taggedSection(1000.0, 500.0), 0) << count;
  }
}

TEST_F(ModelTransform, OneSectionModelNeedsNoGrid) {
  model_ = makeModel({affineSection(1, 1, 0, 2, 0, 1)});
  model_->rsm.rowSections = -3;
  model_->rsm.colsPerSection = std::numeric_limits<double>::quiet_NaN();
  model_->rsm.groundToImagePoly = heapDoubles(std::vector<double>(20, 1e9));
  ASSERT_EQ(transform(kRho, 2 * kRho, 0.0), "");
  EXPECT_DOUBLE_EQ(outX_, 2.0);
  EXPECT_DOUBLE_EQ(outY_, 4.0);
}

TEST_F(ModelTransform, GridThatDoesNotFitItsSectionsIsRefused) {
  useTaggedGrid();
  for (auto [rows, cols] : {std::pair{3, 3}, {0, 2}, {3, -1}, {65536, 65536}}) {
    model_->rsm.rowSections = rows;
    model_->rsm.colSections = cols;
    EXPECT_EQ(transform(0, 0, 0), "Section grid does not fit the section list") << rows;
  }
  model_->rsm.rowSections = 3;
  model_->rsm.colSections = 2;
  model_->rsm.imageDomain.count = 2;
  EXPECT_EQ(transform(0, 0, 0), "Image domain not available");
}

TEST_F(ModelTransform, MissingModelOrSectionsIsNotAvailable) {
  EXPECT_EQ(transform(0, 0, 0), "Replacement sensor model not available");
  ErrorReport* err = nullptr;
  model_ = smod_RSMCreate(&err);
  EXPECT_EQ(transform(0, 0, 0), "Replacement sensor model not available");
}

TEST_F(ModelTransform, StepFailureIsWrappedWithItsReport) {
  SectionPolynomials bad = affineSection(1, 1, 0, 1, 0, 1);
  bad.sampleDenominator = model_builder::constant(0.0);
  model_ = makeModel({bad});
  ErrorReport* err = nullptr;
  smod_RSMTransform(model_, 1, 1, 0, &outX_, &outY_, &err);
  EXPECT_EQ(messageOf(err), "RationalPolynomial coordinate conversion failed");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMTransform");
  EXPECT_EQ(messageOf(herr_ErrorReportPrevious(err)), "Invalid denominator.");
  herr_DeleteErrorReportEx(&err);
  model_->rsm.groundToImageTransform = SMOD_FALSE;
  smod_RSMTransform(model_, 1, 1, 0, &outX_, &outY_, &err);
  EXPECT_EQ(messageOf(herr_ErrorReportPrevious(err)), "Invalid denominator.");
  herr_DeleteErrorReportEx(&err);
  // Without an error slot the failure is kept nowhere.
  smod_RSMTransform(model_, 1, 1, 0, &outX_, &outY_, nullptr);
}

// Camera models fitted with cubic sections: ground to image matches the camera, and image to
// ground comes back to the map point.
class CameraModel : public ModelTransform {
 protected:
  // The fitted sections match the camera within imageTolerance pixels; the way back meets the
  // map point within mapTolerance.
  void roundTrip(const FlatGroundCamera& camera, double imageTolerance, double mapTolerance) {
    model_ = model_builder::makeCameraModel(camera);
    for (double u : {0.05, 0.5, 0.93})
      for (double v : {0.1, 0.6, 0.97})
        for (double height : {camera.minHeight, 123.0, camera.maxHeight}) {
          // A ground point inside the footprint: from the ground-domain corners.
          const double* c = model_->rsm.groundDomain.data;
          const double gx = c[0] + u * (c[3] - c[0]) + v * (c[9] - c[0]);
          const double gy = c[1] + u * (c[4] - c[1]) + v * (c[10] - c[1]);
          double mapX, mapY, mapZ, sample, row;
          model_builder::groundToMap(model_, gx, gy, height, &mapX, &mapY, &mapZ);
          model_->rsm.groundToImageTransform = SMOD_TRUE;
          ASSERT_EQ(transform(mapX, mapY, mapZ), "");
          model_builder::cameraImage(camera, gx, gy, height, &sample, &row);
          EXPECT_NEAR(outX_, sample, imageTolerance);
          EXPECT_NEAR(outY_, row, imageTolerance);
          model_->rsm.groundToImageTransform = SMOD_FALSE;
          ASSERT_EQ(transform(outX_, outY_, mapZ), "");
          EXPECT_NEAR(outX_, mapX, mapTolerance);
          EXPECT_NEAR(outY_, mapY, mapTolerance);
        }
  }
};

TEST_F(CameraModel, GeodeticFrameCameraWithGridOfSections) {
  FlatGroundCamera camera;
  camera.rowSections = 3;
  camera.colSections = 2;
  roundTrip(camera, 0.01, 1e-9);
}

TEST_F(CameraModel, GeodeticPushbroomWithLowOrderChoice) {
  FlatGroundCamera camera;
  camera.kind = FlatGroundCamera::Kind::Pushbroom;
  camera.rowSections = 2;
  camera.colSections = 2;
  camera.lowOrderPoly = true;
  roundTrip(camera, 0.01, 1e-9);
}

TEST_F(CameraModel, RectangularDomainRefinesTheHeight) {
  // 5 km from the frame's origin the map height and the ground-domain height differ by 2 m of
  // the Earth's curvature; without refinement the result would be about a metre off, and
  // converting the refined estimate back at the map height instead of its own ground-domain
  // height would leave it 2 mm (2e-8 degrees) off.
  FlatGroundCamera camera;
  camera.domain = FlatGroundCamera::Domain::Rectangular;
  camera.pixelSize = 8.0;
  roundTrip(camera, 0.05, 1e-10);
}

TEST_F(CameraModel, RectangularDomainWithoutParametersIsNotRefined) {
  FlatGroundCamera camera;
  camera.domain = FlatGroundCamera::Domain::Rectangular;
  camera.withProjection = false;
  model_ = model_builder::makeCameraModel(camera);
  model_->rsm.groundToImageTransform = SMOD_FALSE;
  ASSERT_EQ(transform(100.0, 200.0, 50.0), "");
  // One inversion at the requested height, then the frame to Earth-centred coordinates.
  double x, y, X, Y, Z;
  smod_RationalPolynomialsToMapXY(model_->rsm.RationalPolyList.data, 100.0, 200.0, 50.0, &x, &y,
                                  nullptr);
  smod_RSMConvertGRNDD(model_, 0, x, y, 50.0, &X, &Y, &Z, nullptr);
  EXPECT_EQ(outX_, X);
  EXPECT_EQ(outY_, Y);
}

}  // namespace
