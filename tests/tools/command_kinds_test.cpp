// Image to ground and back through the command for every kind of model: RSM records of each
// ground-domain kind and RPC00B, with and without a DEM.

#include "support/dem_builder.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

struct Case {
  const char* name;
  char kind;  // ground-domain kind of RSM records, or 'P' for RPC00B
  double longitude, latitude;  // centre of the model's area
};

class CommandKinds : public ScratchTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CommandKinds, PointsGoToTheGroundAndBack) {
  const Case c = GetParam();
  nitf_builder::NitfImage desc;
  if (c.kind == 'P') {
    desc.width = 1000;
    desc.height = 800;
    desc.rpc = {"LINE_OFF=400", "SAMP_OFF=500", "LAT_OFF=35.1", "LONG_OFF=-106.6",
                "HEIGHT_OFF=1600", "LINE_SCALE=400", "SAMP_SCALE=500", "LAT_SCALE=0.01",
                "LONG_SCALE=0.012", "HEIGHT_SCALE=500",
                "LINE_NUM_COEFF=0.001 -0.02 -1.01 0.01 1e-4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                "LINE_DEN_COEFF=1 1e-4 2e-4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                "SAMP_NUM_COEFF=-0.001 1.02 0.01 0.02 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                "SAMP_DEN_COEFF=1 -2e-4 1e-4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"};
  } else {
    desc.tres = syntheticRecords({c.kind, 2, 2});
  }
  const std::string model = nitf("model.ntf", desc);
  senmod_test::InclinedPlaneDem demPlane;
  demPlane.west = c.longitude - 1.0;
  demPlane.north = c.latitude + 1.0;
  demPlane.cellX = demPlane.cellY = 0.01;
  demPlane.columns = demPlane.rows = 200;
  demPlane.h0 = 400.0 - 20.0 * c.longitude - 4.0 * c.latitude;
  demPlane.gx = 20.0;
  demPlane.gy = 4.0;
  const senmod_test::Dem dem(demPlane);
  writeText("image.txt", "100 100\n500.5 400.25\n900 700\n");
  const double image[3][2] = {{100, 100}, {500.5, 400.25}, {900, 700}};

  for (const bool withDem : {false, true}) {
    std::vector<std::string> args = {"image-to-ground", model, "-i", path("image.txt"), "-o",
                                     path("ground.txt")};
    if (withDem) args.insert(args.end(), {"--dem", dem.path()});
    const CommandRun down = senmod(args);
    ASSERT_EQ(down.status, 0) << down.err;
    const auto ground = numberRows(readText("ground.txt"));
    ASSERT_EQ(ground.size(), 3u);
    for (const auto& g : ground) {
      ASSERT_EQ(g.size(), 3u);
      EXPECT_NEAR(g[0], c.longitude, 0.5);
      EXPECT_NEAR(g[1], c.latitude, 0.5);
      if (withDem) {
        EXPECT_NEAR(g[2], dem.Height(g[0], g[1]), 0.05);
      }
    }
    args = {"ground-to-image", model, "-i", path("ground.txt")};
    if (withDem) args.insert(args.end(), {"--dem", dem.path()});
    const CommandRun up = senmod(args);
    ASSERT_EQ(up.status, 0) << up.err;
    const auto back = numberRows(up.out);
    ASSERT_EQ(back.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(back[i][0], image[i][0], 1e-6) << (withDem ? "with" : "without") << " DEM";
      EXPECT_NEAR(back[i][1], image[i][1], 1e-6) << (withDem ? "with" : "without") << " DEM";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Models, CommandKinds,
                         ::testing::Values(Case{"geodetic", 'G', 10.0, 45.0},
                                           Case{"hybrid", 'H', -170.0, 45.0},
                                           Case{"rectangular", 'R', 10.0, 45.0},
                                           Case{"rpc00b", 'P', -106.6, 35.1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
