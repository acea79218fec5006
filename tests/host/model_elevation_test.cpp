// Elevation sources over plane DEMs: re-referencing, interpolation, units and fallbacks.
#include <gdal.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "hwy/targets.h"

#include "hostmodel.h"
#include "support/dem_builder.h"
#include "support/heap_check.h"

namespace {

using senmod_test::Dem;
using senmod_test::DemPixel;
using senmod_test::InclinedPlaneDem;

// A geographic plane DEM: 0.01 degree cells over (10..10.4 E, 45.3..45 N).
InclinedPlaneDem GeographicPlane() {
  InclinedPlaneDem desc;
  desc.crs = "EPSG:4326";
  desc.west = 10.0;
  desc.north = 45.3;
  desc.cellX = desc.cellY = 0.01;
  desc.columns = 40;
  desc.rows = 30;
  desc.h0 = 200.0;
  desc.gx = 150.0;  // m per degree
  desc.gy = -80.0;
  desc.pixel = DemPixel::Float64;
  return desc;
}

// A UTM zone 33N plane DEM of 100 m cells over (480..520 km E, 4960..5020 km N).
InclinedPlaneDem UtmPlane() {
  InclinedPlaneDem desc;
  desc.crs = "EPSG:32633";
  desc.west = 480000.0;
  desc.north = 5020000.0;
  desc.cellX = desc.cellY = 100.0;
  desc.columns = 400;
  desc.rows = 600;
  desc.h0 = -3000.0;
  desc.gx = 0.004;
  desc.gy = 0.0005;
  desc.pixel = DemPixel::Float64;
  return desc;
}

struct SourceDeleter {
  void operator()(HmodElevationSource* s) const { DeleteRereferenceableElevationSource(s); }
};
using Source = std::unique_ptr<HmodElevationSource, SourceDeleter>;

struct ProjectionDeleter {
  void operator()(Hprj_Projection* p) const { hprj_ProjectionFree(&p); }
};
using Projection = std::unique_ptr<Hprj_Projection, ProjectionDeleter>;

class ElevationSourceTest : public HeapCheckedTest {
 protected:
  void TearDown() override {
    herr_DeleteErrorReportEx(&err_);
    HeapCheckedTest::TearDown();
  }

  Source Open(const Dem& dem, const Hprj_Projection* projection, const char* units,
              const Hprj_ElevationInfo* info = nullptr) {
    Source source(CreateRereferenceableElevationSource(dem.path().c_str(), projection, units,
                                                       info, &err_));
    EXPECT_TRUE(source) << herr_ErrorReportMessage(err_);
    return source;
  }

  // Heights of points through one batch read.
  std::vector<double> Read(HmodElevationSource* source, const std::vector<double>& x,
                           const std::vector<double>& y) {
    const int n = static_cast<int>(x.size());
    HgdaBaseData* points = hgda_BaseDataCreate(2, n, HGDA_PIXEL_FLOAT64, 2, 0, nullptr);
    EXPECT_NE(points, nullptr);
    for (int j = 0; j < n; ++j) {
      points->data[j * points->columnStride] = x[j];
      points->data[j * points->columnStride + points->rowOffset] = y[j];
    }
    std::vector<double> heights(n, NAN);
    EXPECT_EQ(ReadElevationValues(source, n, points, heights.data(), n == 1 ? 1 : 0), 0);
    hgda_BaseDataDelete(points, nullptr);
    return heights;
  }

  ErrorReport* err_ = nullptr;
};

TEST_F(ElevationSourceTest, GeographicDemInDegreesAndRadians) {
  Dem dem(GeographicPlane());
  Projection wgs84(hprj_ProjectionFromDefinition("EPSG:4326", &err_));
  ASSERT_TRUE(wgs84);
  Source degrees = Open(dem, wgs84.get(), "degrees");
  Source radians = Open(dem, nullptr, "radians");
  ASSERT_TRUE(degrees && radians);
  const std::vector<double> lon = {10.0123, 10.2, 10.3949, 10.005};
  const std::vector<double> lat = {45.2871, 45.15, 45.0051, 45.295};
  const std::vector<double> fromDegrees = Read(degrees.get(), lon, lat);
  std::vector<double> lonRad, latRad;
  for (size_t i = 0; i < lon.size(); ++i) {
    lonRad.push_back(lon[i] * M_PI / 180.0);
    latRad.push_back(lat[i] * M_PI / 180.0);
  }
  const std::vector<double> fromRadians = Read(radians.get(), lonRad, latRad);
  for (size_t i = 0; i < lon.size(); ++i) {
    EXPECT_NEAR(fromDegrees[i], dem.Height(lon[i], lat[i]), 1e-3) << i;
    EXPECT_NEAR(fromRadians[i], dem.Height(lon[i], lat[i]), 1e-3) << i;
  }
}

TEST_F(ElevationSourceTest, UtmDemUnderGeographicPointsAndTheReverse) {
  Dem utm(UtmPlane());
  OGRSpatialReference wgs84, zone33;
  wgs84.SetFromUserInput("EPSG:4326");
  zone33.SetFromUserInput("EPSG:32633");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  zone33.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> toUtm(
      OGRCreateCoordinateTransformation(&wgs84, &zone33));
  ASSERT_TRUE(toUtm);

  Source source = Open(utm, nullptr, "degrees");
  ASSERT_TRUE(source);
  const std::vector<double> lon = {14.9, 15.0, 15.2};
  const std::vector<double> lat = {44.9, 45.0, 45.1};
  const std::vector<double> heights = Read(source.get(), lon, lat);
  for (size_t i = 0; i < lon.size(); ++i) {
    double x = lon[i], y = lat[i];
    ASSERT_TRUE(toUtm->Transform(1, &x, &y));
    EXPECT_NEAR(heights[i], utm.Height(x, y), 1e-3) << i;
  }

  // The reverse: a geographic DEM read under UTM map points.
  InclinedPlaneDem desc = GeographicPlane();
  desc.west = 14.75;
  desc.north = 45.2;
  desc.columns = 60;
  Dem geographic(desc);
  Projection projection(hprj_ProjectionFromDefinition("EPSG:32633", &err_));
  ASSERT_TRUE(projection) << herr_ErrorReportMessage(err_);
  Source reverse = Open(geographic, projection.get(), "meters");
  ASSERT_TRUE(reverse);
  std::vector<double> xs, ys;
  for (size_t i = 0; i < lon.size(); ++i) {
    double x = lon[i], y = lat[i] + 0.05;
    ASSERT_TRUE(toUtm->Transform(1, &x, &y));
    xs.push_back(x);
    ys.push_back(y);
  }
  const std::vector<double> back = Read(reverse.get(), xs, ys);
  for (size_t i = 0; i < lon.size(); ++i) {
    EXPECT_NEAR(back[i], geographic.Height(lon[i], lat[i] + 0.05), 1e-3) << i;
  }
}

TEST_F(ElevationSourceTest, HolesAndOffDemPointsGetTheValidMean) {
  InclinedPlaneDem desc = GeographicPlane();
  desc.holeColumn = 5;
  desc.holeRow = 5;
  desc.holeColumns = 3;
  desc.holeRows = 2;
  Dem dem(desc);
  Source source = Open(dem, nullptr, "degrees");
  ASSERT_TRUE(source);
  double mean = 0.0;
  ASSERT_EQ(HasMeanZUpdateFromElevationSource(source.get(), &mean), 1);
  EXPECT_NEAR(mean, dem.ValidMean(), 1e-9);
  // The plane's mean over all cells differs, so the hole is really left out.
  EXPECT_GT(std::fabs(mean - dem.Height(10.2, 45.15)), 1e-3);

  const std::vector<double> heights =
      Read(source.get(), {dem.CentreX(6), dem.CentreX(4) + 0.004, 9.0, 10.2, NAN},
           {dem.CentreY(5), dem.CentreY(6), 45.1, 46.0, 45.1});
  EXPECT_DOUBLE_EQ(heights[0], mean);  // inside the hole
  EXPECT_DOUBLE_EQ(heights[1], mean);  // between a valid cell and the hole
  EXPECT_DOUBLE_EQ(heights[2], mean);  // west of the DEM
  EXPECT_DOUBLE_EQ(heights[3], mean);  // north of the DEM
  EXPECT_DOUBLE_EQ(heights[4], mean);  // no point at all
  // Next to the hole but not touching it the plane holds.
  const double x = dem.CentreX(3) + 0.002, y = dem.CentreY(6);
  EXPECT_NEAR(Read(source.get(), {x}, {y})[0], dem.Height(x, y), 1e-3);
}

TEST_F(ElevationSourceTest, DemWithoutValidCellsHasNoMeanAndNoNaN) {
  InclinedPlaneDem desc = GeographicPlane();
  desc.holeColumns = desc.columns;
  desc.holeRows = desc.rows;
  Dem dem(desc);
  Source source = Open(dem, nullptr, "degrees");
  ASSERT_TRUE(source);
  double mean = 123.0;
  EXPECT_EQ(HasMeanZUpdateFromElevationSource(source.get(), &mean), 0);
  EXPECT_EQ(mean, 123.0);
  EXPECT_EQ(Read(source.get(), {10.2}, {45.1})[0], 0.0);
}

TEST_F(ElevationSourceTest, FeetBecomeMeters) {
  InclinedPlaneDem desc = GeographicPlane();
  desc.feet = true;
  Dem dem(desc);
  Source source = Open(dem, nullptr, "degrees");
  ASSERT_TRUE(source);
  const double x = 10.1234, y = 45.2222;
  EXPECT_NEAR(Read(source.get(), {x}, {y})[0], dem.Height(x, y), 1e-3);
  double mean = 0.0;
  ASSERT_EQ(HasMeanZUpdateFromElevationSource(source.get(), &mean), 1);
  EXPECT_NEAR(mean, dem.ValidMean(), 1e-6);

  // A raster without a unit type takes the units of the elevation info.
  desc.feet = false;
  Dem plain(desc);
  Hprj_ElevationInfo info = {"Undefined", "Undefined", "feet", "height"};
  Source inFeet = Open(plain, nullptr, "degrees", &info);
  ASSERT_TRUE(inFeet);
  EXPECT_NEAR(Read(inFeet.get(), {x}, {y})[0], plain.Height(x, y) * 0.3048, 1e-3);
}

TEST_F(ElevationSourceTest, Float32AndInt16Cells) {
  InclinedPlaneDem desc = GeographicPlane();
  desc.pixel = DemPixel::Int16;
  desc.gx = 1000.0;
  Dem dem(desc);
  Source source = Open(dem, nullptr, "degrees");
  ASSERT_TRUE(source);
  EXPECT_DOUBLE_EQ(Read(source.get(), {dem.CentreX(7)}, {dem.CentreY(3)})[0], dem.CellMeters(7, 3));

  desc.pixel = DemPixel::Float32;
  Dem single(desc);
  Source fromSingle = Open(single, nullptr, "degrees");
  ASSERT_TRUE(fromSingle);
  EXPECT_NEAR(Read(fromSingle.get(), {10.2468}, {45.1357})[0], single.Height(10.2468, 45.1357),
              1e-3);
}

// The DEM read of one point written out plainly, from the file's cells and geotransform: the
// bilinear height between cell centres that the batch reads must give bit for bit.
class PlainRead {
 public:
  explicit PlainRead(const Dem& dem) {
    GDALDatasetH dataset = GDALOpen(dem.path().c_str(), GA_ReadOnly);
    EXPECT_NE(dataset, nullptr);
    double geo[6];
    EXPECT_EQ(GDALGetGeoTransform(dataset, geo), CE_None);
    EXPECT_TRUE(GDALInvGeoTransform(geo, inverse_));
    columns_ = GDALGetRasterXSize(dataset);
    rows_ = GDALGetRasterYSize(dataset);
    cells_.resize(static_cast<size_t>(columns_) * rows_);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, columns_, rows_, cells_.data(), columns_, rows_,
                           GDT_Float64, 0, 0),
              CE_None);
    GDALClose(dataset);
    noData_ = dem.desc().noData;
  }

  double Height(double x, double y, double mean) const {
    if (!std::isfinite(x) || !std::isfinite(y)) return mean;
    const double column = inverse_[0] + x * inverse_[1] + y * inverse_[2];
    const double row = inverse_[3] + x * inverse_[4] + y * inverse_[5];
    if (!(column >= 0.0 && column <= columns_ && row >= 0.0 && row <= rows_)) return mean;
    const double cx = std::min(std::max(column - 0.5, 0.0), columns_ - 1.0);
    const double cy = std::min(std::max(row - 0.5, 0.0), rows_ - 1.0);
    const int c0 = std::min(static_cast<int>(cx), std::max(columns_ - 2, 0));
    const int r0 = std::min(static_cast<int>(cy), std::max(rows_ - 2, 0));
    const int c1 = std::min(c0 + 1, columns_ - 1);
    const int r1 = std::min(r0 + 1, rows_ - 1);
    const double fx = cx - c0, fy = cy - r0;
    const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
    const double cells[4] = {At(c0, r0), At(c1, r0), At(c0, r1), At(c1, r1)};
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) {
      if (weights[i] == 0.0) continue;
      if (!std::isfinite(cells[i]) || cells[i] == noData_) return mean;
      sum += weights[i] * cells[i];
    }
    return sum;
  }

  int columns() const { return columns_; }
  int rows() const { return rows_; }

 private:
  double At(int column, int row) const { return cells_[static_cast<size_t>(row) * columns_ + column]; }

  double inverse_[6];
  int columns_ = 0, rows_ = 0;
  double noData_ = 0.0;
  std::vector<double> cells_;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A batch read equals the plain one-point read bit for bit on every vector target, for cells
// of every kind, around holes, on the borders (points exactly on cell edges and centres, the
// outer half-cells), on DEMs one cell wide or high, off the DEM and for points that are not
// numbers; and so does a read of each point alone.
TEST_F(ElevationSourceTest, BatchReadsArePlainReadsOnEveryTarget) {
  const std::pair<int, int> shapes[] = {{40, 30}, {1, 1}, {1, 7}, {9, 1}};
  for (const DemPixel pixel : {DemPixel::Float32, DemPixel::Float64, DemPixel::Int16})
    for (const auto& [columns, rows] : shapes) {
      SCOPED_TRACE(std::to_string(columns) + " x " + std::to_string(rows));
      InclinedPlaneDem desc = GeographicPlane();
      desc.pixel = pixel;
      desc.columns = columns;
      desc.rows = rows;
      // Cells of 1/64 degree from (10 E, 45.5 N), so that the points below lie exactly on cell
      // edges and centres; heights from 500 m to 4400 m, 125 m apart from row to row.
      desc.west = 10.0;
      desc.north = 45.5;
      desc.cellX = desc.cellY = 1.0 / 64;
      desc.h0 = 363000.0;
      desc.gy = -8000.0;
      if (columns > 1 && rows > 1) {
        desc.holeColumn = 7;
        desc.holeRow = 11;
        desc.holeColumns = 4;
        desc.holeRows = 3;
      }
      Dem dem(desc);
      const PlainRead plain(dem);
      Source source = Open(dem, nullptr, "degrees");
      ASSERT_TRUE(source);
      double mean = 0.0;
      ASSERT_EQ(HasMeanZUpdateFromElevationSource(source.get(), &mean), 1);

      std::vector<double> x, y;
      const double cell = desc.cellX;
      for (int c = 0; c <= plain.columns(); c += 3)
        for (int r = 0; r <= plain.rows(); r += 4) {
          for (const double at : {0.0, 0.5}) {
            x.push_back(desc.west + (c + at) * cell);
            y.push_back(desc.north - (r + at) * cell);
          }
        }
      std::mt19937_64 random(7);
      std::uniform_real_distribution<double> across(-0.25, 1.25);
      while (x.size() < 2001) {
        x.push_back(desc.west + across(random) * plain.columns() * cell);
        y.push_back(desc.north - across(random) * plain.rows() * cell);
      }
      x.insert(x.end(), {NAN, 10.1, INFINITY, 10.1});
      y.insert(y.end(), {45.3, NAN, 45.3, -INFINITY});

      hwy::SetSupportedTargetsForTest(0);
      const int64_t supported = hwy::SupportedTargets();
      std::set<int64_t> ran;
      for (int shift = 0; shift < 63; ++shift) {
        const int64_t bit = int64_t{1} << shift;
        if (!(supported & bit)) continue;
        hwy::SetSupportedTargetsForTest(bit);
        ran.insert(bit);
        const std::vector<double> heights = Read(source.get(), x, y);
        size_t off = 0;
        for (size_t j = 0; j < x.size(); ++j) {
          const double expected = plain.Height(x[j], y[j], mean);
          off += !(x[j] >= desc.west && x[j] <= desc.west + columns * cell &&
                 y[j] <= desc.north && y[j] >= desc.north - rows * cell);
          ASSERT_TRUE(SameBits(heights[j], expected))
              << hwy::TargetName(bit) << " point " << j << ": " << heights[j] << " against "
              << expected;
        }
        // Both kinds of point are there in numbers.
        EXPECT_GT(off, 100u);
        EXPECT_GT(x.size() - off, 500u);
        for (size_t j = 0; j < x.size(); j += 97)
          ASSERT_TRUE(SameBits(Read(source.get(), {x[j]}, {y[j]})[0], heights[j])) << j;
      }
      hwy::SetSupportedTargetsForTest(0);
      EXPECT_GE(ran.size(), 2u);
    }
}

TEST_F(ElevationSourceTest, BadInputIsReported) {
  ErrorReport* err = nullptr;
  EXPECT_EQ(CreateRereferenceableElevationSource("/nonexistent/dem.tif", nullptr, "degrees",
                                                 nullptr, &err),
            nullptr);
  ASSERT_NE(err, nullptr);
  EXPECT_NE(std::string(herr_ErrorReportMessage(err)).find("/nonexistent/dem.tif"),
            std::string::npos);
  herr_DeleteErrorReportEx(&err);

  Dem dem(GeographicPlane());
  // Rasters too large to hold, and without georeferencing, written beside the DEM.
  const std::string tooLarge = dem.path() + ".large.vrt";
  const std::string unreferenced = dem.path() + ".plain.vrt";
  std::ofstream(tooLarge) << "<VRTDataset rasterXSize=\"100000\" rasterYSize=\"100000\">"
                             "<GeoTransform>0,1,0,0,0,-1</GeoTransform>"
                             "<VRTRasterBand dataType=\"Float32\" band=\"1\"/></VRTDataset>";
  std::ofstream(unreferenced) << "<VRTDataset rasterXSize=\"4\" rasterYSize=\"4\">"
                                 "<VRTRasterBand dataType=\"Float32\" band=\"1\"/></VRTDataset>";
  for (const std::string& file : {tooLarge, unreferenced}) {
    EXPECT_EQ(CreateRereferenceableElevationSource(file.c_str(), nullptr, "degrees", nullptr, &err),
              nullptr) << file;
    EXPECT_NE(err, nullptr);
    herr_DeleteErrorReportEx(&err);
  }

  for (const char* units : {"furlongs", "meters"}) {
    Projection geographic(hprj_ProjectionFromDefinition("EPSG:4326", nullptr));
    ASSERT_TRUE(geographic);
    EXPECT_EQ(CreateRereferenceableElevationSource(dem.path().c_str(), geographic.get(), units,
                                                   nullptr, &err),
              nullptr) << units;
    EXPECT_NE(err, nullptr);
    herr_DeleteErrorReportEx(&err);
  }

  Source source = Open(dem, nullptr, "degrees");
  ASSERT_TRUE(source);
  HgdaBaseData* points = hgda_BaseDataCreate(2, 2, HGDA_PIXEL_FLOAT64, 2, 0, nullptr);
  double heights[3] = {7, 7, 7};
  EXPECT_EQ(ReadElevationValues(source.get(), 3, points, heights, 0), -1);  // too few columns
  EXPECT_EQ(ReadElevationValues(source.get(), 2, nullptr, heights, 0), -1);
  EXPECT_EQ(ReadElevationValues(nullptr, 2, points, heights, 0), -1);
  EXPECT_EQ(heights[0], 7);
  hgda_BaseDataDelete(points, nullptr);
  double mean = 0;
  EXPECT_EQ(HasMeanZUpdateFromElevationSource(nullptr, &mean), 0);
  DeleteRereferenceableElevationSource(nullptr);
}

TEST_F(ElevationSourceTest, ExhaustedHeapLosesNothing) {
  Dem dem(GeographicPlane());
  for (long n = 0; n < 2; ++n) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    HmodElevationSource* source =
        CreateRereferenceableElevationSource(dem.path().c_str(), nullptr, "degrees", nullptr, &err);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(source, nullptr) << n;
    herr_DeleteErrorReportEx(&err);
  }
}

}  // namespace
