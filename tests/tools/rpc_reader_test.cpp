// RPC00B and RPC metadata become exact single-section models: the image coordinates they give
// are those of evaluating the RPC directly (GDAL's RPC transformer, whose pixel convention puts
// the first pixel's centre at 0.5).
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_alg.h>

#include <cmath>
#include <fstream>
#include <memory>

#include "model_loader.h"
#include "rpc_records.h"
#include "read_error.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

std::vector<std::string> rpcItems(const std::string& lineScale = "2100") {
  return {"LINE_OFF=2000", "SAMP_OFF=2500", "LAT_OFF=35.1", "LONG_OFF=-106.6",
          "HEIGHT_OFF=1600", "LINE_SCALE=" + lineScale, "SAMP_SCALE=2600", "LAT_SCALE=0.05",
          "LONG_SCALE=0.06", "HEIGHT_SCALE=500",
          "LINE_NUM_COEFF=0.002 -0.03 -1.05 0.01 1e-4 2e-5 -3e-4 1e-5 2e-4 -1e-6 3e-6 1e-6 2e-6 "
          "-1e-7 5e-7 1e-6 -2e-7 3e-8 1e-7 -1e-8",
          "LINE_DEN_COEFF=1 1e-4 2e-4 -3e-4 1e-6 2e-6 -1e-6 3e-7 -2e-7 1e-7 1e-8 2e-8 -1e-8 1e-8 "
          "2e-9 -3e-9 1e-9 2e-9 -1e-9 1e-9",
          "SAMP_NUM_COEFF=-0.001 1.02 0.01 0.02 -2e-4 1e-5 3e-5 2e-4 -1e-4 1e-6 -2e-6 3e-6 1e-6 "
          "-2e-7 1e-7 4e-7 -1e-7 2e-8 -3e-8 1e-8",
          "SAMP_DEN_COEFF=1 -2e-4 1e-4 2e-4 -1e-6 1e-6 2e-6 -1e-7 1e-7 3e-7 -1e-8 1e-8 2e-8 -2e-8 "
          "1e-9 1e-9 -1e-9 2e-9 1e-9 -2e-9"};
}

struct TransformerDeleter {
  void operator()(void* t) const { GDALDestroyRPCTransformer(t); }
};

class RpcModels : public ScratchTest {
 protected:
  // Compares the model of file with GDAL's evaluation of the file's own RPC metadata.
  void expectSameImagePositions(const std::string& file) {
    GDALDatasetH dataset = GDALOpen(file.c_str(), GA_ReadOnly);
    ASSERT_NE(dataset, nullptr);
    GDALRPCInfoV2 info{};
    ASSERT_TRUE(GDALExtractRPCInfoV2(GDALGetMetadata(dataset, "RPC"), &info));
    GDALClose(dataset);
    std::unique_ptr<void, TransformerDeleter> rpc(
        GDALCreateRPCTransformerV2(&info, FALSE, 0.0, nullptr));
    ASSERT_NE(rpc, nullptr);

    senmod_io::LoadedModel model = senmod_io::loadModel(file);
    RSM_Xform* xform = model.xform.get();
    const RSM_Model_Orig& rsm = xform->model->rsm;
    EXPECT_EQ(rsm.grndd.count, 0);  // geodetic
    ASSERT_EQ(rsm.RationalPolyList.count, 1);
    EXPECT_EQ(rsm.RationalPolyList.data[0].sampleNumerator.count, 64);
    EXPECT_EQ(rsm.z_mean, 1600.0);
    for (int i = 0; i < 9; ++i) {
      double lon = -106.6 + 0.05 * (i % 3 - 1), lat = 35.1 + 0.04 * (i / 3 - 1);
      double h = 1300.0 + 80.0 * i;
      double x = lon, y = lat, z = h;
      int ok = 0;
      ASSERT_TRUE(GDALRPCTransform(rpc.get(), TRUE, 1, &x, &y, &z, &ok) && ok);
      xform->model->rsm.groundToImageTransform = SMOD_TRUE;
      const double in[3] = {lon, lat, h};
      double image[2];
      ErrorReport* report = nullptr;
      smod_RSMXformTransform3DTo2D(xform, 1, in, image, &report);
      ASSERT_EQ(report, nullptr);
      EXPECT_NEAR(image[0], x - 0.5, 1e-7);
      EXPECT_NEAR(image[1], y - 0.5, 1e-7);

      xform->model->rsm.groundToImageTransform = SMOD_FALSE;
      const double back[3] = {image[0], image[1], h};
      double ground[2];
      smod_RSMXformTransform3DTo2D(xform, 1, back, ground, &report);
      ASSERT_EQ(report, nullptr);
      EXPECT_NEAR(ground[0], lon, 1e-9);
      EXPECT_NEAR(ground[1], lat, 1e-9);
    }
  }
};

TEST_F(RpcModels, Rpc00bGivesTheRpcImagePositions) {
  nitf_builder::NitfImage desc;
  desc.width = 5000;
  desc.height = 4000;
  desc.rpc = rpcItems();
  const std::string file = nitf("rpc.ntf", desc);
  expectSameImagePositions(file);
  EXPECT_EQ(senmod_io::loadModel(file).source, "NITF RPC00B");
}

// A GeoTIFF with RPC metadata, made by GDAL's GeoTIFF driver.
std::string geoTiffWithRpc(const std::string& path, const std::vector<std::string>& items) {
  GDALAllRegister();
  GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", 50, 40, 1, GDT_Byte, nullptr);
  char** rpc = nullptr;
  for (const std::string& item : items) rpc = CSLAddString(rpc, item.c_str());
  GDALSetMetadata(memory, rpc, "RPC");
  CSLDestroy(rpc);
  GDALDatasetH tiff = GDALCreateCopy(GDALGetDriverByName("GTiff"), path.c_str(), memory, FALSE,
                                     nullptr, nullptr, nullptr);
  GDALClose(memory);
  EXPECT_NE(tiff, nullptr);
  GDALClose(tiff);
  return path;
}

TEST_F(RpcModels, GeoTiffRpcMetadataGivesTheRpcImagePositions) {
  const std::string file = geoTiffWithRpc(path("rpc.tif"), rpcItems());
  expectSameImagePositions(file);
  EXPECT_EQ(senmod_io::loadModel(file).source, "RPC metadata (GTiff)");
}

TEST_F(RpcModels, ItemsGdalsParserWouldReadAsZeroAreRefusedByName) {
  struct Case {
    std::string item;     // replaces the item of the same name
    std::string message;  // after "<file>: RPC: "
  };
  const std::vector<Case> cases = {
      {"LINE_SCALE=0", "LINE_SCALE = 0 lies outside (0, 1000000000]"},
      {"LAT_OFF=100", "LAT_OFF = 100 lies outside [-90, 90]"},
      {"HEIGHT_SCALE=abc", "HEIGHT_SCALE is not a number: \"abc\""},
      {"SAMP_NUM_COEFF=0 1 0", "SAMP_NUM_COEFF holds 3 values; it needs exactly 20"},
      {"SAMP_NUM_COEFF=abc def", "SAMP_NUM_COEFF holds 2 values; it needs exactly 20"},
      {"SAMP_DEN_COEFF=1 nan 1e-4 2e-4 -1e-6 1e-6 2e-6 -1e-7 1e-7 3e-7 -1e-8 1e-8 2e-8 -2e-8 1e-9 "
       "1e-9 -1e-9 2e-9 1e-9 -2e-9",
       "SAMP_DEN_COEFF term 2 is not a number: \"nan\""},
      {"", "SAMP_DEN_COEFF is missing"},
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    std::vector<std::string> items = rpcItems();
    const std::string name = c.item.substr(0, c.item.find('='));
    for (std::string& item : items) {
      if (item.rfind(name + "=", 0) == 0) item = c.item;
    }
    if (c.item.empty()) items.pop_back();
    // The reader's own list: file formats that keep the text (sidecars) hand it on as it is.
    char** metadata = nullptr;
    for (const std::string& item : items) metadata = CSLAddString(metadata, item.c_str());
    const std::string file = "case" + std::to_string(k);
    try {
      senmod_io::modelFromRpc(metadata, 50, 40, file);
      ADD_FAILURE() << c.item << " was accepted";
    } catch (const senmod_io::ReadError& e) {
      EXPECT_EQ(std::string(e.what()), file + ": RPC: " + c.message);
    }
    CSLDestroy(metadata);
  }
}

}  // namespace

namespace {

// An RPC's ERR_BIAS and ERR_RAND are its horizontal accuracy, per axis: the accuracy command
// gives the circle of a round error of variance ERR_BIAS² + ERR_RAND², widened by the parallax of
// a height error, which also gives LE90; an RPC that states neither has no accuracy to give.
TEST_F(RpcModels, ErrorFiguresGiveTheAccuracyCommandsCircleAndNoneIsRefused) {
  std::vector<std::string> items = rpcItems();
  items.push_back("ERR_BIAS=2");
  items.push_back("ERR_RAND=1");
  const std::string known = geoTiffWithRpc(path("known.tif"), items);
  std::ofstream(path("points.txt")) << "10 12\n40 30 1500\n";
  const CommandRun exact = senmod({"accuracy", known, "-i", path("points.txt"), "--height", "1600"});
  const CommandRun withHeight = senmod(
      {"accuracy", known, "--height-sigma", "4", "-i", path("points.txt"), "--height", "1600"});
  ASSERT_EQ(exact.status, 0) << exact.err;
  ASSERT_EQ(withHeight.status, 0) << withHeight.err;
  const auto rows = numberRows(exact.out);
  const auto widened = numberRows(withHeight.out);
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(widened.size(), 2u);
  // The offsets lie in the plane east and north at the RPC's offset point: kilometres away its
  // horizon is tilted by 1e-3, and what the tilt lifts shows through the parallax.
  const double sigma = std::sqrt(5.0);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(rows[i].size(), 8u);
    EXPECT_NEAR(rows[i][3], 2.1459660262893472 * sigma, 1e-3 * sigma);  // ce90
    EXPECT_EQ(rows[i][4], 0.0);                                          // le90
    EXPECT_NEAR(rows[i][5], sigma, 1e-3 * sigma);                        // sigma east
    EXPECT_NEAR(rows[i][6], sigma, 1e-3 * sigma);                        // sigma north
    EXPECT_GT(widened[i][3], rows[i][3] + 0.1);
    EXPECT_NEAR(widened[i][4], 1.6448536269514722 * 4.0, 1e-9);
    EXPECT_EQ(widened[i][7], 4.0);
  }
  EXPECT_EQ(rows[1][2], 1500.0);

  items.resize(items.size() - 2);
  items.push_back("ERR_BIAS=-1");
  const CommandRun unknown = senmod({"accuracy", geoTiffWithRpc(path("unknown.tif"), items)});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no error covariance"), std::string::npos) << unknown.err;
}

}  // namespace
