// Transform operations at a constant height: which affine applies when, in-place batches, a
// failing point, 3-D points and rays.
#include <gtest/gtest.h>

#include <vector>

#include "hostcore.h"
#include "senmod/senmod.h"
#include "support/heap_check.h"
#include "xform/xform_fixture.h"

namespace {

using xform_test::applyAffine;
using xform_test::kLat0;
using xform_test::kLon0;

class XformOperations : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RSMXformDelete(xform_);
    HeapCheckedTest::TearDown();
  }

  // Wraps model; the object owns it.
  RSM_Model* wrap(RSM_Model* model) {
    ErrorReport* err = nullptr;
    xform_ = smod_RSMXformGetFromRSMData(model, &err);
    EXPECT_NE(xform_, nullptr);
    return model;
  }

  // The model alone, in its own direction, at height z.
  static void direct(const RSM_Model* model, double x, double y, double z, double* outX,
                     double* outY) {
    ErrorReport* err = nullptr;
    smod_RSMTransform(model, x, y, z, outX, outY, &err);
    ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  }

  RSM_Xform* xform_ = nullptr;
};

TEST_F(XformOperations, BothDirectionsApplyTheirAffinesAroundTheModelAtTheConstantHeight) {
  RSM_Model* model = wrap(xform_test::makeLinearModel(35.0));
  xform_test::setAffines(model);
  const std::vector<double> map = {kLon0, kLat0, kLon0 + 0.004, kLat0 - 0.003};
  std::vector<double> image(4);
  ErrorReport* err = nullptr;
  smod_RSMXformTransform(xform_, 2, const_cast<double*>(map.data()), image.data(), &err);
  ASSERT_EQ(err, nullptr);
  for (int j = 0; j < 2; ++j) {
    double u, v, s, r, x, y;
    applyAffine(model->rsm.forDstAffine, map[2 * j], map[2 * j + 1], &u, &v);
    direct(model, u, v, 35.0, &s, &r);
    applyAffine(model->rsm.invSrcAffine, s, r, &x, &y);
    EXPECT_DOUBLE_EQ(image[2 * j], x);
    EXPECT_DOUBLE_EQ(image[2 * j + 1], y);
  }

  model->rsm.groundToImageTransform = SMOD_FALSE;
  std::vector<double> ground(4);
  smod_RSMXformTransform(xform_, 2, image.data(), ground.data(), &err);
  ASSERT_EQ(err, nullptr);
  for (int j = 0; j < 2; ++j) {
    double u, v, gx, gy, x, y;
    applyAffine(model->rsm.forSrcAffine, image[2 * j], image[2 * j + 1], &u, &v);
    direct(model, u, v, 35.0, &gx, &gy);
    applyAffine(model->rsm.invDstAffine, gx, gy, &x, &y);
    EXPECT_DOUBLE_EQ(ground[2 * j], x);
    EXPECT_DOUBLE_EQ(ground[2 * j + 1], y);
  }
}

TEST_F(XformOperations, NullOutputWritesTheResultsOverTheInput) {
  RSM_Model* model = wrap(xform_test::makeLinearModel(10.0));
  xform_test::setAffines(model);
  const std::vector<double> map = {kLon0 + 0.001, kLat0, kLon0, kLat0 + 0.002, kLon0, kLat0};
  std::vector<double> separate(6);
  std::vector<double> inPlace = map;
  ErrorReport* err = nullptr;
  smod_RSMXformTransform(xform_, 3, const_cast<double*>(map.data()), separate.data(), &err);
  smod_RSMXformTransform(xform_, 3, inPlace.data(), nullptr, &err);
  ASSERT_EQ(err, nullptr);
  EXPECT_EQ(inPlace, separate);
  // The output array may be the input array too.
  inPlace = map;
  smod_RSMXformTransform(xform_, 3, inPlace.data(), inPlace.data(), &err);
  EXPECT_EQ(inPlace, separate);
}

TEST_F(XformOperations, FailingPointStopsTheBatchThere) {
  wrap(xform_test::makeFailingAtZeroLongitudeModel());
  const double untouched = -12345.0;
  std::vector<double> map = {0.5, 1.0, 1.5, 1.0, 0.0, 1.0, 2.0, 1.0};
  std::vector<double> out(8, untouched);
  ErrorReport* err = nullptr;
  smod_RSMXformTransform(xform_, 4, map.data(), out.data(), &err);
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformTransform");
  EXPECT_STREQ(herr_ErrorReportMessage(err), "smod_RSMTransform failed");
  ASSERT_NE(herr_ErrorReportPrevious(err), nullptr);
  EXPECT_STREQ(herr_ErrorReportFunction(herr_ErrorReportPrevious(err)), "smod_RSMTransform");
  herr_DeleteErrorReportEx(&err);
  EXPECT_NE(out[0], untouched);
  EXPECT_NE(out[3], untouched);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(out[i], untouched) << i;

  const std::vector<double> points3d = {0.5, 1.0, 0.0, 0.0, 1.0, 0.0, 2.0, 1.0, 0.0};
  std::vector<double> out3d(6, untouched);
  smod_RSMXformTransform3DTo2D(xform_, 3, points3d.data(), out3d.data(), &err);
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformTransform3DTo2D");
  EXPECT_STREQ(herr_ErrorReportMessage(err), "smod_RSMTransform failed");
  herr_DeleteErrorReportEx(&err);
  EXPECT_NE(out3d[1], untouched);
  for (int i = 2; i < 6; ++i) EXPECT_EQ(out3d[i], untouched) << i;
}

TEST_F(XformOperations, ThreeDimensionalPointsUseTheirOwnHeights) {
  RSM_Model* model = wrap(xform_test::makeLinearModel(0.0));
  const std::vector<double> points = {kLon0, kLat0, 100.0, kLon0 + 0.003, kLat0 + 0.001, -40.0};
  std::vector<double> out(4);
  ErrorReport* err = nullptr;
  smod_RSMXformTransform3DTo2D(xform_, 2, points.data(), out.data(), &err);
  ASSERT_EQ(err, nullptr);
  for (int j = 0; j < 2; ++j) {
    double s, r;
    direct(model, points[3 * j], points[3 * j + 1], points[3 * j + 2], &s, &r);
    EXPECT_EQ(out[2 * j], s);
    EXPECT_EQ(out[2 * j + 1], r);
  }
  // No set-up runs for 3-D points.
  EXPECT_EQ(xform_->filled, 0);
}

TEST_F(XformOperations, RaysGoFromImageToGroundAtFiftyMetersEitherSideOfTheMeanHeight) {
  RSM_Model* model = wrap(xform_test::makeLinearModel(20.0));
  xform_test::setAffines(model);
  const double x[2] = {480.0, 520.0};
  const double y[2] = {510.0, 450.0};
  double rays[12];
  ErrorReport* err = nullptr;
  smod_RSMXformImageToGroundRay(xform_, 2, x, y, rays, &err);
  ASSERT_EQ(err, nullptr);
  EXPECT_EQ(model->rsm.groundToImageTransform, SMOD_TRUE);

  model->rsm.groundToImageTransform = SMOD_FALSE;
  for (int i = 0; i < 2; ++i) {
    const double ends[6] = {x[i], y[i], -30.0, x[i], y[i], 70.0};
    double ground[4];
    smod_RSMXformTransform3DTo2D(xform_, 2, ends, ground, &err);
    ASSERT_EQ(err, nullptr);
    const double expected[6] = {ground[0], ground[1], -30.0, ground[2], ground[3], 70.0};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(rays[6 * i + k], expected[k]) << i << " " << k;
  }
  // The higher end lies west of the lower one, as the model's height term says.
  EXPECT_NEAR(rays[3] - rays[0], -100.0 * xform_test::kLonPerMeter * model->rsm.invDstAffine[0],
              1e-9);
}

TEST_F(XformOperations, FailedRayRestoresTheModelDirection) {
  RSM_Model* model = wrap(xform_test::makeLinearModel());
  model->rsm.RationalPolyList.data[0].validSolution = SMOD_FALSE;
  const double x = 500.0, y = 500.0;
  double ray[6];
  ErrorReport* err = nullptr;
  smod_RSMXformImageToGroundRay(xform_, 1, &x, &y, ray, &err);
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformImageToGroundRay");
  EXPECT_STREQ(herr_ErrorReportMessage(err), "smod_RSMXformTransform3DTo2D failed");
  herr_DeleteErrorReportEx(&err);
  EXPECT_EQ(model->rsm.groundToImageTransform, SMOD_TRUE);
}

TEST_F(XformOperations, MissingObjectOrArraysAreReportedNotRead) {
  ErrorReport* err = nullptr;
  double point[3] = {0, 0, 0};
  smod_RSMXformTransform(nullptr, 1, point, nullptr, &err);
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Invalid input RSM xform data.");
  herr_DeleteErrorReportEx(&err);

  wrap(xform_test::makeLinearModel());
  smod_RSMXformTransform3DTo2D(xform_, 1, point, nullptr, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Invalid input RSM xform data.");
  herr_DeleteErrorReportEx(&err);
  smod_RSMXformImageToGroundRay(xform_, 1, point, nullptr, point, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Invalid input RSM xform data.");
  herr_DeleteErrorReportEx(&err);
  // A null error slot is accepted.
  smod_RSMXformTransform(xform_, 1, nullptr, nullptr, nullptr);
}

}  // namespace
