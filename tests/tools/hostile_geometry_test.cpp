// Where a model does not reach: points, outlines and orthos outside its domain, across the
// antimeridian, at heights it was not made for, and grids too large to make.
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_api.h>

#include <cmath>
#include <string>
#include <vector>

#include "senmod/senmod_io.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

class Reach : public ScratchTest {
 protected:
  const std::string sample_ = sampleData("sample_rsm.ntf");

  // The values of band 1 of an ortho and how many of them hold data.
  struct Filled {
    std::vector<double> values;
    double geo[6] = {};
    int columns = 0, rows = 0;
    long count = 0;
  };
  static Filled filled(const std::string& file) {
    Filled f;
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(file.c_str(), GA_ReadOnly);
    EXPECT_NE(ds, nullptr) << file;
    if (!ds) return f;
    f.columns = GDALGetRasterXSize(ds);
    f.rows = GDALGetRasterYSize(ds);
    GDALGetGeoTransform(ds, f.geo);
    GDALRasterBandH alpha = GDALGetRasterBand(ds, GDALGetRasterCount(ds));
    std::vector<double> mask(static_cast<size_t>(f.columns) * f.rows);
    f.values.resize(mask.size());
    const bool read = GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, f.columns, f.rows,
                                   f.values.data(), f.columns, f.rows, GDT_Float64, 0,
                                   0) == CE_None &&
                      GDALRasterIO(alpha, GF_Read, 0, 0, f.columns, f.rows, mask.data(),
                                   f.columns, f.rows, GDT_Float64, 0, 0) == CE_None;
    EXPECT_TRUE(read) << file;
    for (size_t i = 0; i < mask.size(); ++i) {
      if (mask[i] == 0.0) f.values[i] = std::nan("");
      f.count += mask[i] != 0.0;
    }
    GDALClose(ds);
    return f;
  }
};

TEST_F(Reach, NoImageWhereTheModelDoesNotReach) {
  // A grid of a degree about the sample, whose footprint is a tenth of that: the polynomials
  // fold back into the image far outside their domain, and those cells must stay empty.
  const CommandRun run = senmod({"ortho", sample_, "-o", path("wide.tif"), "--t_srs", "EPSG:4326",
                                 "--te", "6.95", "46.45", "7.95", "47.45", "--tr", "0.001",
                                 "0.001", "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Filled wide = filled(path("wide.tif"));
  const CommandRun outline = senmod({"footprint", sample_});
  ASSERT_EQ(outline.status, 0);
  const std::string json = outline.out.substr(outline.out.find("\"geometry\": ") + 12);
  OGRGeometryH ring = OGR_G_CreateGeometryFromJson(json.substr(0, json.rfind('}', json.rfind('}') - 1)).c_str());
  ASSERT_NE(ring, nullptr);
  OGREnvelope box;
  OGR_G_GetEnvelope(ring, &box);
  OGR_G_DestroyGeometry(ring);
  ASSERT_GT(wide.count, 100);
  for (int r = 0; r < wide.rows; ++r) {
    for (int c = 0; c < wide.columns; ++c) {
      if (std::isnan(wide.values[static_cast<size_t>(r) * wide.columns + c])) continue;
      const double lon = wide.geo[0] + (c + 0.5) * wide.geo[1];
      const double lat = wide.geo[3] + (r + 0.5) * wide.geo[5];
      // The footprint is at the mean height, the ortho on it too: a cell's width of slack.
      ASSERT_TRUE(lon > box.MinX - 0.002 && lon < box.MaxX + 0.002 && lat > box.MinY - 0.002 &&
                  lat < box.MaxY + 0.002)
          << lon << " " << lat;
    }
  }
  // The same cells of a grid of twenty degrees get the same values: the warper is not left to
  // find a small image inside a chunk whose edges the model does not reach.
  const std::vector<std::string> grid = {"--t_srs", "EPSG:4326", "--tr", "0.01", "0.01",
                                         "--quiet"};
  auto ortho = [&](const std::string& name, std::vector<std::string> extent) {
    std::vector<std::string> args = {"ortho", sample_, "-o", path(name), "--te"};
    args.insert(args.end(), extent.begin(), extent.end());
    args.insert(args.end(), grid.begin(), grid.end());
    EXPECT_EQ(senmod(args).status, 0) << name;
    return filled(path(name));
  };
  const Filled near = ortho("near.tif", {"7", "46.5", "8", "47.5"});
  const Filled world = ortho("world.tif", {"0", "40", "20", "55"});
  ASSERT_GT(near.count, 4);
  EXPECT_EQ(world.count, near.count);
  const int dc = static_cast<int>(std::lround((near.geo[0] - world.geo[0]) / 0.01));
  const int dr = static_cast<int>(std::lround((world.geo[3] - near.geo[3]) / 0.01));
  for (int r = 0; r < near.rows; ++r) {
    for (int c = 0; c < near.columns; ++c) {
      const double a = near.values[static_cast<size_t>(r) * near.columns + c];
      const double b = world.values[static_cast<size_t>(r + dr) * world.columns + c + dc];
      ASSERT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << c << " " << r;
    }
  }
  // The points command flags such a point instead of answering it (55 km outside).
  writeText("far.txt", "7.5765 47.4495\n");
  const CommandRun far = senmod({"ground-to-image", sample_, "-i", path("far.txt")});
  EXPECT_EQ(far.status, 1);
  EXPECT_EQ(far.out, "nan nan\n");
  EXPECT_TRUE(contains(far.err, "outside the model's domain"));
}

TEST_F(Reach, HeightsGridsAndSystemsTheModelCannotServeAreRefusedUpFront) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"ortho", sample_, "-o", path("o.tif"), "--height", "5000"},
       "the height 5000 m lies far outside the model's ground domain"},
      {{"footprint", sample_, "--height", "1e5"}, "the height 100000 m lies far outside"},
      {{"ortho", sample_, "-o", path("o.tif"), "--t_srs", "EPSG:4978"}, "is geocentric"},
      {{"ortho", sample_, "-o", path("o.tif"), "--tr", "1e-9", "1e-9"},
       "cells wide (from 1 to 2147483647)"},
      {{"ortho", sample_, "-o", path("o.tif"), "--tr", "0.02", "0.02"},
       "above the limit of 4.295e+09: give larger cells"},
  };
  for (const Case& c : cases) {
    const CommandRun run = senmod(c.args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_TRUE(contains(run.err, c.message));
  }
  EXPECT_EQ(senmod({"ortho", sample_, "-o", path("o.tif"), "--tr", "20", "20", "--max-cells",
                    "1e4", "--quiet"})
                .status,
            2);
}

TEST_F(Reach, AHugeRasterGetsAnOutlineOfBoundedSizeOrAClearRefusal) {
  // Two billion pixels a side, RPCs over a small area: an outline a point every 64 pixels
  // would take 1.25e8 points.
  const std::string vrt = path("huge.vrt");
  writeText("huge.vrt",
            "<VRTDataset rasterXSize=\"2000000000\" rasterYSize=\"2000000000\">\n"
            "<Metadata domain=\"RPC\">\n"
            "<MDI key=\"LINE_OFF\">1000000000</MDI><MDI key=\"SAMP_OFF\">1000000000</MDI>\n"
            "<MDI key=\"LAT_OFF\">45</MDI><MDI key=\"LONG_OFF\">9</MDI>\n"
            "<MDI key=\"HEIGHT_OFF\">0</MDI><MDI key=\"LINE_SCALE\">1000000000</MDI>\n"
            "<MDI key=\"SAMP_SCALE\">1000000000</MDI><MDI key=\"LAT_SCALE\">0.5</MDI>\n"
            "<MDI key=\"LONG_SCALE\">0.5</MDI><MDI key=\"HEIGHT_SCALE\">500</MDI>\n"
            "<MDI key=\"LINE_NUM_COEFF\">0 0 -1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0</MDI>\n"
            "<MDI key=\"LINE_DEN_COEFF\">1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0</MDI>\n"
            "<MDI key=\"SAMP_NUM_COEFF\">0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0</MDI>\n"
            "<MDI key=\"SAMP_DEN_COEFF\">1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0</MDI>\n"
            "</Metadata>\n"
            "<VRTRasterBand dataType=\"Byte\" band=\"1\"/>\n"
            "</VRTDataset>\n");
  const CommandRun info = senmod({"info", vrt, "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_TRUE(contains(info.out, "\"footprint\": { \"type\": \"Polygon\""));
  const CommandRun outline = senmod({"footprint", vrt});
  EXPECT_EQ(outline.status, 2);
  EXPECT_TRUE(contains(outline.err, "the outline would take 1.25e+08 points, above the limit of "
                                    "100000: give a larger step"));
  EXPECT_EQ(senmod({"footprint", vrt, "--step", "1e6"}).status, 0);
  const CommandRun ortho = senmod({"ortho", vrt, "-o", path("huge.tif")});
  EXPECT_EQ(ortho.status, 2);
  EXPECT_TRUE(contains(ortho.err, "the output grid would"));
}

TEST_F(Reach, LongitudesAcrossTheAntimeridianAreTakenAboutTheModel) {
  // An RPC centred at 179.99 degrees: -179.97 is 0.04 degrees east of its centre.
  std::vector<std::string> items = {
      "LINE_OFF=500", "SAMP_OFF=500", "LAT_OFF=10", "LONG_OFF=179.99", "HEIGHT_OFF=0",
      "LINE_SCALE=500", "SAMP_SCALE=500", "LAT_SCALE=0.05", "LONG_SCALE=0.05",
      "HEIGHT_SCALE=500",
      "LINE_NUM_COEFF=0 0 -1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
      "LINE_DEN_COEFF=1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
      "SAMP_NUM_COEFF=0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
      "SAMP_DEN_COEFF=1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"};
  GDALAllRegister();
  GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", 1000, 1000, 1, GDT_Byte, nullptr);
  char** rpc = nullptr;
  for (const std::string& item : items) rpc = CSLAddString(rpc, item.c_str());
  GDALSetMetadata(memory, rpc, "RPC");
  CSLDestroy(rpc);
  const std::string file = path("east.tif");
  GDALClose(GDALCreateCopy(GDALGetDriverByName("GTiff"), file.c_str(), memory, FALSE, nullptr,
                           nullptr, nullptr));
  GDALClose(memory);
  ErrorReport* report = nullptr;
  smod_Model* model = smod_ModelOpen(file.c_str(), &report);
  ASSERT_NE(model, nullptr);
  const double lon[2] = {-179.97, 180.03}, lat[2] = {10.0, 10.0}, h[2] = {0.0, 0.0};
  double sample[2], row[2];
  int status[2];
  EXPECT_EQ(smod_ModelGroundToImage(model, 2, lon, lat, h, sample, row, status, &report), 2);
  smod_ModelClose(model);
  // 0.04 degrees east of the centre: sample 500 + 500 * 0.04 / 0.05 (GDAL's pixel 900.5).
  EXPECT_NEAR(sample[0], 900.0, 1e-6);
  EXPECT_EQ(sample[0], sample[1]);
  EXPECT_EQ(row[0], row[1]);
}

}  // namespace
