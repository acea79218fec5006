// NITF files with RSM records of every ground-domain kind and section grid, written with GDAL,
// become models that give the image positions their records describe; bad records are refused
// with a message that names the record and the field.
#include <cmath>

#include "model_loader.h"
#include "read_error.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;
using nitf_builder::real;

struct Layout {
  char kind;
  int rows, columns;
};

class RsmKinds : public ScratchTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(RsmKinds, ModelMapsGroundToTheRecordedImageAndBack) {
  const Layout layout = GetParam();
  const SyntheticModel synthetic{layout.kind, layout.rows, layout.columns};
  nitf_builder::NitfImage desc;
  desc.tres = syntheticRecords(synthetic);
  const std::string file = nitf("model.ntf", desc);
  const long blocks = hmsc_HeapLiveBlocks();
  {
    senmod_io::LoadedModel model = senmod_io::loadModel(file);
    EXPECT_EQ(model.source, "NITF RSM records");
    RSM_Xform* xform = model.xform.get();
    const RSM_Model_Orig& rsm = xform->model->rsm;
    EXPECT_EQ(rsm.grndd.count, layout.kind == 'R' ? 12 : layout.kind == 'H' ? 1 : 0);
    ASSERT_EQ(rsm.RationalPolyList.count, layout.rows * layout.columns);
    ASSERT_EQ(rsm.imageDomain.count, 4);
    EXPECT_EQ(rsm.imageDomain.data[1], 999.0);  // maximum column before minimum row
    EXPECT_EQ(rsm.imageDomain.data[2], 0.0);
    EXPECT_EQ(rsm.groundDomain.count, 24);
    EXPECT_NE(rsm.obsoletePlaceHolder0, nullptr);
    for (int i = 0; i < rsm.RationalPolyList.count; ++i) {
      const RSMFunctions& s = rsm.RationalPolyList.data[i];
      EXPECT_EQ(s.columnSection + s.rowSection * layout.columns, i);
      EXPECT_EQ(s.imageToGroundPoly.count, 7);
      EXPECT_EQ(s.Offsets[3], 500.0);  // column before row
      EXPECT_EQ(s.Offsets[4], 400.0);
    }
    // With a reference point its height, else the middle of the domain's heights.
    EXPECT_NEAR(rsm.z_mean, layout.kind == 'R' ? 400.0 : 250.0, 1.0);

    const double base = layout.kind == 'H' ? -170.0 : 10.0;
    for (const double f : {0.1, 0.5, 0.9}) {
      const double map[3] = {base - 0.4 + 0.8 * f, 45.3 - 0.6 * f, 100.0 + 600.0 * f};
      double x, y, z, sample, row;
      syntheticFromMap(synthetic, map[0], map[1], map[2], x, y, z);
      syntheticImage(synthetic, x, y, z, sample, row);
      if (layout.kind == 'R') {
        // The rectangular sample spans a few kilometres only.
        syntheticGround(synthetic, f, 1.0 - f, f, x, y, z);
        syntheticImage(synthetic, x, y, z, sample, row);
      }
      double image[2];
      ErrorReport* report = nullptr;
      xform->model->rsm.groundToImageTransform = SMOD_FALSE;
      const double in[3] = {sample, row, layout.kind == 'R' ? 250.0 : map[2]};
      double ground[2];
      smod_RSMXformTransform3DTo2D(xform, 1, in, ground, &report);
      ASSERT_EQ(report, nullptr);
      if (layout.kind != 'R') {
        EXPECT_NEAR(ground[0], map[0], 1e-9);
        EXPECT_NEAR(ground[1], map[1], 1e-9);
      }
      xform->model->rsm.groundToImageTransform = SMOD_TRUE;
      const double back[3] = {ground[0], ground[1], in[2]};
      smod_RSMXformTransform3DTo2D(xform, 1, back, image, &report);
      ASSERT_EQ(report, nullptr);
      double gx, gy, gz, expectedSample, expectedRow;
      syntheticFromMap(synthetic, ground[0], ground[1], in[2], gx, gy, gz);
      syntheticImage(synthetic, gx, gy, gz, expectedSample, expectedRow);
      EXPECT_NEAR(image[0], expectedSample, 1e-6);
      EXPECT_NEAR(image[1], expectedRow, 1e-6);
      EXPECT_NEAR(image[0], sample, 1e-6);
      EXPECT_NEAR(image[1], row, 1e-6);
    }
  }
  EXPECT_EQ(hmsc_HeapLiveBlocks(), blocks);
}

INSTANTIATE_TEST_SUITE_P(KindsAndGrids, RsmKinds,
                         ::testing::Values(Layout{'G', 1, 1}, Layout{'G', 2, 3}, Layout{'H', 1, 1},
                                           Layout{'H', 2, 2}, Layout{'R', 1, 1},
                                           Layout{'R', 3, 2}));

// Replaces the value of field (its first occurrence) in a field list.
nitf_builder::Fields with(nitf_builder::Fields fields, const std::string& field,
                          const std::string& value) {
  for (auto& f : fields) {
    if (f.first == field) {
      f.second = value;
      break;
    }
  }
  return fields;
}

class RsmRefusals : public ScratchTest {
 protected:
  // The message the reader gives for the file with these records.
  std::string refusal(const std::vector<std::pair<std::string, std::string>>& records) {
    nitf_builder::NitfImage desc;
    desc.tres = records;
    const std::string file = nitf("bad.ntf", desc);
    try {
      senmod_io::loadModel(file);
    } catch (const senmod_io::ReadError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(file + ": ", 0), 0u) << message;
      return message;
    }
    ADD_FAILURE() << "the model was accepted";
    return "";
  }
  std::vector<std::pair<std::string, std::string>> withSection(
      const SyntheticModel& m, const nitf_builder::Fields& fields, size_t at = 1) {
    auto records = syntheticRecords(m);
    records[at].second = nitf_builder::encodeTre("RSMPCA", fields);
    return records;
  }
};

TEST_F(RsmRefusals, BadSectionFieldsAreNamed) {
  const SyntheticModel m{'G', 1, 1};
  const auto fields = syntheticSectionFields(m, 1, 1);
  EXPECT_TRUE(contains(refusal(withSection(m, with(fields, "XNRMSF", real(0.0)))),
                       "RSMPCA section 1, 1: field XNRMSF: zero"));
  EXPECT_TRUE(contains(refusal(withSection(m, with(fields, "CNPWRY", "6"))), "field CNPWRY: 6 is outside 0 to 5"));
  EXPECT_TRUE(contains(refusal(withSection(m, with(fields, "ZNRMO", "abc"))), "field ZNRMO: \"abc\" is not a number"));

  // Seven coefficients where powers 1, 1, 1 need eight.
  nitf_builder::Fields fewer = with(fields, "RNTRMS", "007");
  for (auto it = fewer.begin(); it != fewer.end(); ++it) {
    if (it->first == "RNPCF") {
      fewer.erase(it);
      break;
    }
  }
  EXPECT_TRUE(contains(refusal(withSection(m, fewer)), "field RNTRMS: 7 terms where powers 1, 1, 1 need 8"));
}

TEST_F(RsmRefusals, SectionsMustFillTheirGrid) {
  const SyntheticModel m{'G', 2, 2};
  auto records = syntheticRecords(m);  // RSMIDA, RSMPIA, 4 x RSMPCA
  auto missing = records;
  missing.pop_back();
  EXPECT_TRUE(contains(refusal(missing), "3 RSMPCA records where the section grid of 2 x 2 needs 4"));

  auto twice = records;
  twice[5] = twice[2];
  EXPECT_TRUE(contains(refusal(twice), "RSMPCA section 1, 1: field RSN: the section is given twice"));

  EXPECT_TRUE(contains(refusal(withSection(m, with(syntheticSectionFields(m, 1, 1), "RSN", "003"), 2)), "field RSN: 003 is outside 1 to 2"));

  // A grid whose total does not match its rows and columns.
  std::string index = records[1].second;
  const size_t tnis = index.size() - 2 * 21 - 3;
  index.replace(tnis, 3, "003");
  records[1].second = index;
  EXPECT_TRUE(contains(refusal(records), "RSMPIA: field TNIS: 3 sections do not fill a grid of 2 x 2"));
}

TEST_F(RsmRefusals, IdentificationAndGridOnlyModels) {
  const SyntheticModel m{'G', 1, 1};
  auto records = syntheticRecords(m);
  auto badKind = records;
  badKind[0].second[80 + 40 * 4 + 4 + 2 * 4 + 9 + 8 + 8 + 21 + 21] = 'X';
  EXPECT_TRUE(contains(refusal(badKind), "RSMIDA: field GRNDD: \"X\" is not G, H or R"));

  auto noIdentification = records;
  noIdentification.erase(noIdentification.begin());
  EXPECT_TRUE(contains(refusal(noIdentification), "no RSMIDA record"));

  // A grid record in place of the polynomials.
  auto grid = records;
  grid[1] = {"RSMGGA", std::string(390, '0')};
  EXPECT_TRUE(contains(refusal(grid), "given only as a grid (RSMGGA)"));
}

}  // namespace

namespace {

TEST_F(RsmRefusals, AdjustableParametersFillTheirRecord) {
  using nitf_builder::real;
  nitf_builder::Fields apa = {{"IID", "SYNTHETIC"}, {"EDITION", "1"}, {"TID", "T7"},
                              {"NPAR", "02"}};
  for (const char* f : {"XUOL", "YUOL", "ZUOL", "XUXL", "XUYL", "XUZL", "YUXL", "YUYL", "YUZL",
                        "ZUXL", "ZUYL", "ZUZL"}) {
    apa.push_back({f, real(f[0] == 'X' ? 1.0 : 0.5)});
  }
  for (const char* f : {"IRO", "IRX", "IRY", "IRZ", "IRXX", "IRXY", "IRXZ", "IRYY", "IRYZ",
                        "IRZZ", "IC0", "ICX", "ICY", "ICZ", "ICXX", "ICXY", "ICXZ", "ICYY",
                        "ICYZ", "ICZZ", "GXO", "GYO", "GZO", "GXR", "GYR", "GZR", "GS", "GXX",
                        "GXY", "GXZ", "GYX", "GYY", "GYZ", "GZX", "GZY", "GZZ"}) {
    const std::string name = f;
    apa.push_back({f, name == "IC0" ? "01" : name == "GZZ" ? "02" : ""});
  }
  apa.push_back({"PARVAL", real(1.25)});
  apa.push_back({"PARVAL", real(-3.5)});
  nitf_builder::NitfImage desc;
  desc.tres = syntheticRecords({'G', 1, 1});
  desc.tres.push_back({"RSMAPA", nitf_builder::encodeTre("RSMAPA", apa)});
  const senmod_io::LoadedModel model = senmod_io::loadModel(nitf("apa.ntf", desc));
  ASSERT_TRUE(model.covariance.apa);
  const Smod_RSMAPA& r = *model.covariance.apa;
  EXPECT_STREQ(r.tid.data, "T7");
  EXPECT_EQ(r.tid.count, 3);  // the count includes the terminating zero
  EXPECT_EQ(r.npar, 2);
  EXPECT_EQ(r.xuol, 1.0);
  EXPECT_EQ(r.yuol, 0.5);
  EXPECT_EQ(r.ico, 1);
  EXPECT_EQ(r.iro, 0);
  EXPECT_EQ(r.gzz, 2);
  ASSERT_EQ(r.parval.count, 2);
  EXPECT_EQ(r.parval.data[1], -3.5);
}

}  // namespace
