// senmod refine: the refined model written and its report printed, heights from the DEM, and
// every refusal with its cause and no output file.
#include <sys/stat.h>

#include <cmath>
#include <sstream>

#include "tool_fixtures.h"

namespace {

using namespace tooltest;

class Refine : public ScratchTest {
 protected:
  bool exists(const std::string& name) const {
    struct stat s;
    return ::stat(path(name).c_str(), &s) == 0;
  }
  // The ground points of image points (sample row height lines) of the sample model, as GCP
  // lines measured (sample + ds, row + dr), heights written as given or as "nan".
  std::string gcps(const std::string& imagePoints, double ds, double dr, bool heights,
                   const std::vector<std::string>& extra = {}) {
    writeText("image.txt", imagePoints);
    std::vector<std::string> args{"image-to-ground", model_, "-i", path("image.txt")};
    args.insert(args.end(), extra.begin(), extra.end());
    const CommandRun ground = senmod(args);
    EXPECT_EQ(ground.status, 0) << ground.err;
    const auto image = numberRows(imagePoints);
    const auto points = numberRows(ground.out);
    std::ostringstream out;
    out.precision(17);
    for (size_t i = 0; i < image.size(); ++i) {
      out << image[i][0] + ds << " " << image[i][1] + dr << " " << points[i][0] << " "
          << points[i][1] << " ";
      if (heights) {
        out << points[i][2];
      } else {
        out << "nan";
      }
      out << " 0 0 0.5 P" << i + 1 << "\n";
    }
    return out.str();
  }

  const std::string model_ = sampleData("sample_rsm.ntf");
  const std::string spread_ =
      "100 80 500\n900 90 400\n500 500 600\n120 700 300\n880 690 700\n300 300 450\n";
};

TEST_F(Refine, WritesTheRefinedModelAndReportsTheResidualsBeforeAndAfter) {
  writeText("gcps.txt", gcps(spread_, 3.0, -2.0, true));
  const CommandRun run = senmod({"refine", model_, "--gcps", path("gcps.txt"), "--params",
                                 "image-offset", "-o", path("refined.smod")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(contains(run.out, "refined with 6 GCPs (image-offset)"));
  EXPECT_TRUE(contains(run.out, "RMS before 3.606 px"));
  EXPECT_TRUE(contains(run.out, "ICO"));
  EXPECT_TRUE(contains(run.out, "P6"));
  ASSERT_TRUE(exists("refined.smod"));

  // Heights from the DEM: the report holds the DEM's height of each point.
  const std::string dem = sampleData("sample_dem.tif");
  writeText("nan.txt", gcps("100 80\n900 90\n500 500\n120 700\n880 690\n300 300\n", 3.0,
                            -2.0, false, {"--dem", dem}));
  const CommandRun json = senmod({"refine", model_, "--gcps", path("nan.txt"), "--params",
                                  "image-offset", "--dem", dem, "--json", "-o",
                                  path("dem.smod")});
  ASSERT_EQ(json.status, 0) << json.err;
  const CommandRun onDem = senmod({"image-to-ground", model_, "--dem", dem, "-i",
                                   path("image.txt")});
  const auto demHeights = numberRows(onDem.out);
  EXPECT_TRUE(contains(json.out, "\"height\": " + std::to_string(demHeights[0][2]).substr(0, 6)));
  EXPECT_TRUE(contains(json.out, "\"rms_before_px\": 3.60"));
  EXPECT_TRUE(contains(json.out, "\"parameter_set\": \"image-offset\""));
}

TEST_F(Refine, RefusesWithTheCauseAndWritesNothing) {
  writeText("good.txt", gcps(spread_, 3.0, -2.0, true));
  writeText("one.txt", gcps("500 500 600\n", 0.0, 0.0, true));
  // Surveyed along a straight line on the ground, measured where the model puts them.
  writeText("line.ground",
            "7.43 46.945 500\n7.435 46.9475 500\n7.44 46.95 500\n7.445 46.9525 500\n");
  const auto image = numberRows(senmod({"ground-to-image", model_, "-i", path("line.ground")}).out);
  const auto ground = numberRows(readText("line.ground"));
  std::ostringstream line;
  line.precision(17);
  for (size_t i = 0; i < image.size(); ++i) {
    line << image[i][0] << " " << image[i][1] << " " << ground[i][0] << " " << ground[i][1]
         << " " << ground[i][2] << "\n";
  }
  writeText("line.txt", line.str());
  writeText("outside.txt", gcps("100 80 500\n1400 900 600\n", 200.0, 0.0, true));
  writeText("bad.txt", "100 80 7.43 46.96 500\n200 80 7.44 north 500\n");
  writeText("nan.txt", gcps(spread_, 0.0, 0.0, false));
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--gcps", path("one.txt"), "--params", "image-affine"}, "too few ground control points"},
      {{"--gcps", path("line.txt"), "--params", "image-affine"}, "degenerate geometry"},
      {{"--gcps", path("outside.txt"), "--params", "image-offset"}, "lies outside the image"},
      {{"--gcps", path("bad.txt"), "--params", "image-offset"},
       "bad.txt line 2: the latitude \"north\" is not a number"},
      {{"--gcps", path("nan.txt"), "--params", "image-offset"}, "no DEM"},
      {{"--gcps", path("good.txt"), "--params", "ground-offset-rotation", "--max-iterations",
        "1"},
       "did not converge in 1 iterations"},
      {{"--gcps", path("good.txt")}, "name a set"},
      {{"--gcps", path("good.txt"), "--params", "shift"}, "PARAMS takes model, image-offset"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"refine", model_};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"-o", path("out.smod")});
    const CommandRun run = senmod(args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_TRUE(contains(run.err, c.message));
    EXPECT_FALSE(exists("out.smod")) << c.message;
  }
  const CommandRun over =
      senmod({"refine", path("good.txt"), "--gcps", path("good.txt"), "-o", path("good.txt")});
  EXPECT_EQ(over.status, 2);
  EXPECT_TRUE(contains(readText("good.txt"), "P6"));
  EXPECT_EQ(senmod({"refine", model_, "-o", path("out.smod")}).status, 2);
}

TEST_F(Refine, TheSavedModelKeepsTheSolutionAndItsCovariance) {
  writeText("gcps.txt", gcps(spread_, 3.0, -2.0, true));
  ASSERT_EQ(senmod({"refine", model_, "--gcps", path("gcps.txt"), "--params", "image-offset",
                    "-o", path("refined.smod")})
                .status,
            0);
  // The file carries the shift: the points land where they were measured.
  writeText("ground.txt", "7.428018817402629 46.960482393544154 500\n");
  const auto image = numberRows(senmod({"ground-to-image", path("refined.smod"), "-i",
                                        path("ground.txt")}).out);
  ASSERT_EQ(image.size(), 1u);
  EXPECT_NEAR(image[0][0], 103.0, 0.01);
  EXPECT_NEAR(image[0][1], 78.0, 0.01);
  // And its covariance: refined again, its own parameters take it as their prior.
  const CommandRun again = senmod({"refine", path("refined.smod"), "--gcps", path("gcps.txt"),
                                   "-o", path("again.smod")});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(contains(again.out, "refined with 6 GCPs (model)"));
  EXPECT_TRUE(contains(again.out, "the model's covariance as prior"));
}

}  // namespace
