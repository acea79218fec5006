// senmod ortho and senmod footprint measured by geometry: images whose pixels encode their own
// coordinates are warped, and the coordinates read back from the output are compared with
// gdalwarp's and with the library's own ground-to-image.
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_spatialref.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "model_loader.h"
#include "support/dem_builder.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

// An RPC of a near-vertical view of 300 x 200 pixels around longitude 9.5, latitude 46, with
// height parallax and some curvature.
std::vector<std::string> rampRpc() {
  return {"LINE_OFF=100",
          "SAMP_OFF=150",
          "LAT_OFF=46.0",
          "LONG_OFF=9.5",
          "HEIGHT_OFF=500",
          "LINE_SCALE=100",
          "SAMP_SCALE=150",
          "LAT_SCALE=0.007",
          "LONG_SCALE=0.01",
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
  GDALAllRegister();
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
  GDALDatasetH ds =
      GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), columns, rows, 2, type, nullptr);
  ASSERT_NE(ds, nullptr);
  std::vector<double> x(static_cast<size_t>(columns) * rows), y(x.size());
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      x[static_cast<size_t>(r) * columns + c] = c + 0.5;
      y[static_cast<size_t>(r) * columns + c] = r + 0.5;
    }
  }
  ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, columns, rows, x.data(), columns,
                         rows, GDT_Float64, 0, 0),
            CE_None);
  ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 2), GF_Write, 0, 0, columns, rows, y.data(), columns,
                         rows, GDT_Float64, 0, 0),
            CE_None);
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
    std::vector<std::string> args = {"ortho",      image_, "-o",       out,      "--dem",
                                     dem_->path(), "-r",   "bilinear", "--quiet"};
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
  std::string command =
      "gdalwarp -q -rpc -to RPC_DEM=" + dem_->path() + " -et 0 -r bilinear -dstnodata -9999";
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

namespace {

using namespace tooltest;

struct GeometryCloser {
  void operator()(void* g) const { OGR_G_DestroyGeometry(static_cast<OGRGeometryH>(g)); }
};
using Geometry = std::unique_ptr<void, GeometryCloser>;

// The polygon of the first feature of a GeoJSON file, and that feature's properties.
Geometry readFootprint(const std::string& path, std::string* properties) {
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  if (!ds) return nullptr;
  OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
  OGRFeatureH feature = layer ? OGR_L_GetNextFeature(layer) : nullptr;
  Geometry polygon;
  if (feature) {
    polygon.reset(OGR_G_Clone(OGR_F_GetGeometryRef(feature)));
    for (int i = 0; i < OGR_F_GetFieldCount(feature); ++i) {
      *properties += std::string(OGR_Fld_GetNameRef(OGR_F_GetFieldDefnRef(feature, i))) + "=" +
                     OGR_F_GetFieldAsString(feature, i) + ";";
    }
    OGR_F_Destroy(feature);
  }
  GDALClose(ds);
  return polygon;
}

TEST_F(Ortho, DefaultGridIsTheCentreUtmZoneAtTheCentreGsdAndNoDataLiesOutsideTheFootprint) {
  const CommandRun run = senmod({"ortho", image_, "-o", path("out.tif"), "--dem", dem_->path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.err, "EPSG:32632"));
  const Raster out = readRaster(path("out.tif"));
  OGRSpatialReference srs(out.wkt.c_str());
  EXPECT_STREQ(srs.GetAuthorityCode(nullptr), "32632");
  // A pixel is 5.16 m east by 7.78 m north at the centre: a square cell of the same area.
  EXPECT_NEAR(out.geo[1], 6.33, 0.05);
  EXPECT_DOUBLE_EQ(out.geo[1], -out.geo[5]);

  const CommandRun fp = senmod(
      {"footprint", image_, "--dem", dem_->path(), "-o", path("fp.geojson"), "--step", "10"});
  ASSERT_EQ(fp.status, 0) << fp.err;
  std::string properties;
  const Geometry polygon = readFootprint(path("fp.geojson"), &properties);
  ASSERT_NE(polygon, nullptr);
  EXPECT_TRUE(contains(properties, "image_width=300;image_height=200;"));
  EXPECT_TRUE(contains(properties, "source=RPC metadata (GTiff)"));
  const Geometry boundary(OGR_G_Boundary(static_cast<OGRGeometryH>(polygon.get())));

  std::vector<double> x, y, value;
  for (int r = 0; r < out.rows; r += 3) {
    for (int c = 0; c < out.columns; c += 3) {
      x.push_back(out.geo[0] + (c + 0.5) * out.geo[1]);
      y.push_back(out.geo[3] + (r + 0.5) * out.geo[5]);
      value.push_back(out.at(0, c, r));
    }
  }
  transformPoints("EPSG:32632", "EPSG:4326", x.size(), x.data(), y.data());
  const double cell = 1e-4;  // degrees, more than a cell of the output
  long inside = 0, outside = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const Geometry point(OGR_G_CreateGeometry(wkbPoint));
    OGR_G_SetPoint_2D(static_cast<OGRGeometryH>(point.get()), 0, x[i], y[i]);
    const bool in = OGR_G_Contains(static_cast<OGRGeometryH>(polygon.get()),
                                   static_cast<OGRGeometryH>(point.get()));
    const double edge = OGR_G_Distance(static_cast<OGRGeometryH>(boundary.get()),
                                       static_cast<OGRGeometryH>(point.get()));
    if (edge < cell) continue;
    (in ? inside : outside)++;
    EXPECT_EQ(in, std::isfinite(value[i])) << x[i] << " " << y[i] << " " << value[i];
  }
  EXPECT_GT(inside, 1000);
  EXPECT_GT(outside, 100);
}

TEST_F(Ortho, InfoGivesTheFootprintAtTheMeanHeightAndFootprintWritesToStandardOutput) {
  const CommandRun info = senmod({"info", image_, "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_TRUE(
      contains(info.out, ", \"footprint\": { \"type\": \"Polygon\", \"coordinates\": [ [ [ "));
  EXPECT_TRUE(contains(info.out, "] ] ] }, \"accuracy\": null}\n"));
  const CommandRun fp = senmod({"footprint", image_, "--height", "500", "--step", "100"});
  ASSERT_EQ(fp.status, 0) << fp.err;
  EXPECT_TRUE(contains(fp.out, "\"heights\": \"500 m\""));
  // Corners and a point every 100 pixels: 3 + 2 + 3 + 2, and the first again.
  size_t points = 0;
  for (size_t at = fp.out.find("[ 9."); at != std::string::npos; at = fp.out.find("[ 9.", at + 1)) {
    ++points;
  }
  EXPECT_EQ(points, 11u);
}

TEST_F(Ortho, AModelFileMadeFromTheRpcsKeepsTheirPixelConvention) {
  ASSERT_EQ(senmod({"convert", image_, path("model.smod")}).status, 0);
  std::vector<std::string> own = orthoArgs(path("own.tif"));
  std::vector<std::string> file = orthoArgs(path("file.tif"));
  file.insert(file.end(), {"--model", path("model.smod")});
  ASSERT_EQ(senmod(own).status, 0);
  ASSERT_EQ(senmod(file).status, 0);
  const Raster a = readRaster(path("own.tif"));
  const Raster b = readRaster(path("file.tif"));
  ASSERT_EQ(a.bands.size(), 2u);
  for (size_t band = 0; band < 2; ++band) {
    for (size_t i = 0; i < a.bands[band].size(); ++i) {
      const double u = a.bands[band][i], v = b.bands[band][i];
      ASSERT_TRUE(u == v || (std::isnan(u) && std::isnan(v))) << i;
    }
  }
}

TEST_F(Ortho, WritesATiledCompressedGeotiffOrACogWithTheCreationOptionsGiven) {
  ASSERT_EQ(senmod({"ortho", image_, "-o", path("plain.tif"), "--height", "500", "--quiet"}).status,
            0);
  ASSERT_EQ(senmod({"ortho", image_, "-o", path("out.cog.tif"), "--height", "500", "--quiet",
                    "--co", "COMPRESS=LZW"})
                .status,
            0);
  GDALDatasetH plain = GDALOpen(path("plain.tif").c_str(), GA_ReadOnly);
  ASSERT_NE(plain, nullptr);
  int bx = 0, by = 0;
  GDALGetBlockSize(GDALGetRasterBand(plain, 1), &bx, &by);
  EXPECT_EQ(bx, 256);
  EXPECT_EQ(by, 256);
  EXPECT_STREQ(GDALGetMetadataItem(plain, "COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
  GDALClose(plain);
  GDALDatasetH cog = GDALOpen(path("out.cog.tif").c_str(), GA_ReadOnly);
  ASSERT_NE(cog, nullptr);
  EXPECT_STREQ(GDALGetMetadataItem(cog, "LAYOUT", "IMAGE_STRUCTURE"), "COG");
  EXPECT_STREQ(GDALGetMetadataItem(cog, "COMPRESSION", "IMAGE_STRUCTURE"), "LZW");
  GDALClose(cog);
  EXPECT_NE(std::system(("ls " + path("") + " | grep -q partial").c_str()), 0);
}

TEST_F(Ortho, TakesGdalsSpellingsAndTheDriverOfTheOutputsExtension) {
  const std::vector<std::string> grid = {"--height", "500", "--t_srs", "EPSG:32632", "--tr", "7",
                                         "7", "--co", "COMPRESS=NONE", "--quiet"};
  std::vector<std::string> ours = {"ortho", image_, "-o", path("ours.tif")};
  ours.insert(ours.end(), grid.begin(), grid.end());
  ASSERT_EQ(senmod(ours).status, 0);
  const CommandRun gdal =
      senmod({"ortho", image_, "-o", path("gdal.img"), "--height", "500", "-t_srs", "EPSG:32632",
              "-tr", "7", "7", "-co", "COMPRESS=NO", "-q", "--config", "GDAL_CACHEMAX", "64"});
  ASSERT_EQ(gdal.status, 0) << gdal.err;
  EXPECT_EQ(gdal.err, "");
  const Raster a = readRaster(path("ours.tif"));
  const Raster b = readRaster(path("gdal.img"));
  GDALDatasetH img = GDALOpen(path("gdal.img").c_str(), GA_ReadOnly);
  ASSERT_NE(img, nullptr);
  EXPECT_STREQ(GDALGetDriverShortName(GDALGetDatasetDriver(img)), "HFA");
  GDALClose(img);
  ASSERT_EQ(a.bands.size(), b.bands.size());
  for (size_t band = 0; band < a.bands.size(); ++band) {
    ASSERT_EQ(a.bands[band].size(), b.bands[band].size());
    for (size_t i = 0; i < a.bands[band].size(); ++i) {
      const double u = a.bands[band][i], v = b.bands[band][i];
      ASSERT_TRUE(u == v || (std::isnan(u) && std::isnan(v))) << i;
    }
  }
}

TEST_F(Ortho, BadInputFailsWithStatusTwoAndLeavesNoFile) {
  writeRamp(path("bare.tif"), 30, 20, GDT_Byte, {});
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string out = path("out.tif");
  const std::vector<Case> cases = {
      {{"ortho", path("bare.tif"), "-o", out}, "neither RSM records nor RPCs"},
      {{"ortho", image_, "-o", out, "--t_srs", "EPSG:999999"}, "OSR does not take \"EPSG:999999"},
      {{"ortho", image_, "-o", out, "--t_srs", "+proj=nonsense"}, "the output coordinate system"},
      {{"ortho", image_, "-o", path("missing/out.tif")}, "cannot be written"},
      {{"ortho", image_, "-o", out, "--dem", path("none.tif")}, "none.tif"},
      {{"ortho", image_, "-o", out, "-r", "average"}, "-r takes"},
      {{"ortho", image_}, "ortho needs -o"},
      {{"ortho", image_, "-o", out, "--tr", "0", "1"}, "--tr needs sizes above zero"},
      {{"ortho", image_, "-o", out, "--te", "1", "2", "0", "3"}, "--te needs XMIN < XMAX"},
      {{"ortho", image_, "-o", out, "--progress", "--quiet"}, "either --progress or --quiet"},
      {{"ortho", image_, "-o", out, "--of", "NoSuchDriver"}, "is not a GDAL raster driver"},
      {{"ortho", image_, "-o", path("out.nosuchext")}, "no GDAL raster driver writes this extension"},
      {{"ortho", image_, "-o", path("out.vrt")}, "a VRT would refer to a temporary file"},
      {{"footprint", path("bare.tif")}, "neither RSM records nor RPCs"},
  };
  for (const Case& c : cases) {
    const CommandRun run = senmod(c.args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_TRUE(contains(run.err, c.message));
  }
  EXPECT_NE(std::system(("ls " + path("") + " | grep -q out").c_str()), 0);
}

TEST_F(Ortho, ADemThatMissesPartOfTheImageIsWarnedAboutAndTheMeanHeightUsedThere) {
  senmod_test::InclinedPlaneDem half;
  half.west = 9.47;
  half.north = 46.02;
  half.cellX = half.cellY = 0.0005;
  half.columns = 60;  // up to longitude 9.5, the image centre
  half.rows = 80;
  half.h0 = 500.0;
  const senmod_test::Dem dem(half);
  const CommandRun run = senmod({"ortho", image_, "-o", path("out.tif"), "--dem", dem.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.err, "does not cover the whole image"));
  EXPECT_TRUE(contains(run.err, "mean height 500 m"));
}

}  // namespace

namespace {

using namespace tooltest;

// Longitude, latitude (degrees) and height (m) of each line of a points file.
std::vector<std::array<double, 3>> groundPoints(const std::string& text) {
  std::vector<std::array<double, 3>> points;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::array<double, 3> p{};
    fields >> p[0] >> p[1] >> p[2];
    points.push_back(p);
  }
  return points;
}

class SampleOrtho : public ScratchTest {};

TEST_F(SampleOrtho, CrossesLandWithinAPixelOfTheirGroundPoints) {
  const CommandRun run = senmod({"ortho", sampleData("sample_rsm.ntf"), "-o", path("ortho.tif"),
                                 "--dem", sampleData("sample_dem.tif"), "-r", "bilinear"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Raster out = readRaster(path("ortho.tif"));
  ASSERT_EQ(out.bands.size(), 2u);  // the image and the alpha band of where it reaches
  std::ifstream file(sampleData("sample_crosses.txt"));
  std::stringstream text;
  text << file.rdbuf();
  const auto marks = groundPoints(text.str());
  ASSERT_EQ(marks.size(), 5u);
  for (const auto& m : marks) {
    double x = m[0], y = m[1];
    transformPoints("EPSG:4326", out.wkt, 1, &x, &y);
    const double column = (x - out.geo[0]) / out.geo[1];
    const double row = (y - out.geo[3]) / out.geo[5];
    // The centre of darkness of the cross, whose arms reach 12.5 image pixels from it.
    double sum = 0.0, sc = 0.0, sr = 0.0;
    for (int r = static_cast<int>(row) - 20; r <= static_cast<int>(row) + 20; ++r) {
      for (int c = static_cast<int>(column) - 20; c <= static_cast<int>(column) + 20; ++c) {
        ASSERT_TRUE(c >= 0 && r >= 0 && c < out.columns && r < out.rows);
        const double dark = std::max(0.0, 30.0 - out.at(0, c, r));
        sum += dark;
        sc += dark * (c + 0.5);
        sr += dark * (r + 0.5);
      }
    }
    ASSERT_GT(sum, 0.0);
    EXPECT_LT(std::hypot(sc / sum - column, sr / sum - row), 1.0) << m[0] << " " << m[1];
  }
}

// Bilinear height between cell centres of a DEM raster at a point of its coordinate system.
double bilinear(const Raster& dem, double x, double y) {
  const double c = (x - dem.geo[0]) / dem.geo[1] - 0.5;
  const double r = (y - dem.geo[3]) / dem.geo[5] - 0.5;
  const int c0 = static_cast<int>(std::floor(c)), r0 = static_cast<int>(std::floor(r));
  const double fc = c - c0, fr = r - r0;
  return (1 - fc) * (1 - fr) * dem.at(0, c0, r0) + fc * (1 - fr) * dem.at(0, c0 + 1, r0) +
         (1 - fc) * fr * dem.at(0, c0, r0 + 1) + fc * fr * dem.at(0, c0 + 1, r0 + 1);
}

TEST_F(SampleOrtho, EachPixelOfTheSectionedModelComesFromTheLibrarysImagePositionOfItsCentre) {
  // The image's pixels encode their own pixel and line; a 2 m grid (finer than the image)
  // over the middle of the image, where its four sections meet.
  writeRamp(path("ramp.tif"), 1500, 1000, GDT_Float32, {});
  const CommandRun run = senmod({"ortho",   path("ramp.tif"),
                                 "--model", sampleData("sample_rsm.ntf"),
                                 "-o",      path("ortho.tif"),
                                 "--dem",   sampleData("sample_dem.tif"),
                                 "-r",      "bilinear",
                                 "--t_srs", "EPSG:32632",
                                 "--tr",    "2",
                                 "2",       "--te",
                                 "381800",  "5200520",
                                 "382300",  "5201020",
                                 "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Raster out = readRaster(path("ortho.tif"));
  const Raster dem = readRaster(sampleData("sample_dem.tif"));
  ASSERT_EQ(out.bands.size(), 2u);
  std::vector<double> x, y;
  for (int r = 0; r < out.rows; ++r) {
    for (int c = 0; c < out.columns; ++c) {
      x.push_back(out.geo[0] + (c + 0.5) * out.geo[1]);
      y.push_back(out.geo[3] + (r + 0.5) * out.geo[5]);
    }
  }
  transformPoints("EPSG:32632", "EPSG:4326", x.size(), x.data(), y.data());
  std::vector<double> in;
  for (size_t i = 0; i < x.size(); ++i)
    in.insert(in.end(), {x[i], y[i], bilinear(dem, x[i], y[i])});
  senmod_io::LoadedModel model = senmod_io::loadModel(sampleData("sample_rsm.ntf"));
  model.xform->model->rsm.groundToImageTransform = SMOD_TRUE;
  std::vector<double> expected(2 * x.size());
  ErrorReport* report = nullptr;
  smod_RSMXformTransform3DTo2D(model.xform.get(), static_cast<int32_t>(x.size()), in.data(),
                               expected.data(), &report);
  ASSERT_EQ(report, nullptr);
  double worst = 0.0;
  int quadrants = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const double px = out.bands[0][i], py = out.bands[1][i];
    ASSERT_TRUE(std::isfinite(px) && std::isfinite(py));
    worst = std::max({worst, std::fabs(px - expected[2 * i]), std::fabs(py - expected[2 * i + 1])});
    quadrants |= 1 << ((px > 750.0) + 2 * (py > 500.0));
  }
  EXPECT_LT(worst, 0.01);
  EXPECT_EQ(quadrants, 15);  // every section is in the grid
}

}  // namespace

namespace {

using namespace tooltest;

TEST_F(Ortho, AnInterruptedRunLeavesNoFileBehind) {
  // A grid far too fine to finish in the second before the signal. SIGTERM, not SIGINT: a
  // background job of a script starts with SIGINT ignored, so one sent before the command
  // catches it would be lost; SIGTERM then ends the command before it writes anything.
  const std::string command =
      "cd '" + path("") + "' && { '" + senmodBinary() + "' ortho '" + image_ +
      "' -o out.tif --height 500 --tr 0.1 0.1 --quiet 2>err.txt & pid=$!; sleep 1; "
      "kill -TERM $pid; wait $pid; echo $? >status.txt; }";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_NE(readText("status.txt"), "0\n");
  EXPECT_NE(std::system(("ls '" + path("") + "' | grep -q out").c_str()), 0);
}

}  // namespace
