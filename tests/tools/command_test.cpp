// The senmod command: its formats, the precedence of heights, exit statuses and messages.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "command_text.h"
#include "model_loader.h"
#include "support/dem_builder.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

class Command : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    nitf_builder::NitfImage desc;
    desc.tres = syntheticRecords({'G', 2, 2});
    model_ = nitf("model.ntf", desc);
    senmod_test::InclinedPlaneDem dem;
    dem.west = 9.0;
    dem.north = 46.0;
    dem.cellX = dem.cellY = 0.01;
    dem.columns = dem.rows = 200;
    dem.h0 = 500.0;
    dem.gx = 30.0;
    dem.gy = -5.0;
    dem_ = std::make_unique<senmod_test::Dem>(dem);
  }

  // The library's own answer for one point at height h, through the reader.
  std::vector<double> direct(bool groundToImage, double x, double y, double h) {
    senmod_io::LoadedModel model = senmod_io::loadModel(model_);
    model.xform->model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
    const double in[3] = {x, y, h};
    std::vector<double> out(2);
    ErrorReport* report = nullptr;
    smod_RSMXformTransform3DTo2D(model.xform.get(), 1, in, out.data(), &report);
    EXPECT_EQ(report, nullptr);
    return out;
  }

  std::string model_;
  std::unique_ptr<senmod_test::Dem> dem_;
};

TEST_F(Command, GroundToImageTakesTheLineHeightThenTheOptionThenTheMean) {
  writeText("in.txt", "# longitude latitude [height]\n10.0 45.0 100\n\n  10.001,45.002\n"
                      "10.002, 45.001, 300\n");
  const CommandRun withOption =
      senmod({"ground-to-image", model_, "--height", "700", "-i", path("in.txt")});
  ASSERT_EQ(withOption.status, 0) << withOption.err;
  EXPECT_EQ(withOption.err, "");
  const auto lines = numberRows(withOption.out);
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& l : lines) EXPECT_EQ(l.size(), 2u);
  // Written with enough digits to give back the library's doubles exactly.
  EXPECT_EQ(lines[0], direct(true, 10.0, 45.0, 100.0));
  EXPECT_EQ(lines[1], direct(true, 10.001, 45.002, 700.0));
  EXPECT_EQ(lines[2], direct(true, 10.002, 45.001, 300.0));

  const CommandRun withMean = senmod({"ground-to-image", model_, "-i", path("in.txt")});
  ASSERT_EQ(withMean.status, 0);
  EXPECT_EQ(numberRows(withMean.out)[1], direct(true, 10.001, 45.002, 250.0));

  const CommandRun withDem =
      senmod({"ground-to-image", model_, "--dem", dem_->path(), "-i", path("in.txt")});
  ASSERT_EQ(withDem.status, 0) << withDem.err;
  const auto demLines = numberRows(withDem.out);
  EXPECT_EQ(demLines[0], lines[0]);
  const auto expected = direct(true, 10.001, 45.002, dem_->Height(10.001, 45.002));
  EXPECT_NEAR(demLines[1][0], expected[0], 1e-6);
  EXPECT_NEAR(demLines[1][1], expected[1], 1e-6);
}

TEST_F(Command, ImageToGroundLandsOnTheDemAndComesBack) {
  writeText("in.txt", "100 100\n500.5 400.25\n900 700\n");
  const CommandRun run = senmod({"image-to-ground", model_, "--dem", dem_->path(), "-i",
                                 path("in.txt"), "-o", path("ground.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const auto ground = numberRows(readText("ground.txt"));
  ASSERT_EQ(ground.size(), 3u);
  for (const auto& g : ground) {
    ASSERT_EQ(g.size(), 3u);
    EXPECT_NEAR(g[2], dem_->Height(g[0], g[1]), 0.05);
  }
  const CommandRun back =
      senmod({"ground-to-image", model_, "--dem", dem_->path(), "-i", path("ground.txt")});
  ASSERT_EQ(back.status, 0);
  const auto image = numberRows(back.out);
  const double expected[3][2] = {{100, 100}, {500.5, 400.25}, {900, 700}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(image[i][0], expected[i][0], 1e-6);
    EXPECT_NEAR(image[i][1], expected[i][1], 1e-6);
  }

  const CommandRun mean = senmod({"image-to-ground", model_, "-i", path("in.txt")});
  ASSERT_EQ(mean.status, 0);
  const std::vector<double> second = numberRows(mean.out)[1];
  EXPECT_EQ(second, (std::vector<double>{direct(false, 500.5, 400.25, 250.0)[0],
                                         direct(false, 500.5, 400.25, 250.0)[1], 250.0}));
  const CommandRun fixed = senmod({"image-to-ground", model_, "--height", "123.5", "-i",
                                   path("in.txt")});
  EXPECT_EQ(numberRows(fixed.out)[2][2], 123.5);
}

TEST_F(Command, BadCommandLinesModelsAndDemsExitWithTwo) {
  const CommandRun none = senmod({});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(contains(none.err, "usage: senmod info MODEL"));
  EXPECT_EQ(senmod({"frobnicate", model_}).status, 2);
  EXPECT_EQ(senmod({"info"}).status, 2);
  EXPECT_EQ(senmod({"info", model_, "extra"}).status, 2);
  EXPECT_EQ(senmod({"ground-to-image", model_, "--dem", dem_->path(), "--height", "1"}).status, 2);
  EXPECT_TRUE(contains(senmod({"image-to-ground", model_, "--height", "abc"}).err,
                       "--height needs a number"));

  const CommandRun missing = senmod({"info", path("nowhere.ntf")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(contains(missing.err, path("nowhere.ntf") + ": "));

  writeText("in.txt", "10 45\n");
  writeText("notadem.tif", "plain text");
  const CommandRun badDem = senmod({"ground-to-image", model_, "--dem", path("notadem.tif"),
                                    "-i", path("in.txt")});
  EXPECT_EQ(badDem.status, 2);
  EXPECT_TRUE(contains(badDem.err, path("notadem.tif") + ": the DEM cannot be read"));
  EXPECT_EQ(badDem.out, "");

  // A bad record is a model that cannot be read.
  nitf_builder::NitfImage desc;
  auto records = syntheticRecords({'G', 1, 1});
  records.pop_back();
  desc.tres = records;
  const CommandRun bad = senmod({"info", nitf("bad.ntf", desc)});
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(contains(bad.err, "bad.ntf: no RSMPCA record"));
}

TEST_F(Command, MalformedLineStopsWithOneAfterTheGoodPoints) {
  writeText("in.txt", "10 45\n# note\n10.001 45\nabc 45\n10 45\n");
  const CommandRun file = senmod({"ground-to-image", model_, "-i", path("in.txt")});
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(numberRows(file.out).size(), 2u);
  EXPECT_TRUE(contains(file.err, path("in.txt") + ":4: malformed line"));

  writeText("four.txt", "1 2\n1 2 3 4\n");
  const CommandRun stdinRun = senmod({"image-to-ground", model_}, path("four.txt"));
  EXPECT_EQ(stdinRun.status, 1);
  EXPECT_EQ(numberRows(stdinRun.out).size(), 1u);
  EXPECT_TRUE(contains(stdinRun.err, "standard input:2: malformed line"));
}

TEST_F(Command, ManyBlocksComeOutInInputOrderWithTheirLineNumbers) {
  // More lines than several workers take at once; a malformed line far down.
  std::string text, first, second;
  for (int i = 0; i < 150000; ++i) {
    const std::string line = std::to_string(100 + i % 800) + " " + std::to_string(50 + i % 700) +
                             "." + std::to_string(i % 10) + (i % 7 ? "\n" : " 300\n");
    text += line;
    (i < 75000 ? first : second) += line;
  }
  writeText("all.txt", text + "# note\n1 2 x\n3 4\n");
  writeText("first.txt", first);
  writeText("second.txt", second);
  const CommandRun all = senmod({"image-to-ground", model_, "-i", path("all.txt")});
  EXPECT_EQ(all.status, 1);
  EXPECT_EQ(all.err, "senmod: " + path("all.txt") +
                         ":150002: malformed line: expected sample row [height]\n");
  const CommandRun one = senmod({"image-to-ground", model_, "-i", path("first.txt")});
  const CommandRun two = senmod({"image-to-ground", model_, "-i", path("second.txt")});
  ASSERT_EQ(one.status, 0);
  ASSERT_EQ(two.status, 0);
  EXPECT_TRUE(all.out == one.out + two.out);
}

TEST_F(Command, FailingPointIsWrittenAsNanAndTheOthersGoOn) {
  // A sample denominator that is zero at the height of the domain's middle.
  const SyntheticModel m{'G', 1, 1};
  nitf_builder::Fields fields;
  for (const auto& f : syntheticSectionFields(m, 1, 1)) {
    if (f.first.rfind("CD", 0) == 0) continue;
    fields.push_back(f);
  }
  for (const auto& f : nitf_builder::Fields{{"CDPWRX", "0"}, {"CDPWRY", "0"}, {"CDPWRZ", "1"},
                                            {"CDTRMS", "002"},
                                            {"CDPCF", nitf_builder::real(0.0)},
                                            {"CDPCF", nitf_builder::real(1.0)}}) {
    fields.push_back(f);
  }
  auto records = syntheticRecords(m);
  records[1].second = nitf_builder::encodeTre("RSMPCA", fields);
  nitf_builder::NitfImage desc;
  desc.tres = records;
  const std::string model = nitf("zero.ntf", desc);
  // The failed point is written as nan nan in its place and the others go on; its line and the
  // count per reason go to standard error, and the status says something failed.
  writeText("in.txt", "10.005 45 100\n10 45 500\n10.003 45 100\n");
  const CommandRun run = senmod({"ground-to-image", model, "-i", path("in.txt")});
  EXPECT_EQ(run.status, 1);
  const auto rows = numberRows(run.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(std::isnan(rows[1][0]) && std::isnan(rows[1][1]));
  EXPECT_TRUE(std::isfinite(rows[0][0]) && std::isfinite(rows[2][0]));
  EXPECT_TRUE(contains(run.err, path("in.txt") + ":2: the point cannot be transformed"));
  EXPECT_TRUE(contains(run.err, "1 of 3 points failed: 1 that cannot be transformed"));
  // --stop-on-error stops there, after the points before it.
  const CommandRun stop =
      senmod({"ground-to-image", model, "-i", path("in.txt"), "--stop-on-error"});
  EXPECT_EQ(stop.status, 1);
  EXPECT_EQ(numberRows(stop.out).size(), 1u);
  EXPECT_TRUE(contains(stop.err, path("in.txt") + ":2: the point cannot be transformed"));
}

TEST_F(Command, InfoDescribesTheModel) {
  nitf_builder::NitfImage desc;
  desc.tres = syntheticRecords({'H', 2, 3});
  const std::string hybrid = nitf("hybrid.ntf", desc);
  const CommandRun text = senmod({"info", hybrid});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_TRUE(contains(text.out, "source: NITF RSM records"));
  EXPECT_TRUE(contains(text.out, "image domain: samples 0 to 999, rows 0 to 799"));
  EXPECT_TRUE(contains(text.out, "ground domain kind: geodetic hybrid"));
  EXPECT_TRUE(contains(text.out, "section grid: 2 x 3 (rows x columns)"));
  EXPECT_TRUE(contains(text.out, "powers (6 sections): sample numerator 1 1 1"));
  EXPECT_TRUE(contains(text.out, "error covariance records: none"));
  EXPECT_TRUE(contains(text.out, "output coordinate system: Geographic (Lat/Lon), WGS 84"));
  // Vertices in degrees (the records' radians times 180 / pi).
  EXPECT_TRUE(contains(text.out, "ground domain vertices (longitude, latitude in degrees; height "
                                 "in meters):\n  189.4270422048694 44.54163376389533 0\n"));
  EXPECT_TRUE(contains(text.out, "mean height: 250 m\n"));

  desc.tres = syntheticRecords({'R', 1, 1});
  const CommandRun json = senmod({"info", nitf("rect.ntf", desc), "--json"});
  ASSERT_EQ(json.status, 0);
  EXPECT_EQ(json.out.front(), '{');
  EXPECT_TRUE(contains(json.out, "\"ground_domain\": {\"kind\": \"rectangular\", \"origin\": ["));
  EXPECT_TRUE(contains(json.out, "\"sections\": {\"rows\": 1, \"columns\": 1"));
  EXPECT_TRUE(contains(json.out, "\"error_covariance\": []"));
  EXPECT_TRUE(contains(json.out, "\"vertex_units\": [\"meters\", \"meters\", \"meters\"]"));
  EXPECT_FALSE(contains(json.out, "vertices_degrees"));
  const CommandRun geodetic = senmod({"info", hybrid, "--json"});
  EXPECT_TRUE(contains(geodetic.out, "\"vertex_units\": [\"radians\", \"radians\", \"meters\"], "
                                     "\"vertices\": [[3.30612557878923, 0.777398163397448, 0]"));
  EXPECT_TRUE(contains(geodetic.out, "\"vertices_degrees\": [[189.4270422048694, 44.54163376389533, 0], "));

  const CommandRun version = senmod({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("senmod ", 0), 0u);
  EXPECT_EQ(version.out.back(), '\n');
}

TEST_F(Command, ConvertedModelFileGivesTheSamePoints) {
  const CommandRun convert = senmod({"convert", model_, path("model.smod")});
  ASSERT_EQ(convert.status, 0) << convert.err;
  writeText("in.txt", "100 100\n500.5 400.25\n");
  const CommandRun fromNitf = senmod({"image-to-ground", model_, "-i", path("in.txt")});
  const CommandRun fromFile = senmod({"image-to-ground", path("model.smod"), "-i", path("in.txt")});
  ASSERT_EQ(fromFile.status, 0) << fromFile.err;
  EXPECT_EQ(fromFile.out, fromNitf.out);
  EXPECT_TRUE(contains(senmod({"info", path("model.smod")}).out, "source: NITF RSM records"));

  EXPECT_EQ(senmod({"convert", model_, path("no/such/dir/x.smod")}).status, 2);
  std::string bytes = readText("model.smod");
  writeText("cut.smod", bytes.substr(0, bytes.size() - 5));
  const CommandRun cut = senmod({"info", path("cut.smod")});
  EXPECT_EQ(cut.status, 2);
  EXPECT_TRUE(contains(cut.err, path("cut.smod") + ": the model file is damaged"));
}

TEST_F(Command, AGridAcrossTheSamplesSeamsMapsBackWhole) {
  // Image points every 50 pixels at 400 m: those on the seams between the sample's sections
  // converge in their own section, whatever the neighbour's polynomials give there.
  std::string grid;
  for (int r = 0; r <= 1000; r += 50) {
    for (int c = 0; c <= 1500; c += 50) grid += std::to_string(c) + " " + std::to_string(r) + " 400\n";
  }
  writeText("grid.txt", grid);
  const CommandRun run =
      senmod({"image-to-ground", sampleData("sample_rsm.ntf"), "-i", path("grid.txt")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(numberRows(run.out).size(), 651u);
}

TEST(CommandTexts, EveryOptionIsInItsCommandsHelpAndInTheManPage) {
  std::ifstream file(SENMOD_MANPAGE);
  const std::string man((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(man.empty());
  // roff writes each hyphen escaped.
  auto roff = [](std::string text) {
    for (size_t at = 0; (at = text.find('-', at)) != std::string::npos; at += 2) {
      text.insert(at, "\\");
    }
    return text;
  };
  for (int c = 0; c < senmod_cli::kCommandCount; ++c) {
    const std::string command = senmod_cli::kCommandTexts[c].name;
    const CommandRun help = senmod({command, "--help"});
    ASSERT_EQ(help.status, 0) << command;
    EXPECT_TRUE(contains(help.out, "usage: senmod " + command));
    EXPECT_TRUE(contains(man, ".B " + roff(command) + "\n"));
    for (int i = 0; i < senmod_cli::kOptionCount; ++i) {
      const senmod_cli::OptionText& o = senmod_cli::kOptionTexts[i];
      if (!senmod_cli::takes(o, command)) continue;
      EXPECT_TRUE(contains(help.out, std::string("  ") + o.name)) << command;
      if (*o.alias) {
        EXPECT_TRUE(contains(help.out, std::string(", ") + o.alias)) << command;
      }
      EXPECT_TRUE(contains(man, ".B " + roff(o.name))) << o.name;
    }
  }
  EXPECT_EQ(senmod({"info", "--nonsense"}).status, 2);
}

}  // namespace
