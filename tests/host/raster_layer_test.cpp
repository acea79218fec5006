// Raster layers, their statistics and pixels, and map-to-layer transforms with height terms.
#include <cmath>
#include <cstdint>
#include <string>

#include <gdal.h>
#include <gtest/gtest.h>

#include "hostcore.h"
#include "hostphotogui.h"
#include "support/dem_builder.h"
#include "support/heap_check.h"

namespace {

using senmod_test::Dem;
using senmod_test::DemPixel;
using senmod_test::InclinedPlaneDem;

InclinedPlaneDem SmallPlane() {
  InclinedPlaneDem desc;
  desc.crs = "EPSG:4326";
  desc.west = -71.2;
  desc.north = 42.5;
  desc.cellX = desc.cellY = 0.02;
  desc.columns = 12;
  desc.rows = 9;
  desc.h0 = 500.0;
  desc.gx = 20.0;
  desc.gy = -10.0;
  desc.holeColumn = 2;
  desc.holeRow = 1;
  desc.holeColumns = 2;
  desc.holeRows = 2;
  return desc;
}

class RasterLayerTest : public HeapCheckedTest {
 protected:
  void TearDown() override {
    himg_LayerClose(&layer_, nullptr);
    herr_DeleteErrorReportEx(&err_);
    HeapCheckedTest::TearDown();
  }

  // Opens the first layer of dem the way the DEM-layer build does.
  void OpenFirstLayer(const Dem& dem) {
    HstrStringList* names = himg_LayerGetNames(dem.path().c_str(), hint_GetInit(), &err_);
    ASSERT_NE(names, nullptr) << herr_ErrorReportMessage(err_);
    ASSERT_EQ(names->count, 1);
    EXPECT_EQ(std::string(names->items[0]), dem.path() + "(:Layer_1)");
    layer_ = himg_LayerOpen(names->items[0], hint_GetInit(), &err_, 4097, 1, 0);
    hstr_StringListDelete(&names, nullptr);
    ASSERT_NE(layer_, nullptr) << herr_ErrorReportMessage(err_);
  }

  double Pixel(int column, int row) {
    HimgPixelRect* rect = himg_PixelRectCreate(1, 1, HGDA_PIXEL_FLOAT64, nullptr);
    EXPECT_EQ(himg_LayerRasterPixelRectGet(layer_, column, row, 1, 1,
                                           himg_LayerPixelType(layer_), rect, &err_),
              0);
    const double value = rect->values[0];
    himg_PixelRectDelete(&rect, nullptr);
    return value;
  }

  HimgLayer* layer_ = nullptr;
  ErrorReport* err_ = nullptr;
};

TEST_F(RasterLayerTest, PixelsNullValueAndStatistics) {
  Dem dem(SmallPlane());
  OpenFirstLayer(dem);
  EXPECT_EQ(himg_LayerPixelType(layer_), GDT_Float32);
  const double null = hmsc_AddressOf_hpxm_Convert()[himg_LayerPixelType(layer_)](
      himg_LayerRawNullValue(layer_));
  EXPECT_EQ(null, -9999.0);
  EXPECT_DOUBLE_EQ(Pixel(7, 5), dem.CellMeters(7, 5));
  EXPECT_EQ(Pixel(2, 1), -9999.0);
  EXPECT_DOUBLE_EQ(Pixel(11, 8), dem.CellMeters(11, 8));

  HstaStatistics* statistics = himg_StatisticsRead(layer_, 0, &err_);
  ASSERT_NE(statistics, nullptr);
  EXPECT_EQ(statistics->validCount, 12 * 9 - 4);
  EXPECT_NEAR(statistics->mean, dem.ValidMean(), 1e-9);
  EXPECT_DOUBLE_EQ(statistics->minimum, dem.CellMeters(0, 0));
  EXPECT_DOUBLE_EQ(statistics->maximum, dem.CellMeters(11, 8));
  EXPECT_GT(statistics->stdDev, 0.0);
  hsta_StatisticsDelete(&statistics, nullptr);
  EXPECT_EQ(statistics, nullptr);

  // A new null value takes the old one's place in the statistics (the maximum is unique).
  HgdaBaseData* value = hgda_BaseDataCreate(1, 1, HGDA_PIXEL_FLOAT64, 3, 0, nullptr);
  value->data[0] = dem.CellMeters(11, 8);
  ASSERT_EQ(himg_LayerRasterNullValueSet(layer_, value, &err_), 0);
  hgda_BaseDataDelete(value, nullptr);
  EXPECT_FLOAT_EQ(static_cast<float>(hmsc_AddressOf_hpxm_Convert()[GDT_Float32](
                      himg_LayerRawNullValue(layer_))),
                  static_cast<float>(dem.CellMeters(11, 8)));
  statistics = himg_StatisticsRead(layer_, 0, &err_);
  ASSERT_NE(statistics, nullptr);
  EXPECT_EQ(statistics->validCount, 12 * 9 - 1);
  hsta_StatisticsDelete(&statistics, nullptr);
}

TEST_F(RasterLayerTest, ReadsOutsideTheLayerAreReported) {
  Dem dem(SmallPlane());
  OpenFirstLayer(dem);
  HimgPixelRect* rect = himg_PixelRectCreate(2, 1, HGDA_PIXEL_FLOAT64, nullptr);
  ASSERT_NE(rect, nullptr);
  rect->values[0] = 42.0;
  const int32_t type = himg_LayerPixelType(layer_);
  EXPECT_EQ(himg_LayerRasterPixelRectGet(layer_, 12, 0, 1, 1, type, rect, nullptr), -1);
  EXPECT_EQ(himg_LayerRasterPixelRectGet(layer_, -1, 0, 1, 1, type, rect, nullptr), -1);
  EXPECT_EQ(himg_LayerRasterPixelRectGet(layer_, 11, 0, 2, 1, type, rect, nullptr), -1);
  EXPECT_EQ(himg_LayerRasterPixelRectGet(layer_, 0, 0, 3, 1, type, rect, nullptr), -1);  // too big
  EXPECT_EQ(himg_LayerRasterPixelRectGet(layer_, 0, 9, 1, 1, type, rect, &err_), -1);
  EXPECT_NE(err_, nullptr);
  EXPECT_EQ(rect->values[0], 42.0);
  ASSERT_EQ(himg_LayerRasterPixelRectGet(layer_, 10, 8, 2, 1, type, rect, nullptr), 0);
  EXPECT_DOUBLE_EQ(rect->values[1], dem.CellMeters(11, 8));
  himg_PixelRectDelete(&rect, nullptr);
}

TEST_F(RasterLayerTest, BadNamesAndOptionsAreReported) {
  Dem dem(SmallPlane());
  const std::string path = dem.path();
  for (const std::string& name : {path + "(:Layer_2)", path + "(:Layer_0)", path + "(:Layer_x)",
                                  std::string("/nonexistent.tif(:Layer_1)")}) {
    EXPECT_EQ(himg_LayerOpen(name.c_str(), hint_GetInit(), &err_, 4097, 1, 0), nullptr) << name;
    EXPECT_NE(err_, nullptr);
    herr_DeleteErrorReportEx(&err_);
  }
  EXPECT_EQ(himg_LayerOpen(path.c_str(), hint_GetInit(), &err_, 77, 1, 0), nullptr);
  herr_DeleteErrorReportEx(&err_);
  EXPECT_EQ(himg_LayerGetNames("/nonexistent.tif", hint_GetInit(), &err_), nullptr);
  EXPECT_NE(err_, nullptr);
  herr_DeleteErrorReportEx(&err_);
  EXPECT_EQ(hprj_ElevationInfoRead("/nonexistent.tif", "Layer_1", &err_), nullptr);
  EXPECT_NE(err_, nullptr);
  herr_DeleteErrorReportEx(&err_);
  EXPECT_EQ(hprj_ElevationInfoRead(path.c_str(), "Layer_x", &err_), nullptr);
  EXPECT_NE(err_, nullptr);
}

TEST_F(RasterLayerTest, ElevationInfoUnits) {
  InclinedPlaneDem desc = SmallPlane();
  desc.feet = true;
  Dem feet(desc);
  desc.feet = false;
  Dem meters(desc);
  Hprj_ElevationInfo* info = hprj_ElevationInfoRead(feet.path().c_str(), "Layer_1", &err_);
  ASSERT_NE(info, nullptr) << herr_ErrorReportMessage(err_);
  EXPECT_STREQ(info->units, "feet");
  EXPECT_STREQ(info->elevationType, "height");
  hprj_ElevationInfoFree(&info);
  info = hprj_ElevationInfoRead(meters.path().c_str(), "Layer_1", &err_);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->units, "meters");
  hprj_ElevationInfoFree(&info);
}

TEST_F(RasterLayerTest, MapToLayerTransformAndHeightTerms) {
  InclinedPlaneDem desc = SmallPlane();
  desc.feet = true;
  Dem dem(desc);
  OpenFirstLayer(dem);
  Hprj_ElevationInfo demInfo = {"Undefined", "Undefined", "meters", "height"};
  Hprj_ElevationInfo output = {"Undefined", "Undefined", "meters", "height"};
  int32_t count = 0;
  double* terms = nullptr;
  HxfrXForm* xform = hpho_DeriveMapToLayerXformEx(layer_, &demInfo, nullptr, "radians", &output,
                                                  0.0, &count, &terms, &err_);
  ASSERT_NE(xform, nullptr) << herr_ErrorReportMessage(err_);
  // Cell centres land on whole pixel coordinates, in radians as the library passes them.
  const double deg = M_PI / 180.0;
  double in[4] = {dem.CentreX(3) * deg, dem.CentreY(5) * deg, dem.CentreX(0) * deg,
                  (dem.CentreY(8) - 0.005) * deg};
  double out[4];
  ASSERT_EQ(hxfr_Transform(xform, 2, in, out, &err_), 0);
  EXPECT_NEAR(out[0], 3.0, 1e-9);
  EXPECT_NEAR(out[1], 5.0, 1e-9);
  EXPECT_NEAR(out[2], 0.0, 1e-9);
  EXPECT_NEAR(out[3], 8.25, 1e-9);
  // The raster says feet, whatever the caller believed.
  const double pixel = 1000.0;
  EXPECT_NEAR(hpho_CalcZ(out[0], out[1], pixel, count, terms), 304.8, 1e-9);
  hmsc_HeapFree(terms);
  hxfr_XFormFree(&xform, nullptr);
  EXPECT_EQ(xform, nullptr);

  // Output heights in feet from a raster in feet need no scaling.
  std::snprintf(output.units, sizeof output.units, "feet");
  xform = hpho_DeriveMapToLayerXformEx(layer_, &demInfo, nullptr, "degrees", &output, 0.0,
                                       &count, &terms, &err_);
  ASSERT_NE(xform, nullptr);
  EXPECT_NEAR(hpho_CalcZ(0, 0, pixel, count, terms), pixel, 1e-9);
  hmsc_HeapFree(terms);
  hxfr_XFormFree(&xform, nullptr);

  EXPECT_EQ(hpho_DeriveMapToLayerXformEx(layer_, &demInfo, nullptr, "leagues", &output, 0.0,
                                         &count, &terms, &err_),
            nullptr);
  EXPECT_NE(err_, nullptr);
}

TEST_F(RasterLayerTest, MapToLayerFromAProjectedMap) {
  Dem dem(SmallPlane());
  OpenFirstLayer(dem);
  Hprj_Projection* utm = hprj_ProjectionFromDefinition("EPSG:32619", &err_);
  ASSERT_NE(utm, nullptr) << herr_ErrorReportMessage(err_);
  int32_t count = 0;
  double* terms = nullptr;
  HxfrXForm* xform = hpho_DeriveMapToLayerXformEx(layer_, nullptr, utm, "meters", nullptr, 0.0,
                                                  &count, &terms, &err_);
  ASSERT_NE(xform, nullptr) << herr_ErrorReportMessage(err_);
  double x = 0, y = 0;
  ASSERT_EQ(hprj_ProjectionFromGeographic(utm, dem.CentreX(4), dem.CentreY(6), &x, &y, &err_),
            0);
  double in[2] = {x, y};
  ASSERT_EQ(hxfr_Transform(xform, 1, in, in, &err_), 0);  // in place
  EXPECT_NEAR(in[0], 4.0, 1e-6);
  EXPECT_NEAR(in[1], 6.0, 1e-6);
  EXPECT_NEAR(hpho_CalcZ(0, 0, 12.5, count, terms), 12.5, 1e-12);
  hmsc_HeapFree(terms);
  hxfr_XFormFree(&xform, nullptr);

  // A raster without a unit type is in the units its elevation info names.
  Hprj_ElevationInfo demInfo = {"Undefined", "Undefined", "feet", "height"};
  xform = hpho_DeriveMapToLayerXformEx(layer_, &demInfo, utm, "meters", nullptr, 0.0, &count,
                                       &terms, &err_);
  ASSERT_NE(xform, nullptr);
  EXPECT_NEAR(hpho_CalcZ(0, 0, 100.0, count, terms), 30.48, 1e-12);
  hmsc_HeapFree(terms);
  hxfr_XFormFree(&xform, nullptr);
  hprj_ProjectionFree(&utm);
}

}  // namespace

namespace {

// Every step of the DEM-layer set-up, with the heap running out at each allocation in turn.
TEST(RasterHeap, ExhaustionAtAnyStepLosesNothing) {
  Dem dem(SmallPlane());
  const long start = hmsc_HeapLiveBlocks();
  bool completed = false;
  for (long n = 0; n < 40 && !completed; ++n) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    HstrStringList* names = himg_LayerGetNames(dem.path().c_str(), hint_GetInit(), &err);
    HimgLayer* layer =
        names ? himg_LayerOpen(names->items[0], hint_GetInit(), &err, 4097, 1, 0) : nullptr;
    HstaStatistics* statistics = layer ? himg_StatisticsRead(layer, 0, &err) : nullptr;
    HimgPixelRect* rect = layer ? himg_PixelRectCreate(1, 1, HGDA_PIXEL_FLOAT64, &err) : nullptr;
    int32_t count = 0;
    double* terms = nullptr;
    HxfrXForm* xform = rect ? hpho_DeriveMapToLayerXformEx(layer, nullptr, nullptr, "degrees",
                                                           nullptr, 0.0, &count, &terms, &err)
                            : nullptr;
    Hprj_ElevationInfo* info =
        xform ? hprj_ElevationInfoRead(dem.path().c_str(), "Layer_1", &err) : nullptr;
    hmsc_HeapFailAfter(-1);
    completed = info != nullptr && statistics != nullptr;
    EXPECT_TRUE(completed || err != nullptr) << n;
    hprj_ElevationInfoFree(&info);
    hmsc_HeapFree(terms);
    hxfr_XFormFree(&xform, nullptr);
    himg_PixelRectDelete(&rect, nullptr);
    hsta_StatisticsDelete(&statistics, nullptr);
    himg_LayerClose(&layer, nullptr);
    hstr_StringListDelete(&names, nullptr);
    herr_DeleteErrorReportEx(&err);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), start) << n;
  }
  EXPECT_TRUE(completed);
}

}  // namespace
