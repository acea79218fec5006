// NGA's sample image i_6130a (frame sensor, rectangular ground domain): its RSM records written
// into a NITF file with GDAL, read back by the reader and the command, reproduce NGA's table.
#include <cpl_minixml.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "model_loader.h"
#include "read_error.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

struct Expected {
  double row, column, height, latitude, longitude;
};

std::vector<Expected> table() {
  std::ifstream in(testData("nga-i6130a/point_calculations.csv"));
  std::vector<Expected> points;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    Expected e{};
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf", &e.row, &e.column, &e.height,
                    &e.latitude, &e.longitude) == 5) {
      points.push_back(e);
    }
  }
  return points;
}

// Ground distance (m) between two geographic points a few meters apart.
double meters(double lat1, double lon1, double lat2, double lon2) {
  const double rad = 3.14159265358979323846 / 180.0;
  const double north = (lat2 - lat1) * rad * 6356752.3;
  const double east = (lon2 - lon1) * rad * 6378137.0 * std::cos(lat1 * rad);
  return std::hypot(north, east);
}

class NgaReference : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::ifstream in(testData("nga-i6130a/i_6130a_tres.xml"));
    std::stringstream xml;
    xml << in.rdbuf();
    xml_ = xml.str();
    file_ = nitfOfRecords("i_6130a.ntf", xml_);
    points_ = table();
    ASSERT_GE(points_.size(), 32u);
  }

  std::string xml_;
  std::string file_;
  std::vector<Expected> points_;
};

TEST_F(NgaReference, ReaderReproducesTheTableBothWays) {
  senmod_io::LoadedModel model = senmod_io::loadModel(file_);
  RSM_Xform* xform = model.xform.get();
  EXPECT_EQ(xform->model->rsm.grndd.count, 12);
  EXPECT_TRUE(model.covariance.dca && model.covariance.eca);
  EXPECT_FALSE(model.covariance.apa);

  for (size_t i = 0; i < points_.size(); ++i) {
    const Expected& e = points_[i];
    xform->model->rsm.groundToImageTransform = SMOD_FALSE;
    const double image[3] = {e.column, e.row, e.height};
    double ground[2] = {0.0, 0.0};
    ErrorReport* report = nullptr;
    smod_RSMXformTransform3DTo2D(xform, 1, image, ground, &report);
    ASSERT_EQ(report, nullptr) << herr_ErrorReportMessage(report);
    const double error = meters(e.latitude, e.longitude, ground[1], ground[0]);
    EXPECT_LT(error, i < 32 ? 0.005 : 0.05) << "point " << i;

    xform->model->rsm.groundToImageTransform = SMOD_TRUE;
    const double map[3] = {e.longitude, e.latitude, e.height};
    double back[2] = {0.0, 0.0};
    smod_RSMXformTransform3DTo2D(xform, 1, map, back, &report);
    ASSERT_EQ(report, nullptr);
    if (i < 32) {
      EXPECT_NEAR(back[0], e.column, 0.001) << "point " << i;
      EXPECT_NEAR(back[1], e.row, 0.001) << "point " << i;
    }
  }
}

TEST_F(NgaReference, CommandReproducesTheTable) {
  std::string input;
  for (const Expected& e : points_) {
    input += std::to_string(e.column) + "," + std::to_string(e.row) + "," +
             std::to_string(e.height) + "\n";
  }
  writeText("image.txt", input);
  const CommandRun run = senmod({"image-to-ground", file_, "-i", path("image.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream out(run.out);
  for (size_t i = 0; i < points_.size(); ++i) {
    double lon = 0, lat = 0, h = 0;
    ASSERT_TRUE(out >> lon >> lat >> h);
    EXPECT_EQ(h, points_[i].height);
    EXPECT_LT(meters(points_[i].latitude, points_[i].longitude, lat, lon), i < 32 ? 0.005 : 0.05)
        << "point " << i;
  }
}

}  // namespace

namespace {

TEST_F(NgaReference, CovarianceRecordsCarryTheirFields) {
  const senmod_io::LoadedModel model = senmod_io::loadModel(file_);
  const Smod_RSMDCA& dca = *model.covariance.dca;
  EXPECT_EQ(dca.npar, 6);
  EXPECT_EQ(dca.nimge, 1);
  EXPECT_EQ(dca.npart, 6);
  EXPECT_STREQ(dca.iidi.data, "2_8");
  ASSERT_EQ(dca.npari.count, 1);
  EXPECT_EQ(dca.npari.data[0], 6);
  EXPECT_EQ(dca.xuol, -2.42965895449297E+06);
  EXPECT_EQ(dca.zuzl, 5.47004172461403E-01);
  EXPECT_EQ(dca.gxo, 1);
  EXPECT_EQ(dca.gzr, 6);
  EXPECT_EQ(dca.gs, 0);  // blank: not adjusted
  ASSERT_EQ(dca.dercov.count, 21);
  EXPECT_EQ(dca.dercov.data[0], 5.77388827727787E+04);

  const Smod_RSMECA& eca = *model.covariance.eca;
  EXPECT_STREQ(eca.inclic.data, "Y");
  EXPECT_STREQ(eca.incluc.data, "N");
  EXPECT_EQ(eca.npar, 6);
  EXPECT_EQ(eca.nparo, 7);
  EXPECT_EQ(eca.ign, 1);
  EXPECT_EQ(eca.numopg, 7);
  EXPECT_EQ(eca.errcvg.count, 28);
  EXPECT_EQ(eca.errcvg.data[0], 1.0E+04);
  EXPECT_EQ(eca.tcdf, 1);
  EXPECT_EQ(eca.ncseg, 2);
  ASSERT_EQ(eca.corseg.count, 2);
  EXPECT_EQ(eca.corseg.data[0], 1.0);
  EXPECT_EQ(eca.tauseg.data[1], 1.0E-07);
  ASSERT_EQ(eca.map.count, 42);
  EXPECT_EQ(eca.map.data[0], -1.00008176833852E+00);
  EXPECT_EQ(eca.map.data[41], -9.45517636383226E-03);
  EXPECT_EQ(eca.ucorsr.count, 0);  // no unmodelled error
}

// RSMECA's counts are read one by one; these checks tie them together.
TEST_F(NgaReference, RsmEcaWhoseCountsOrIndicesDisagreeIsRefused) {
  const size_t eca = xml_.find("<tre name=\"RSMECA\"");
  ASSERT_NE(eca, std::string::npos);
  auto inEca = [&](std::string xml, const std::string& from, const std::string& to) {
    const size_t at = xml.find(from, eca);
    EXPECT_NE(at, std::string::npos) << from;
    return xml.replace(at, from.size(), to);
  };
  // Six original parameters, with a MAP of 6 x 6, against a group of seven.
  std::string fewer = inEca(xml_, "<field name=\"NPARO\" value=\"07\" />",
                            "<field name=\"NPARO\" value=\"06\" />");
  for (int i = 0; i < 6; ++i) {
    const size_t last = fewer.rfind("<field name=\"MAP\"");
    fewer.erase(last, fewer.find("/>", last) + 2 - last);
  }
  const std::string index = inEca(xml_, "<field name=\"IRX\" value=\"\" />",
                                  "<field name=\"IRX\" value=\"07\" />");
  const std::pair<std::string, std::string> cases[] = {
      {fewer, "RSMECA: field NUMOPG: 7 parameters in the one group, but NPARO is 6"},
      {index, "RSMECA: field IRX: parameter 7 of 6 (NPAR)"}};
  for (const auto& [xml, message] : cases) {
    const std::string file = nitfOfRecords("eca.ntf", xml);
    try {
      senmod_io::loadModel(file);
      ADD_FAILURE() << message << " was accepted";
    } catch (const senmod_io::ReadError& e) {
      EXPECT_EQ(std::string(e.what()), file + ": " + message);
    }
  }
}

}  // namespace
