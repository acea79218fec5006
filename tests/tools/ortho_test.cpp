// senmod ortho and senmod footprint measured by geometry: images whose pixels encode their own
// coordinates are warped, and the coordinates read back from the output are compared with
// gdalwarp's and with the library's own ground-to-image.
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "model_loader.h"
#include "support/dem_builder.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

// An RPC of a near-vertical view of 300 x 200 pixels around longitude 9.5, latitude 46, with
// height parallax and some curvature.
std::vector<std::string> rampRpc() {
  return {"LINE_OFF=100", "SAMP_OFF=150", "LAT_OFF=46.0", "LONG_OFF=9.5", "HEIGHT_OFF=500",
          "LINE_SCALE=100", "SAMP_SCALE=150", "LAT_SCALE=0.007", "LONG_SCALE=0.01",
          "HEIGHT_SCALE=300",
          "LINE_NUM_COEFF=0.001 -0.03 -1.0 0.04 0.003 0 0 0 0.002 0 0 0 0 0 0 0 0 0 0 0",
          "LINE_DEN_COEFF=1 0.001 0.002 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
          "SAMP_NUM_COEFF=-0.002 1.0 0.05 0.08 0 0 0 0.002 0 0 0 0 0 0 0 0 0 0 0 0",
          "SAMP_DEN_COEFF=1 -0.001 0.001 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"};
}

struct Raster {
  int columns = 0, rows = 0;
  double geo[6] = {};
  std::string wkt;
  std::vector<std::vector<double>> bands;
  double at(int band, int column, int row) const {
    return bands[band][static_cast<size_t>(row) * columns + column];
  }
};

Raster readRaster(const std::string& path) {
  Raster r;
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  if (!ds) return r;
  r.columns = GDALGetRasterXSize(ds);
  r.rows = GDALGetRasterYSize(ds);
  GDALGetGeoTransform(ds, r.geo);
  r.wkt = GDALGetProjectionRef(ds);
  for (int b = 1; b <= GDALGetRasterCount(ds); ++b) {
    std::vector<double> values(static_cast<size_t>(r.columns) * r.rows);
    if (GDALRasterIO(GDALGetRasterBand(ds, b), GF_Read, 0, 0, r.columns, r.rows, values.data(),
                     r.columns, r.rows, GDT_Float64, 0, 0) != CE_None) {
      values.clear();
    }
    r.bands.push_back(std::move(values));
  }
  GDALClose(ds);
  return r;
}

// Writes a raster whose band 1 holds the GDAL pixel coordinate of each pixel centre and band 2
// its line coordinate, with the given RPC items.
void writeRamp(const std::string& path, int columns, int rows, GDALDataType type,
               const std::vector<std::string>& rpc) {
  GDALAllRegister();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), columns, rows, 2,
                               type, nullptr);
  ASSERT_NE(ds, nullptr);
  std::vector<double> x(static_cast<size_t>(columns) * rows), y(x.size());
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      x[static_cast<size_t>(r) * columns + c] = c + 0.5;
      y[static_cast<size_t>(r) * columns + c] = r + 0.5;
    }
  }
  ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, columns, rows, x.data(),
                         columns, rows, GDT_Float64, 0, 0), CE_None);
  ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 2), GF_Write, 0, 0, columns, rows, y.data(),
                         columns, rows, GDT_Float64, 0, 0), CE_None);
  if (!rpc.empty()) {
    char** items = nullptr;
    for (const std::string& item : rpc) items = CSLAddString(items, item.c_str());
    GDALSetMetadata(ds, items, "RPC");
    CSLDestroy(items);
  }
  GDALClose(ds);
}

bool valid(double v) { return std::isfinite(v) && v != -9999.0; }

// Carries n points between two coordinate systems given as user text.
void transformPoints(const std::string& from, const std::string& to, size_t n, double* x,
                     double* y) {
  OGRSpatialReference a, b;
  a.SetFromUserInput(from.c_str());
  b.SetFromUserInput(to.c_str());
  a.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  b.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> ct(OGRCreateCoordinateTransformation(&a, &b));
  ASSERT_NE(ct, nullptr);
  ASSERT_TRUE(ct->Transform(static_cast<int>(n), x, y));
}

class Ortho : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    image_ = path("ramp.tif");
    writeRamp(image_, 300, 200, GDT_Float64, rampRpc());
    senmod_test::InclinedPlaneDem plane;
    plane.west = 9.47;
    plane.north = 46.02;
    plane.cellX = plane.cellY = 0.0005;
    plane.columns = 120;
    plane.rows = 80;
    plane.gx = 5000.0;
    plane.gy = -4000.0;
    plane.h0 = 500.0 - 5000.0 * 9.5 + 4000.0 * 46.0;
    plane.pixel = senmod_test::DemPixel::Float64;
    dem_ = std::make_unique<senmod_test::Dem>(plane);
    // A 3 m grid in UTM 32 north over the image and some way beyond. Its cells are smaller
    // than the image's pixels (5 m by 8 m): on a coarser grid the warper widens its kernels,
    // and the output is then no longer the ramp's value at the point.
    double x = 9.5, y = 46.0;
    transformPoints("EPSG:4326", "EPSG:32632", 1, &x, &y);
    x = std::round(x / 10.0) * 10.0;
    y = std::round(y / 10.0) * 10.0;
    te_ = {std::to_string(x - 900.0), std::to_string(y - 810.0), std::to_string(x + 900.0),
           std::to_string(y + 810.0)};
  }

  std::vector<std::string> grid() const {
    return {"--t_srs", "EPSG:32632", "--te", te_[0], te_[1], te_[2], te_[3], "--tr", "3", "3"};
  }

  std::vector<std::string> orthoArgs(const std::string& out) const {
    std::vector<std::string> args = {"ortho", image_, "-o", out, "--dem", dem_->path(), "-r",
                                     "bilinear", "--quiet"};
    const std::vector<std::string> g = grid();
    args.insert(args.end(), g.begin(), g.end());
    return args;
  }

  std::string image_;
  std::unique_ptr<senmod_test::Dem> dem_;
  std::vector<std::string> te_;
};

TEST_F(Ortho, DecodedSourcePixelsAgreeWithGdalwarpOnTheSameGrid) {
  if (std::system("gdalwarp --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gdalwarp";
  const CommandRun ours = senmod(orthoArgs(path("ours.tif")));
  ASSERT_EQ(ours.status, 0) << ours.err;
  std::string command = "gdalwarp -q -rpc -to RPC_DEM=" + dem_->path() +
                        " -et 0 -r bilinear -dstnodata -9999";
  for (const std::string& a : grid()) command += " " + (a.rfind("--", 0) == 0 ? a.substr(1) : a);
  command += " " + image_ + " " + path("theirs.tif");
  ASSERT_EQ(std::system(command.c_str()), 0);

  const Raster a = readRaster(path("ours.tif"));
  const Raster b = readRaster(path("theirs.tif"));
  ASSERT_EQ(a.columns, b.columns);
  ASSERT_EQ(a.rows, b.rows);
  ASSERT_EQ(a.bands.size(), 2u);
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(a.geo[i], b.geo[i]);
  long compared = 0, onlyOne = 0;
  double worst = 0.0;
  for (int r = 0; r < a.rows; ++r) {
    for (int c = 0; c < a.columns; ++c) {
      const double ax = a.at(0, c, r), ay = a.at(1, c, r);
      const double bx = b.at(0, c, r), by = b.at(1, c, r);
      if (valid(ax) != valid(bx)) ++onlyOne;
      // Bilinear weights at the image's border rows and columns are cut off: not a ramp there.
      if (!valid(ax) || !valid(bx) || ax < 1.0 || ay < 1.0 || ax > 299.0 || ay > 199.0) continue;
      worst = std::max({worst, std::fabs(ax - bx), std::fabs(ay - by)});
      ++compared;
    }
  }
  EXPECT_LT(worst, 0.01);
  EXPECT_GT(compared, a.columns * a.rows / 4);
  // Only cells along the image's edge may differ in whether they have data.
  EXPECT_LT(onlyOne, 2 * (a.columns + a.rows));
}

}  // namespace
