// The DEM-layer build's elevation set-up and its nearest-cell heights.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "hostcore.h"
#include "senmod/senmod.h"
#include "support/dem_builder.h"
#include "support/heap_check.h"
#include "support/report_capture.h"
#include "xform/xform_fixture.h"

namespace {

using senmod_test::Dem;
using senmod_test::InclinedPlaneDem;
using xform_test::kLat0;
using xform_test::kLon0;

class DemLayerSetUp : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RSMXformDelete(xform_);
    dem_.reset();
    HeapCheckedTest::TearDown();
  }

  RSM_Model* wrap(const std::string& demFile, double zMean = 0.0) {
    RSM_Model* model = xform_test::makeLinearModel(zMean);
    xform_test::setGeographicOutput(model);
    if (!demFile.empty()) xform_test::useDemFile(model, demFile);
    ErrorReport* err = nullptr;
    xform_ = smod_RSMXformGetFromRSMData(model, &err);
    return model;
  }

  RSM_Model* wrapWithDem(const InclinedPlaneDem& desc) {
    dem_ = std::make_unique<Dem>(desc);
    RSM_Model* model = wrap(dem_->path());
    smod_RSMXformFillNoMIFData(xform_, nullptr);
    EXPECT_EQ(xform_->filled, 1);
    return model;
  }

  // The height at which the object took map point (lon, lat) to the image: the model's sample
  // grows by one per meter.
  double heightUsedAt(double lon, double lat) {
    double point[2] = {lon, lat};
    ErrorReport* err = nullptr;
    smod_RSMXformTransform(xform_, 1, point, nullptr, &err);
    EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
    double sampleAtZero, row;
    smod_RSMTransform(xform_->model, lon, lat, 0.0, &sampleAtZero, &row, &err);
    return point[0] - sampleAtZero;
  }

  std::unique_ptr<Dem> dem_;
  RSM_Xform* xform_ = nullptr;
};

TEST_F(DemLayerSetUp, ConstantHeightModelIsFilledWithoutOpeningAnyFile) {
  RSM_Model* model = wrap("/nonexistent/dem.tif", 42.0);
  model->rsm.demsource = HMOD_DEM_CONSTANT;
  ReportCapture capture;
  smod_RSMXformFillNoMIFData(xform_, nullptr);
  EXPECT_EQ(xform_->filled, 1);
  EXPECT_NE(xform_->projection, nullptr);
  EXPECT_EQ(xform_->layer, nullptr);
  EXPECT_EQ(xform_->mapToLayer, nullptr);
  EXPECT_EQ(capture.count(), 0u);
  EXPECT_NEAR(heightUsedAt(kLon0, kLat0), 42.0, 1e-6);
}

TEST_F(DemLayerSetUp, HeightsComeFromTheNearestCellAndTheMeanBecomesTheModelHeight) {
  RSM_Model* model = wrapWithDem(xform_test::geographicPlaneDem(5000.0, -3000.0));
  EXPECT_NEAR(model->rsm.z_mean, dem_->ValidMean(), 1e-6);
  // 0.4 of a cell east and 0.3 of a cell south of a cell centre: that cell's height.
  const double lon = dem_->CentreX(61) + 0.0004;
  const double lat = dem_->CentreY(27) - 0.0003;
  EXPECT_NEAR(heightUsedAt(lon, lat), dem_->CellMeters(61, 27), 1e-6);
  // 0.6 of a cell east: the next cell's.
  EXPECT_NEAR(heightUsedAt(dem_->CentreX(61) + 0.0006, dem_->CentreY(27)), dem_->CellMeters(62, 27),
              1e-6);
}

TEST_F(DemLayerSetUp, NullCellAndPointsOffTheLayerTakeTheModelHeight) {
  InclinedPlaneDem desc = xform_test::geographicPlaneDem(5000.0, 0.0);
  desc.pixel = senmod_test::DemPixel::Int16;
  desc.holeColumn = 10;
  desc.holeRow = 10;
  desc.holeColumns = 3;
  desc.holeRows = 3;
  RSM_Model* model = wrapWithDem(desc);
  model->rsm.z_mean = 777.0;
  EXPECT_NEAR(heightUsedAt(dem_->CentreX(11), dem_->CentreY(11)), 777.0, 1e-6);
  EXPECT_NEAR(heightUsedAt(kLon0 + 1.0, kLat0), 777.0, 1e-6);
  EXPECT_NEAR(heightUsedAt(dem_->CentreX(14), dem_->CentreY(11)), dem_->CellMeters(14, 11), 1e-6);
}

TEST_F(DemLayerSetUp, SecondSetUpDoesNothing) {
  RSM_Model* model = wrapWithDem(xform_test::geographicPlaneDem(1000.0, 0.0));
  HimgLayer* layer = xform_->layer;
  HxfrXForm* mapToLayer = xform_->mapToLayer;
  model->rsm.z_mean = 5.0;
  xform_test::useDemFile(model, "/nonexistent/dem.tif");
  ReportCapture capture;
  smod_RSMXformFillNoMIFData(xform_, nullptr);
  EXPECT_EQ(capture.count(), 0u);
  EXPECT_EQ(xform_->layer, layer);
  EXPECT_EQ(xform_->mapToLayer, mapToLayer);
  EXPECT_EQ(model->rsm.z_mean, 5.0);
}

// The report printed by a failed set-up, which leaves the object unfilled.
std::string failedSetUpMessage(RSM_Xform* xform) {
  ReportCapture capture;
  smod_RSMXformFillNoMIFData(xform, nullptr);
  EXPECT_EQ(xform->filled, 0);
  if (capture.count() != 1u) return "";
  const CapturedPrint print = capture.prints()[0];
  EXPECT_EQ(print.chain[0].function, "smod_RSMXformFillNoMIFData");
  EXPECT_EQ(print.chain[0].severity, 2);
  return print.chain[0].message;
}

TEST_F(DemLayerSetUp, MissingUnreadableOrUnnamedDemFileLeavesTheObjectUnfilled) {
  wrap("/nonexistent/dem.tif");
  EXPECT_EQ(failedSetUpMessage(xform_), "Cannot get DEM file.");
  // Every transform tries the set-up again and fails.
  double point[2] = {kLon0, kLat0};
  ErrorReport* err = nullptr;
  {
    ReportCapture quiet;
    smod_RSMXformTransform(xform_, 1, point, nullptr, &err);
  }
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "smod_RSMXformFillNoMIFData failed");
  herr_DeleteErrorReportEx(&err);
  EXPECT_EQ(point[0], kLon0);
  smod_RSMXformDelete(xform_);

  char path[] = "/tmp/demlayer_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "not a raster", 12), 12);
  close(fd);
  wrap(path);
  EXPECT_EQ(failedSetUpMessage(xform_), "Cannot get DEM file.");
  unlink(path);
  smod_RSMXformDelete(xform_);

  RSM_Model* model = wrap("");
  model->rsm.demsource = HMOD_DEM_FILE;
  EXPECT_EQ(failedSetUpMessage(xform_), "DEM file not available.");
}

}  // namespace
