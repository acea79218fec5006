// Heights from a DEM file: read at the right place through each re-referencing, ground to
// image at each point's terrain height, image to ground onto the terrain by the height iteration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// Terrain height (m) at a geographic point as the build reads it: the plane itself where heights
// are interpolated, the plane at the nearest cell centre in the DEM-layer build.
using Terrain = std::function<double(double lon, double lat)>;

#ifdef SENMOD_DEMLAYER
// Cell centre nearest to a coordinate of the DEM's CRS, along one axis whose first cell starts
// at origin and steps by step (negative for rows).
double nearestCentre(double c, double origin, double step) {
  const double index = std::floor((c - origin) / step);
  return origin + (index + 0.5) * step;
}
#endif

double terrainAt(const Dem& dem, double x, double y) {
#ifdef SENMOD_DEMLAYER
  const InclinedPlaneDem& s = dem.desc();
  return dem.Height(nearestCentre(x, s.west, s.cellX), nearestCentre(y, s.north, -s.cellY));
#else
  return dem.Height(x, y);
#endif
}

class XformDem : public HeapCheckedTest {
 protected:
  void TearDown() override {
    smod_RSMXformDelete(xform_);
    dem_.reset();
    HeapCheckedTest::TearDown();
  }

  enum class Output { Geographic, Utm, None };

  // A transform object of the linear model (mean height zMean) with heights from desc's DEM and
  // the given output coordinate system.
  RSM_Model* wrapWithDem(const InclinedPlaneDem& desc, Output output = Output::Geographic,
                         double zMean = 0.0) {
    dem_ = std::make_unique<Dem>(desc);
    RSM_Model* model = xform_test::makeLinearModel(zMean);
    if (output == Output::Geographic) xform_test::setGeographicOutput(model);
    if (output == Output::Utm) xform_test::setUtmOutput(model);
    xform_test::useDemFile(model, dem_->path());
    ErrorReport* err = nullptr;
    xform_ = smod_RSMXformGetFromRSMData(model, &err);
    smod_RSMXformFillNoMIFData(xform_, &err);
    EXPECT_EQ(xform_->filled, 1);
    return model;
  }

  // Ground to image of the points (lon, lat pairs) through the object and, point by point,
  // through the model at the terrain height: equal within a millimetre of height (the sample
  // grows by one per meter).
  void expectGroundToImageAtTerrain(const std::vector<double>& points, const Terrain& terrain) {
    const size_t n = points.size() / 2;
    std::vector<double> image(points.size());
    ErrorReport* err = nullptr;
    smod_RSMXformTransform(xform_, static_cast<int32_t>(n), const_cast<double*>(points.data()),
                           image.data(), &err);
    ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
    for (size_t j = 0; j < n; ++j) {
      double sample, row;
      smod_RSMTransform(xform_->model, points[2 * j], points[2 * j + 1],
                        terrain(points[2 * j], points[2 * j + 1]), &sample, &row, &err);
      EXPECT_NEAR(image[2 * j], sample, 1e-3) << "point " << j;
      EXPECT_NEAR(image[2 * j + 1], row, 1e-3) << "point " << j;
    }
  }

  std::unique_ptr<Dem> dem_;
  RSM_Xform* xform_ = nullptr;
};

const std::vector<double> kInsidePoints = {kLon0,          kLat0,          kLon0 + 0.0123,
                                           kLat0 - 0.0071, kLon0 - 0.0305, kLat0 + 0.0222};

TEST_F(XformDem, GeographicDemIsReadAtTheLongitudeAndLatitudeInDegreesInMetersOrFeet) {
  for (const bool feet : {false, true}) {
    InclinedPlaneDem desc = xform_test::geographicPlaneDem(4000.0, -2500.0);
    desc.feet = feet;
    smod_RSMXformDelete(xform_);
    wrapWithDem(desc);
    expectGroundToImageAtTerrain(kInsidePoints,
                                 [&](double lon, double lat) { return terrainAt(*dem_, lon, lat); });
  }
}

// UTM zone 32 north on WGS 84, for points given in degrees.
class Utm32 {
 public:
  Utm32() : projection_(hprj_ProjectionFromDefinition("EPSG:32632", nullptr)) {}
  ~Utm32() { hprj_ProjectionFree(&projection_); }
  Utm32(const Utm32&) = delete;
  Utm32& operator=(const Utm32&) = delete;
  void project(double lon, double lat, double* east, double* north) const {
    ErrorReport* err = nullptr;
    hprj_ProjectionFromGeographic(projection_, lon, lat, east, north, &err);
    EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
    herr_DeleteErrorReportEx(&err);
  }

 private:
  Hprj_Projection* projection_;
};

// A UTM zone 32 DEM of 100 m cells around the models' centre, its plane rising to the north-east.
InclinedPlaneDem utmPlaneDem(const Utm32& utm) {
  double east, north;
  utm.project(kLon0, kLat0, &east, &north);
  InclinedPlaneDem desc;
  desc.crs = "EPSG:32632";
  desc.west = std::floor(east / 100.0) * 100.0 - 5000.0;
  desc.north = std::floor(north / 100.0) * 100.0 + 5000.0;
  desc.cellX = 100.0;
  desc.cellY = 100.0;
  desc.columns = 100;
  desc.rows = 100;
  desc.gx = 0.01;
  desc.gy = -0.02;
  desc.h0 = xform_test::kCentreHeight - desc.gx * east - desc.gy * north;
  desc.pixel = senmod_test::DemPixel::Float64;
  return desc;
}

TEST_F(XformDem, UtmDemIsReadAtTheProjectedPlaceOfEachPoint) {
  const Utm32 utm;
  wrapWithDem(utmPlaneDem(utm));
  expectGroundToImageAtTerrain(kInsidePoints, [&](double lon, double lat) {
    double x, y;
    utm.project(lon, lat, &x, &y);
    return terrainAt(*dem_, x, y);
  });
}

// The output coordinate system describes the host's map, not the degrees that the transform
// reads the DEM at: a UTM one, or none, must give the heights that a geographic one gives.
TEST_F(XformDem, HeightsAreTheSameWithAGeographicAUtmOrNoOutputSystem) {
  const Utm32 utm;
  for (const bool utmDem : {false, true}) {
    for (const Output output : {Output::Geographic, Output::Utm, Output::None}) {
      SCOPED_TRACE(testing::Message() << "UTM DEM " << utmDem << ", output "
                                      << static_cast<int>(output));
      smod_RSMXformDelete(xform_);
      const InclinedPlaneDem plane =
          utmDem ? utmPlaneDem(utm) : xform_test::geographicPlaneDem(4000.0, -2500.0);
      wrapWithDem(plane, output);
      expectGroundToImageAtTerrain(kInsidePoints, [&](double lon, double lat) {
        double x = lon, y = lat;
        if (utmDem) utm.project(lon, lat, &x, &y);
        return terrainAt(*dem_, x, y);
      });
    }
  }
}

TEST_F(XformDem, NoDataHoleGivesTheMeanHeightAndTheSetUpTakesThatMean) {
  InclinedPlaneDem desc = xform_test::geographicPlaneDem(2000.0, 2000.0);
  desc.holeColumn = 40;
  desc.holeRow = 40;
  desc.holeColumns = 20;
  desc.holeRows = 20;
  RSM_Model* model = wrapWithDem(desc);
  EXPECT_NEAR(model->rsm.z_mean, dem_->ValidMean(), 1e-3);
  // The model's centre lies in the middle of the hole.
  const std::vector<double> points = {kLon0, kLat0, kLon0 + 0.03, kLat0 + 0.03};
  expectGroundToImageAtTerrain(points, [&](double lon, double lat) {
    return std::fabs(lon - kLon0) < 0.005 ? dem_->ValidMean() : terrainAt(*dem_, lon, lat);
  });
}

TEST_F(XformDem, DemWithoutAValidCellGivesEveryPointTheModelsMeanHeight) {
  InclinedPlaneDem desc = xform_test::geographicPlaneDem(2000.0, 2000.0);
  desc.holeColumns = desc.columns;
  desc.holeRows = desc.rows;
  ReportCapture capture;
  RSM_Model* model = wrapWithDem(desc, Output::Geographic, 250.0);
  EXPECT_EQ(model->rsm.z_mean, 250.0);
  // Inside the DEM and off it.
  const std::vector<double> points = {kLon0, kLat0, kLon0 + 0.03, kLat0 - 0.01, kLon0 + 1.0,
                                      kLat0};
  expectGroundToImageAtTerrain(points, [](double, double) { return 250.0; });
  model->rsm.groundToImageTransform = SMOD_FALSE;
  double image[2] = {620.0, 410.0};
  double lon, lat;
  ErrorReport* err = nullptr;
  smod_RSMTransform(model, image[0], image[1], 250.0, &lon, &lat, &err);
  smod_RSMXformTransform(xform_, 1, image, nullptr, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_NEAR(image[0], lon, 1e-12);
  EXPECT_NEAR(image[1], lat, 1e-12);
#ifndef SENMOD_DEMLAYER
  ASSERT_EQ(capture.count(), 1u);
  const CapturedPrint print = capture.prints()[0];
  EXPECT_EQ(print.flag, 1);
  EXPECT_EQ(print.chain[0].severity, 1);
  EXPECT_NE(print.chain[0].message.find("has no valid height"), std::string::npos);
  EXPECT_NE(print.chain[0].message.find("Constant elevation of 250.000 meters"),
            std::string::npos);
#endif
}

// The height iteration as defined: from the mean height, at most ten passes of reading the
// terrain under the ground point and carrying the image point down again at that height, until
// the height changes by no more than a meter.
void iterate(const RSM_Model* model, const Terrain& terrain, double sample, double row, double* lon,
             double* lat) {
  RSM_Model copy = *model;
  copy.rsm.groundToImageTransform = SMOD_FALSE;
  double h = model->rsm.z_mean;
  ErrorReport* err = nullptr;
  smod_RSMTransform(&copy, sample, row, h, lon, lat, &err);
  for (int pass = 0; pass < 10; ++pass) {
    const double z = terrain(*lon, *lat);
    smod_RSMTransform(&copy, sample, row, z, lon, lat, &err);
    const double change = std::fabs(z - h);
    h = z;
    if (change <= 1.0) break;
  }
}

TEST_F(XformDem, ImageToGroundLandsOnASlopedDem) {
  RSM_Model* model = wrapWithDem(xform_test::geographicPlaneDem(20000.0, 5000.0));
  model->rsm.groundToImageTransform = SMOD_FALSE;
  const std::vector<double> image = {500.0, 500.0, 700.0, 350.0, 260.0, 610.0};
  std::vector<double> ground(image.size());
  ErrorReport* err = nullptr;
  smod_RSMXformTransform(xform_, 3, const_cast<double*>(image.data()), ground.data(), &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  const Terrain terrain = [&](double lon, double lat) { return terrainAt(*dem_, lon, lat); };
  for (size_t j = 0; j < 3; ++j) {
    double lon, lat;
    iterate(model, terrain, image[2 * j], image[2 * j + 1], &lon, &lat);
    EXPECT_NEAR(ground[2 * j], lon, 1e-9) << j;
    EXPECT_NEAR(ground[2 * j + 1], lat, 1e-9) << j;
#ifndef SENMOD_DEMLAYER
    // Converged: the ground point projects back to its image point at the terrain height there.
    double sample, row;
    model->rsm.groundToImageTransform = SMOD_TRUE;
    smod_RSMTransform(model, ground[2 * j], ground[2 * j + 1], terrain(lon, lat), &sample, &row,
                      &err);
    model->rsm.groundToImageTransform = SMOD_FALSE;
    EXPECT_NEAR(sample, image[2 * j], 1.0) << j;
#endif
  }
}

TEST_F(XformDem, PointsCallKeepsGoingPastAFailedPointAndHandsUpTerrainHeights) {
  RSM_Model* model = wrapWithDem(xform_test::geographicPlaneDem(20000.0, 5000.0));
  model->rsm.groundToImageTransform = SMOD_FALSE;
  const double nan = std::nan("");
  const std::vector<double> sample = {500.0, nan, 700.0, 260.0};
  const std::vector<double> row = {500.0, 500.0, 350.0, 610.0};
  std::vector<double> lon(4), lat(4), height(4), residual(4);
  uint8_t ok[4];
  ErrorReport* err = nullptr;
  EXPECT_EQ(smod_RSMXformTransformPoints(xform_, 4, sample.data(), row.data(), nullptr,
                                         lon.data(), lat.data(), height.data(), residual.data(),
                                         ok, &err),
            3);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(ok[1], 0);
  EXPECT_TRUE(std::isnan(lon[1]) && std::isnan(lat[1]) && std::isnan(height[1]));
  const Terrain terrain = [&](double x, double y) { return terrainAt(*dem_, x, y); };
  for (const size_t j : {0, 2, 3}) {
    ASSERT_EQ(ok[j], 1) << j;
    // The height handed up is the terrain's where the iteration settled (within its 1 m), and
    // the point is exactly what the model gives at that height.
    EXPECT_NEAR(height[j], terrain(lon[j], lat[j]), 1.0) << j;
    const double in[3] = {sample[j], row[j], height[j]};
    double out[2];
    smod_RSMXformTransform3DTo2D(xform_, 1, in, out, &err);
    EXPECT_EQ(out[0], lon[j]) << j;
    EXPECT_EQ(out[1], lat[j]) << j;
    EXPECT_LT(residual[j], 1e-6) << j;
  }
  // Ground to image with given heights: no residual, the heights handed back as given.
  model->rsm.groundToImageTransform = SMOD_TRUE;
  const std::vector<double> h = {10.0, 20.0, 30.0, 40.0};
  std::vector<double> s(4), r(4);
  EXPECT_EQ(smod_RSMXformTransformPoints(xform_, 4, lon.data(), lat.data(), h.data(), s.data(),
                                         r.data(), height.data(), residual.data(), ok, &err),
            3);
  EXPECT_EQ(height[0], 10.0);
  EXPECT_TRUE(std::isnan(residual[0]));
  EXPECT_EQ(smod_RSMXformTransformPoints(nullptr, 1, lon.data(), lat.data(), nullptr, s.data(),
                                         r.data(), nullptr, nullptr, ok, &err),
            -1);
  EXPECT_NE(err, nullptr);
  herr_DeleteErrorReportEx(&err);
}

TEST_F(XformDem, ImageToGroundStopsAfterTenPassesOnTerrainThatNeverSettles) {
  // Each meter of height moves the ground point kLonPerMeter west, where this terrain is 1.5 m
  // lower: every pass changes the height by 1.5 times the change before.
  const double gx = 1.5 / xform_test::kLonPerMeter;
  RSM_Model* model = wrapWithDem(xform_test::geographicPlaneDem(gx, 0.0));
  model->rsm.groundToImageTransform = SMOD_FALSE;
  // Its settled height would be 298 m, 2 m below the mean height the iteration starts from.
  double point[2] = {500.0 + 445.0 / 1.5, 500.0};
  const double sample = point[0], row = point[1];
  ErrorReport* err = nullptr;
  smod_RSMXformTransform(xform_, 1, point, nullptr, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  const Terrain terrain = [&](double lon, double lat) { return terrainAt(*dem_, lon, lat); };
  double lon, lat;
  iterate(model, terrain, sample, row, &lon, &lat);
  EXPECT_NEAR(point[0], lon, 1e-9);
  EXPECT_NEAR(point[1], lat, 1e-9);
#ifndef SENMOD_DEMLAYER
  // Not settled: the result is where the tenth pass left it, off the terrain by many meters.
  double s, r;
  model->rsm.groundToImageTransform = SMOD_TRUE;
  smod_RSMTransform(model, point[0], point[1], terrain(point[0], point[1]), &s, &r, &err);
  EXPECT_GT(std::fabs(s - sample), 10.0);
#endif
}

TEST_F(XformDem, ExhaustedHeapStopsABatchCleanlyInBothDirections) {
  RSM_Model* model = wrapWithDem(xform_test::geographicPlaneDem(4000.0, 0.0));
  for (const int32_t direction : {SMOD_TRUE, SMOD_FALSE}) {
    model->rsm.groundToImageTransform = direction;
    bool succeeded = false;
    for (long allowed = 0; !succeeded && allowed < 50; ++allowed) {
      const long live = hmsc_HeapLiveBlocks();
      double points[4] = {kLon0, kLat0, kLon0 + 0.001, kLat0};
      if (direction == SMOD_FALSE) {
        points[0] = points[2] = points[1] = points[3] = 500.0;
      }
      const double before = points[0];
      ErrorReport* err = nullptr;
      hmsc_HeapFailAfter(allowed);
      smod_RSMXformTransform(xform_, 2, points, nullptr, &err);
      hmsc_HeapFailAfter(-1);
      succeeded = err == nullptr;
      if (!succeeded) {
        EXPECT_EQ(points[0], before) << allowed;
      }
      herr_DeleteErrorReportEx(&err);
      EXPECT_EQ(hmsc_HeapLiveBlocks(), live) << allowed;
    }
    EXPECT_TRUE(succeeded);
  }
}

#ifndef SENMOD_DEMLAYER
TEST_F(XformDem, UnreadableDemFileWarnsOnceAndLeavesTheConstantHeight) {
  char path[] = "/tmp/xform_dem_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "not a raster", 12), 12);
  close(fd);
  RSM_Model* model = xform_test::makeLinearModel(12.0);
  xform_test::useDemFile(model, path);
  ErrorReport* err = nullptr;
  xform_ = smod_RSMXformGetFromRSMData(model, &err);
  ReportCapture capture;
  double points[4] = {kLon0, kLat0, kLon0 + 0.01, kLat0};
  double image[4];
  smod_RSMXformTransform(xform_, 2, points, image, &err);
  smod_RSMXformTransform(xform_, 2, points, image, &err);
  EXPECT_EQ(err, nullptr);
  unlink(path);

  ASSERT_EQ(capture.count(), 1u);
  const CapturedPrint print = capture.prints()[0];
  EXPECT_EQ(print.flag, 1);
  ASSERT_GE(print.chain.size(), 2u) << "the host's reason is kept";
  EXPECT_EQ(print.chain[0].severity, 1);
  EXPECT_EQ(print.chain[0].function, "smod_RSMXformFillNoMIFData");
  EXPECT_NE(print.chain[0].message.find(path), std::string::npos);
  EXPECT_NE(print.chain[0].message.find("Constant elevation of 12.000 meters"), std::string::npos);
  EXPECT_EQ(xform_->elevationSource, nullptr);
  EXPECT_EQ(model->rsm.demsource, HMOD_DEM_FILE);
  for (int j = 0; j < 2; ++j) {
    double sample, row;
    smod_RSMTransform(model, points[2 * j], points[2 * j + 1], 12.0, &sample, &row, &err);
    EXPECT_EQ(image[2 * j], sample);
    EXPECT_EQ(image[2 * j + 1], row);
  }
}
#endif

}  // namespace
