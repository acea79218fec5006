// The senmod command given hostile or unlucky input: every case ends with a clear message and
// the right exit status, never a crash, a hang or a silently wrong number.
#include <cmath>
#include <cstring>

#include "model_loader.h"
#include "model_summary.h"
#include "read_error.h"
#include "support/dem_builder.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

class Hostile : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    nitf_builder::NitfImage desc;
    desc.tres = syntheticRecords({'G', 1, 1});
    model_ = nitf("model.ntf", desc);
  }

  // A DEM over longitudes 9.9 to 10.0 and latitudes 44.9 to 45.1 (the model's area reaches
  // 10.57 degrees east), whose cells of column 5 hold no data; or no valid cell at all.
  std::unique_ptr<senmod_test::Dem> partialDem(bool allNoData = false) {
    senmod_test::InclinedPlaneDem d;
    d.west = 9.9;
    d.north = 45.1;
    d.cellX = d.cellY = 0.01;
    d.columns = 10;
    d.rows = 20;
    d.h0 = 600.0;
    d.holeColumn = allNoData ? 0 : 5;
    d.holeColumns = allNoData ? 10 : 1;
    d.holeRows = 20;
    return std::make_unique<senmod_test::Dem>(d);
  }

  std::string model_;
};

TEST_F(Hostile, InfoListsRecordsOfAnyNameAndSummarisesManySections) {
  senmod_io::LoadedModel model = senmod_io::loadModel(model_);
  model.storedCovariance.push_back({"ECA", "", {}});
  model.storedCovariance.push_back({"Smod_RSMDCA", "", {}});
  EXPECT_TRUE(contains(senmod_io::summaryText(model, "m", false),
                       "error covariance records: ECA, RSMDCA\n"));
  EXPECT_TRUE(contains(senmod_io::summaryText(model, "m", true),
                       "\"error_covariance\": [\"ECA\", \"RSMDCA\"]"));

  // 200,000 sections of as many power patterns: grouping them must not compare every pair.
  constexpr int kSections = 200000;
  RSM_Model_Orig& rsm = model.xform->model->rsm;
  const int32_t kept = rsm.RationalPolyList.count;
  RSMFunctions* const keptData = rsm.RationalPolyList.data;
  std::vector<RSMFunctions> many(kSections);
  std::memset(many.data(), 0, sizeof(RSMFunctions) * many.size());
  for (int i = 0; i < kSections; ++i) {
    int32_t* p = &many[i].sampleNumeratorPowerX;
    int code = i;
    // Three powers of each polynomial hold the digits of i in base 3.
    for (int32_t* f :
         {p, p + 1, p + 2, &many[i].sampleDenominatorPowerX, &many[i].sampleDenominatorPowerY,
          &many[i].sampleDenominatorPowerZ, &many[i].rowNumeratorPowerX,
          &many[i].rowNumeratorPowerY, &many[i].rowNumeratorPowerZ, &many[i].rowDenominatorPowerX,
          &many[i].rowDenominatorPowerY, &many[i].rowDenominatorPowerZ}) {
      *f = code % 3;
      code /= 3;
    }
  }
  many[kSections - 1] = many[0];
  rsm.RationalPolyList.count = kSections;
  rsm.RationalPolyList.data = many.data();
  const std::string text = senmod_io::summaryText(model, "m", false);
  rsm.RationalPolyList.count = kept;
  rsm.RationalPolyList.data = keptData;
  EXPECT_TRUE(contains(text,
                       "\npowers (2 sections): sample numerator 0 0 0, sample denominator "
                       "0 0 0, row numerator 0 0 0, row denominator 0 0 0\n"));
  EXPECT_TRUE(contains(text, "\npowers (1 section): sample numerator 1 0 0,"));
}

TEST_F(Hostile, LongLinesAndWriteErrorsStopTheCommand) {
  writeText("long.txt", "10 45\n" + std::string(70000, ' ') + "10 45\n10 45\n");
  const CommandRun longLine = senmod({"ground-to-image", model_, "-i", path("long.txt")});
  EXPECT_EQ(longLine.status, 1);
  EXPECT_EQ(numberRows(longLine.out).size(), 1u);
  EXPECT_TRUE(contains(longLine.err, path("long.txt") + ":2: the line is longer than 65536 bytes"));

  const CommandRun info = senmod({"info", model_}, "", "/dev/full");
  EXPECT_EQ(info.status, 2);
  EXPECT_TRUE(contains(info.err, "senmod: standard output: cannot write the output"));

  std::string many;
  for (int i = 0; i < 20000; ++i) many += "10 45\n";
  writeText("many.txt", many);
  for (const bool toFile : {false, true}) {
    std::vector<std::string> args = {"ground-to-image", model_, "-i", path("many.txt")};
    if (toFile) args.insert(args.end(), {"-o", "/dev/full"});
    const CommandRun full = senmod(args, "", toFile ? "" : "/dev/full");
    EXPECT_EQ(full.status, 2);
    // One message, at the first failed write.
    EXPECT_EQ(full.err, std::string("senmod: ") + (toFile ? "/dev/full" : "standard output") +
                            ": cannot write the output (No space left on device)\n");
  }
}

TEST_F(Hostile, PointsTheDemDoesNotAnswerAreCountedOrFail) {
  const auto dem = partialDem();
  // On the DEM; on the no-data column; east of the DEM; with its own height.
  writeText("ground.txt", "9.925 45.0\n9.955 45.0\n10.3 45.0\n9.93 45.05 100\n");
  const CommandRun run =
      senmod({"ground-to-image", model_, "--dem", dem->path(), "-i", path("ground.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "senmod: 2 of 3 points were off the DEM or on no-data; they used the mean height "
            "600 m\n");
  const CommandRun atMean =
      senmod({"ground-to-image", model_, "--height", "600", "-i", path("ground.txt")});
  const auto withDem = numberRows(run.out);
  const auto withMean = numberRows(atMean.out);
  ASSERT_EQ(withDem.size(), 4u);
  EXPECT_EQ(withDem[0], withMean[0]);  // the DEM is flat at its mean
  EXPECT_EQ(withDem[1], withMean[1]);
  EXPECT_EQ(withDem[2], withMean[2]);

  const CommandRun strict = senmod(
      {"ground-to-image", model_, "--dem", dem->path(), "--strict-dem", "-i", path("ground.txt")});
  EXPECT_EQ(strict.status, 1);
  const auto rows = numberRows(strict.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_TRUE(std::isnan(rows[1][0]) && std::isnan(rows[2][0]));
  EXPECT_EQ(rows[3], withDem[3]);
  EXPECT_EQ(strict.err, "senmod: " + path("ground.txt") +
                            ":2: the point is off the DEM or on no-data (--strict-dem)\nsenmod: " +
                            path("ground.txt") +
                            ":3: the point is off the DEM or on no-data (--strict-dem)\nsenmod: 2 "
                            "of 4 points failed: 2 off the DEM (--strict-dem)\n");

  // From the image: the first point lands west of the DEM.
  writeText("image.txt", "100 400\n");
  const CommandRun down =
      senmod({"image-to-ground", model_, "--dem", dem->path(), "-i", path("image.txt")});
  ASSERT_EQ(down.status, 0) << down.err;
  EXPECT_EQ(numberRows(down.out)[0][2], 600.0);
  EXPECT_TRUE(contains(down.err, "1 of 1 points were off the DEM"));
  EXPECT_EQ(senmod({"image-to-ground", model_, "--dem", dem->path(), "--strict-dem", "-i",
                    path("image.txt")})
                .status,
            1);

  // A DEM without a valid cell has no mean: the model's own mean height (250 m) is used.
  const auto empty = partialDem(true);
  const CommandRun none =
      senmod({"image-to-ground", model_, "--dem", empty->path(), "-i", path("image.txt")});
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(numberRows(none.out)[0][2], 250.0);
  EXPECT_TRUE(contains(none.err,
                       "1 of 1 points were off the DEM or on no-data; they used the "
                       "mean height 250 m"));
  // The footprint and the ortho take that DEM the same way: the mean height, no failure.
  const CommandRun outline = senmod({"footprint", model_, "--dem", empty->path()});
  ASSERT_EQ(outline.status, 0) << outline.err;
  const CommandRun atModelMean = senmod({"footprint", model_, "--height", "250"});
  EXPECT_EQ(outline.out.substr(outline.out.find("\"geometry\"")),
            atModelMean.out.substr(atModelMean.out.find("\"geometry\"")));
  const CommandRun ortho = senmod({"ortho", model_, "--dem", empty->path(), "-o",
                                   path("empty.tif"), "--tr", "50", "50", "--quiet"});
  EXPECT_EQ(ortho.status, 0) << ortho.err;
}

TEST_F(Hostile, ImageToGroundResultsThatMissTheirPixelFail) {
  // A sample polynomial cubic in x: far outside the image the inversion's five passes end well
  // short of the solution; made strongly cubic, they do so along the image's edges too.
  auto cubicModel = [&](double cubicTerm, const std::string& name) {
    const SyntheticModel m{'G', 1, 1};
    nitf_builder::Fields fields;
    for (const auto& f : syntheticSectionFields(m, 1, 1)) {
      if (f.first == "CNPWRX") {
        fields.insert(fields.end(),
                      {{"CNPWRX", "3"}, {"CNPWRY", "1"}, {"CNPWRZ", "1"}, {"CNTRMS", "016"}});
        for (int i = 0; i < 16; ++i) {
          const double c = i == 1   ? 0.9
                           : i == 3 ? cubicTerm
                           : i == 4 ? 0.05
                           : i == 8 ? 0.02
                                    : 0.0;
          fields.push_back({"CNPCF", nitf_builder::real(c)});
        }
      }
      if (f.first.rfind("CNP", 0) != 0 && f.first != "CNTRMS") fields.push_back(f);
    }
    auto records = syntheticRecords(m);
    records[1].second = nitf_builder::encodeTre("RSMPCA", fields);
    nitf_builder::NitfImage desc;
    desc.tres = records;
    return nitf(name, desc);
  };
  const std::string cubic = cubicModel(5.0, "cubic.ntf");
  // The outline takes the same check as the points: no footprint of unconverged points.
  const std::string folded = cubicModel(60.0, "folded.ntf");
  const CommandRun outline = senmod({"footprint", folded});
  EXPECT_EQ(outline.status, 0);
  EXPECT_TRUE(contains(outline.err, "warning: 51 points of the image's edges do not reach the "
                                    "ground and are left out of the footprint"));
  const CommandRun sparse = senmod({"footprint", folded, "--step", "1000"});
  EXPECT_EQ(sparse.status, 2);
  EXPECT_TRUE(contains(sparse.err, "too few points of the image's edges reach the ground"));
  writeText("image.txt", "500 400\n25500 400\n600 300\n");
  // Far outside the image domain: extrapolated, so that the iteration's own failure shows.
  const CommandRun run =
      senmod({"image-to-ground", cubic, "--extrapolate", "-i", path("image.txt")});
  EXPECT_EQ(run.status, 1);
  const auto rows = numberRows(run.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(std::isnan(rows[1][0]));
  EXPECT_TRUE(contains(run.err, path("image.txt") +
                                    ":2: the result does not map back to the image point: it "
                                    "lands "));
  EXPECT_TRUE(contains(run.err, " pixels away (--max-residual 0.001)"));

  const CommandRun loose =
      senmod({"image-to-ground", cubic, "--extrapolate", "--max-residual", "1e9", "-i",
              path("image.txt")});
  EXPECT_EQ(loose.status, 0) << loose.err;
  EXPECT_EQ(numberRows(loose.out).size(), 3u);
  EXPECT_EQ(senmod({"image-to-ground", cubic, "--max-residual", "-1"}).status, 2);
}

TEST_F(Hostile, ModelFilesGetTheInternalCoordinateSystem) {
  senmod_io::LoadedModel model = senmod_io::loadModel(model_);
  ErrorReport* report = nullptr;
  Hprj_Projection* utm = hprj_ProjectionFromDefinition("EPSG:32632", &report);
  ASSERT_NE(utm, nullptr);
  Hprj_ElevationInfo* heights =
      hprj_ElevationInfoCreateByName("WGS 84", "WGS 84", "meters", "height", &report);
  smod_RSMCoordinateSystemSet(model.xform->model, utm, "meters", heights, &report);
  hprj_ProjectionFree(&utm);
  hprj_ElevationInfoFree(&heights);
  ASSERT_EQ(report, nullptr) << senmod_io::takeReportText(&report);
  senmod_io::saveModel(model, path("utm.smod"));

  const CommandRun info = senmod({"info", path("utm.smod")});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_TRUE(contains(info.out,
                       "output coordinate system: Geographic (Lat/Lon), WGS 84; "
                       "horizontal units degrees"));
  const auto dem = partialDem();
  writeText("ground.txt", "9.925 45.0\n");
  const CommandRun fromFile =
      senmod({"ground-to-image", path("utm.smod"), "--dem", dem->path(), "-i", path("ground.txt")});
  const CommandRun fromNitf =
      senmod({"ground-to-image", model_, "--dem", dem->path(), "-i", path("ground.txt")});
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  EXPECT_EQ(fromFile.out, fromNitf.out);
  EXPECT_EQ(fromFile.err, "");
}

}  // namespace
