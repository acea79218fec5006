// Covariance records of both editions made into a model's adjustable parameters, and the
// parameters kept by model files: NGA's i_6130a records, and B records built here whose
// parameters are worked out by hand; the accuracy NGA's records give.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "local_frame.h"
#include "model_loader.h"
#include "model_summary.h"
#include "parameter_values.h"
#include "point_engine.h"
#include "propagation.h"
#include "read_error.h"
#include "rsm_b_records.h"
#include "senmod/senmod_io.h"
#include "support/refusal.h"
#include "stored_parameters.h"
#include "tool_fixtures.h"

namespace {

using senmod_io::AdjustableParameters;
using senmod_io::AdjustmentTerm;
using senmod_io::GroundTerm;
using senmod_io::ReadError;
using senmod_io::Tre;
using senmod_io::TreField;

std::vector<Tre> ngaRecords() {
  std::ifstream in(tooltest::testData("nga-i6130a/i_6130a_tres.xml"));
  std::stringstream xml;
  xml << in.rdbuf();
  return senmod_io::parseTreXml(xml.str(), "i_6130a");
}

std::vector<Tre> without(std::vector<Tre> records, const std::string& name) {
  records.erase(std::remove_if(records.begin(), records.end(),
                               [&](const Tre& t) { return t.name == name; }),
                records.end());
  return records;
}

Tre& named(std::vector<Tre>& records, const std::string& name) {
  return *std::find_if(records.begin(), records.end(), [&](const Tre& t) { return t.name == name; });
}

std::string& field(Tre& tre, const std::string& name) {
  return std::find_if(tre.fields.begin(), tre.fields.end(),
                      [&](const TreField& f) { return f.name == name; })
      ->value;
}

double largest(const std::vector<double>& values) {
  double m = 0.0;
  for (const double v : values) m = std::max(m, std::fabs(v));
  return m;
}

using testsupport::refusal;

senmod_io::LoadedModel load(const std::vector<Tre>& records) {
  return senmod_io::modelFromTreRecords(records, "i_6130a");
}

TEST(AdjustableParameters, NgaRecordsGiveTheSixGroundTermsAndOneCovarianceBothWays) {
  const std::vector<Tre> records = ngaRecords();
  const senmod_io::LoadedModel model = load(records);
  ASSERT_TRUE(model.parameters);
  const AdjustableParameters& p = *model.parameters;
  EXPECT_EQ(p.source, "RSMDCA, RSMECA");
  EXPECT_EQ(p.names, (std::vector<std::string>{"GXO", "GYO", "GZO", "GXR", "GYR", "GZR"}));
  ASSERT_EQ(p.terms.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(p.terms[i].kind, AdjustmentTerm::Kind::Ground);
    EXPECT_EQ(p.terms[i].ground, static_cast<GroundTerm>(i));
    EXPECT_EQ(p.terms[i].parameter, i);
  }
  EXPECT_EQ(p.origin[0], -2.42965895449297E+06);
  EXPECT_EQ(p.axes[8], 5.47004172461403E-01);
  EXPECT_EQ(p.values, std::vector<double>(6, 0.0));
  EXPECT_FALSE(p.applies());
  EXPECT_FALSE(p.unmodelled);
  // DERCOV's upper triangle, row by row.
  ASSERT_EQ(p.covariance.size(), 36u);
  EXPECT_EQ(p.covariance[0], 5.77388827727787E+04);
  EXPECT_EQ(p.covariance[1], 2.60049315375747E+03);
  EXPECT_EQ(p.covariance[6], 2.60049315375747E+03);
  EXPECT_EQ(p.covariance[7], 5.11824419774739E+04);

  // Without RSMDCA the covariance is RSMECA's MAP · ERRCVG · MAPᵀ: the same matrix.
  const senmod_io::LoadedModel indirect = load(without(records, "RSMDCA"));
  ASSERT_TRUE(indirect.parameters);
  EXPECT_EQ(indirect.parameters->source, "RSMECA");
  const double scale = largest(p.covariance);
  for (size_t i = 0; i < 36; ++i) {
    EXPECT_LE(std::fabs(indirect.parameters->covariance[i] - p.covariance[i]), 1e-14 * scale)
        << "element " << i;
  }

  const std::string json = senmod_io::summaryText(model, "f", true);
  EXPECT_NE(json.find("\"adjustable_parameters\": {\"count\": 6, \"names\": [\"GXO\", \"GYO\", "
                      "\"GZO\", \"GXR\", \"GYR\", \"GZR\"], \"source\": \"RSMDCA, RSMECA\", "
                      "\"values_apply\": false, \"covariance\": true, "
                      "\"unmodelled_error\": false}"),
            std::string::npos);
}

TEST(AdjustableParameters, ARecordsThatDefineDifferentParametersAreRefused) {
  std::vector<Tre> moved = ngaRecords();
  field(named(moved, "RSMECA"), "XUOL") = "-2.42965800000000E+06";
  EXPECT_EQ(refusal([&] { load(moved); }),
            "i_6130a: RSMDCA and RSMECA define different adjustable parameters: different "
            "frame origins");
  std::vector<Tre> slots = ngaRecords();
  field(named(slots, "RSMECA"), "GZR") = "";
  field(named(slots, "RSMECA"), "GS") = "06";
  EXPECT_EQ(refusal([&] { load(slots); }),
            "i_6130a: RSMDCA and RSMECA define different adjustable parameters: different terms");
}

// B records for i_6130a's image ("2_8"): a parameter record of three ground terms on a basis of
// two, the direct covariance of that basis, and an indirect record of three image-space terms in
// the ground domain's frame with two groups and the unmodelled error.
class BRecords : public tooltest::ScratchTest {
 protected:
  static std::vector<TreField> head(const char* id = "2_8") {
    return {{"IID", id}, {"EDITION", "1101222272-2"}, {"TID", "T"}};
  }
  static void frame(std::vector<TreField>& f) {
    const char* names[] = {"XUOL", "YUOL", "ZUOL", "XUXL", "XUYL", "XUZL",
                           "YUXL", "YUYL", "YUZL", "ZUXL", "ZUYL", "ZUZL"};
    const double values[] = {1000, 2000, 3000, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 12; ++i) f.push_back({names[i], std::to_string(values[i])});
  }

  Tre apb() const {
    Tre t{"RSMAPB", head()};
    t.fields.insert(t.fields.end(), {{"NPAR", "03"}, {"APTYP", "G"}, {"LOCTYP", "R"},
                                     {"NSFX", "1"}, {"NSFY", "1"}, {"NSFZ", "1"},
                                     {"NOFFX", "0"}, {"NOFFY", "0"}, {"NOFFZ", "0"}});
    frame(t.fields);
    t.fields.insert(t.fields.end(), {{"APBASE", "Y"}, {"NGSAP", "03"}, {"GSAPID", "GXO"},
                                     {"GSAPID", "GYO"}, {"GSAPID", "GZR"}, {"NBASIS", "02"},
                                     {"AEL", "1"}, {"AEL", "0"}, {"AEL", "0"}, {"AEL", "1"},
                                     {"AEL", "1"}, {"AEL", "-1"}, {"PARVAL", "0.5"},
                                     {"PARVAL", "-1"}, {"PARVAL", "2e-3"}});
    return t;
  }
  // Two images, this one second; the other's block is a cross covariance, never used.
  Tre dcb(const std::string& own = "4 1 1 9") const {
    Tre t{"RSMDCB", head()};
    t.fields.insert(t.fields.end(), {{"NROWCB", "02"}, {"NIMGE", "002"}, {"IIDI", "other"},
                                     {"NCOLCB", "03"}, {"IIDI", "2_8"}, {"NCOLCB", "02"},
                                     {"INCAPD", "N"}});
    for (const char* v : {"7", "-3", "5", "0.5", "8", "2"}) t.fields.push_back({"CRSCOV", v});
    std::istringstream in(own);
    for (std::string v; in >> v;) t.fields.push_back({"CRSCOV", v});
    return t;
  }
  Tre ecb(bool indirect = true, bool unmodelled = true) const {
    Tre t{"RSMECB", head()};
    t.fields.push_back({"INCLIC", indirect ? "Y" : "N"});
    t.fields.push_back({"INCLUC", unmodelled ? "Y" : "N"});
    if (indirect) {
      t.fields.insert(t.fields.end(),
                      {{"NPARO", "03"}, {"IGN", "02"}, {"CVDATE", "20200101"}, {"NPAR", "03"},
                       {"APTYP", "I"}, {"LOCTYP", "N"}, {"NSFX", "1000"}, {"NSFY", "1000"},
                       {"NSFZ", "500"}, {"NOFFX", "10"}, {"NOFFY", "20"}, {"NOFFZ", "30"},
                       {"APBASE", "N"}, {"NISAP", "03"}, {"NISAPR", "02"}, {"XPWRR", "0"},
                       {"YPWRR", "0"}, {"ZPWRR", "0"}, {"XPWRR", "1"}, {"YPWRR", "0"},
                       {"ZPWRR", "0"}, {"NISAPC", "01"}, {"XPWRC", "0"}, {"YPWRC", "1"},
                       {"ZPWRC", "0"},
                       // Group 1: [[4, 1], [1, 2]], a piecewise correlation.
                       {"NUMOPG", "02"}, {"ERRCVG", "4"}, {"ERRCVG", "1"}, {"ERRCVG", "2"},
                       {"TCDF", "0"}, {"ACSMC", "N"}, {"NCSEG", "2"}, {"CORSEG", "1"},
                       {"TAUSEG", "0"}, {"CORSEG", "0.5"}, {"TAUSEG", "10"},
                       // Group 2: [[9]], a correlation function.
                       {"NUMOPG", "01"}, {"ERRCVG", "9"}, {"TCDF", "1"}, {"ACSMC", "Y"},
                       {"AC", "0.5"}, {"ALPC", "0.5"}, {"BETC", "1"}, {"TC", "100"}});
      for (const char* v : {"1", "0", "0", "0", "1", "1", "0", "0", "2"}) {
        t.fields.push_back({"MAP", v});
      }
    }
    if (unmodelled) {
      t.fields.insert(t.fields.end(),
                      {{"URR", "0.25"}, {"URC", "0.01"}, {"UCC", "0.36"}, {"UACSMC", "N"},
                       {"UNCSR", "2"}, {"UCORSR", "1"}, {"UTAUSR", "0"}, {"UCORSR", "0"},
                       {"UTAUSR", "5"}, {"UNCSC", "2"}, {"UCORSC", "1"}, {"UTAUSC", "0"},
                       {"UCORSC", "0"}, {"UTAUSC", "5"}});
    }
    return t;
  }
  std::vector<Tre> with(std::vector<Tre> added) const {
    std::vector<Tre> records = without(without(ngaRecords(), "RSMDCA"), "RSMECA");
    records.insert(records.end(), added.begin(), added.end());
    return records;
  }
};

TEST_F(BRecords, BasisCovarianceAndImageSpaceTermsAreMadeIntoParameters) {
  // The A records are there too: the B records are the ones used.
  std::vector<Tre> records = ngaRecords();
  records.push_back(apb());
  records.push_back(dcb());
  const senmod_io::LoadedModel basis = load(records);
  ASSERT_TRUE(basis.parameters);
  const AdjustableParameters& p = *basis.parameters;
  EXPECT_EQ(p.source, "RSMAPB, RSMDCB");
  EXPECT_EQ(p.names, (std::vector<std::string>{"GXO", "GYO", "GZR"}));
  EXPECT_EQ(p.terms[2].ground, GroundTerm::ZR);
  EXPECT_EQ(p.values, (std::vector<double>{0.5, -1, 2e-3}));
  EXPECT_TRUE(p.applies());
  EXPECT_EQ(p.origin, (std::array<double, 3>{1000, 2000, 3000}));
  // AEL · [[4, 1], [1, 9]] · AELᵀ with AEL = [[1, 0], [0, 1], [1, -1]].
  EXPECT_EQ(p.covariance, (std::vector<double>{4, 1, 3, 1, 9, -8, 3, -8, 11}));
  EXPECT_FALSE(p.unmodelled);
  const std::string text = senmod_io::summaryText(basis, "f", false);
  EXPECT_NE(text.find("error covariance records: RSMDCA, RSMECA, RSMAPB, RSMDCB\n"),
            std::string::npos);
  EXPECT_NE(text.find("adjustable parameters: 3 (GXO, GYO, GZR) from RSMAPB, RSMDCB; values "
                      "apply: yes; covariance: yes; unmodelled error: no\n"),
            std::string::npos);

  const senmod_io::LoadedModel image = load(with({ecb()}));
  ASSERT_TRUE(image.parameters);
  const AdjustableParameters& q = *image.parameters;
  EXPECT_EQ(q.names, (std::vector<std::string>{"IRO", "IRX", "ICY"}));
  EXPECT_EQ(q.terms[1].kind, AdjustmentTerm::Kind::Row);
  EXPECT_EQ(q.terms[1].powers, (std::array<int, 3>{1, 0, 0}));
  EXPECT_EQ(q.terms[2].kind, AdjustmentTerm::Kind::Sample);
  EXPECT_EQ(q.terms[2].powers, (std::array<int, 3>{0, 1, 0}));
  EXPECT_EQ(q.offset, (std::array<double, 3>{10, 20, 30}));
  EXPECT_EQ(q.scale, (std::array<double, 3>{1000, 1000, 500}));
  // LOCTYP=N: the rectangular ground domain's frame.
  const Smod_Doubles& grndd = image.xform->model->rsm.grndd;
  EXPECT_EQ(q.origin[0], grndd.data[0]);
  EXPECT_EQ(q.axes[8], grndd.data[11]);
  EXPECT_EQ(q.values, std::vector<double>(3, 0.0));
  // MAP · diag([[4, 1], [1, 2]], [[9]]) · MAPᵀ with MAP = [[1, 0, 0], [0, 1, 1], [0, 0, 2]].
  EXPECT_EQ(q.covariance, (std::vector<double>{4, 1, 0, 1, 11, 18, 0, 18, 36}));
  EXPECT_EQ(q.unmodelled, (std::array<double, 3>{0.25, 0.01, 0.36}));

  const senmod_io::LoadedModel unmodelled = load(with({ecb(false, true)}));
  ASSERT_TRUE(unmodelled.parameters);
  EXPECT_EQ(unmodelled.parameters->count(), 0u);
  EXPECT_FALSE(unmodelled.parameters->hasCovariance());
  EXPECT_EQ(unmodelled.parameters->unmodelled, (std::array<double, 3>{0.25, 0.01, 0.36}));
  const senmod_io::LoadedModel nothing = load(with({ecb(false, false)}));
  ASSERT_TRUE(nothing.parameters);
  EXPECT_EQ(nothing.parameters->count(), 0u);
  EXPECT_FALSE(nothing.parameters->unmodelled);
}

// Written by GDAL's NITF driver and read back from its "xml:TRE" decoding, the records give the
// parameters they give as built here.
TEST_F(BRecords, GdalDecodesTheRecordsAsBuiltHere) {
  for (const std::vector<Tre>& records : {with({apb(), dcb(), ecb(false, true)}), with({ecb()})}) {
    nitf_builder::NitfImage desc;
    for (const Tre& tre : records) {
      nitf_builder::Fields fields;
      for (const TreField& f : tre.fields) fields.emplace_back(f.name, f.value);
      desc.tres.push_back({tre.name, nitf_builder::encodeTre(tre.name, fields)});
    }
    const senmod_io::LoadedModel read = senmod_io::loadModel(nitf("b.ntf", desc));
    const senmod_io::LoadedModel built = load(records);
    ASSERT_TRUE(read.parameters);
    EXPECT_EQ(read.parameters->source, built.parameters->source);
    EXPECT_EQ(senmod_io::encodeParameters(*read.parameters, "read"),
              senmod_io::encodeParameters(*built.parameters, "built"));
  }
}

TEST_F(BRecords, DamagedRecordsAreRefusedNamingRecordAndField) {
  Tre shortValues = apb();
  shortValues.fields.pop_back();
  Tre extra = apb();
  extra.fields.push_back({"PARVAL", "1"});
  Tre foreign = apb();
  foreign.fields[0].value = "3_1";
  Tre nan = dcb("4 1 1 nan");
  Tre indefinite = dcb("1 2 2 1");
  Tre asymmetric = dcb("4 1 2 9");
  Tre misfit = dcb();
  field(misfit, "NROWCB") = "03";
  Tre groups = ecb();
  field(groups, "NPARO") = "02";
  Tre twice = ecb();
  field(twice, "XPWRR") = "1";
  Tre ecbGround = ecb();
  field(ecbGround, "APTYP") = "G";
  const std::pair<std::vector<Tre>, std::string> cases[] = {
      {{shortValues}, "RSMAPB: field PARVAL: missing: the record ends before it"},
      {{extra}, "RSMAPB: field PARVAL: more fields than the record's counts call for"},
      {{foreign}, "RSMAPB: field IID: \"3_1\" is not RSMIDA's \"2_8\""},
      {{apb(), nan}, "RSMDCB: field CRSCOV: \"nan\" is not a number"},
      {{apb(), indefinite}, "RSMDCB: field CRSCOV: the covariance is not positive semi-definite "
                            "(eigenvalue -1 against a largest of 3)"},
      {{apb(), asymmetric}, "RSMDCB: field CRSCOV: the covariance is not symmetric (element 1, 2)"},
      {{apb(), misfit}, "RSMDCB: field NCOLCB: image 2 has 2 columns where NROWCB is 3"},
      {{dcb()}, "RSMDCB does not define its adjustable parameters and no other record does"},
      {{groups}, "RSMECB: field NUMOPG: the groups hold more than NPARO = 2 parameters"},
      {{twice}, "RSMECB: field XPWRR: the term IRX is given twice"},
      {{apb(), ecb()}, "RSMAPB and RSMECB define different adjustable parameters: "
                       "different frame origins"},
      {{apb(), ecbGround}, "RSMECB: field NGSAP: missing: the record holds NISAP in its place"}};
  for (const auto& [added, message] : cases) {
    const std::string why = refusal([&] { load(with(added)); });
    EXPECT_NE(why.find(message), std::string::npos) << why << "\nexpected: " << message;
  }
  senmod_io::ImageIdentity geodetic{"2_8", "1101222272-2", {}};
  EXPECT_EQ(refusal([&] { senmod_io::parameterRecordsOfB({ecb()}, geodetic, "g"); }),
            "g: RSMECB: field LOCTYP: N (the ground domain's frame) on a geodetic ground "
            "domain, which has no frame to take");
}

// A model file keeps the parameters exactly, whether the records gave them or they were
// changed since; a file without them takes those of its A records; damage is refused.
TEST_F(BRecords, ModelFilesKeepTheParameters) {
  auto roundTrip = [](const senmod_io::LoadedModel& model) {
    const senmod_io::ModelFileContents contents = senmod_io::modelFileContents(model, "m");
    return senmod_io::modelFromModelFile(
        senmod_io::decodeModelFile(senmod_io::encodeModelFile(contents), "m"), "m");
  };
  auto same = [](const AdjustableParameters& a, const AdjustableParameters& b) {
    EXPECT_EQ(a.names, b.names);
    EXPECT_EQ(senmod_io::encodeParameters(a, "a"), senmod_io::encodeParameters(b, "b"));
  };
  const senmod_io::LoadedModel b = load(with({apb(), dcb(), ecb(false, true)}));
  const senmod_io::LoadedModel bBack = roundTrip(b);
  ASSERT_TRUE(bBack.parameters);
  same(*bBack.parameters, *b.parameters);
  EXPECT_EQ(bBack.parameters->source, "RSMAPB, RSMDCB, RSMECB");

  senmod_io::LoadedModel changed = load(ngaRecords());
  changed.parameters->values[0] = 1.5;
  changed.parameters->source = "RSMDCA, RSMECA, refined";
  const senmod_io::LoadedModel changedBack = roundTrip(changed);
  ASSERT_TRUE(changedBack.parameters);
  same(*changedBack.parameters, *changed.parameters);

  // Parameters that the stored records give are not stored again, so that older versions,
  // which know no such object, still read the file.
  const senmod_io::ModelFileContents plain =
      senmod_io::modelFileContents(load(ngaRecords()), "m");
  for (const senmod_io::StoredObject& object : plain.objects) {
    EXPECT_NE(object.design, senmod_io::kParametersDesign);
  }
  const senmod_io::LoadedModel derived = senmod_io::modelFromModelFile(plain, "m");
  ASSERT_TRUE(derived.parameters);
  same(*derived.parameters, *load(ngaRecords()).parameters);

  const senmod_io::ModelFileContents contents = senmod_io::modelFileContents(b, "m");
  const std::vector<unsigned char> good = contents.objects.back().bytes;
  // Offsets: version 4, source 4 + 22, frame 144, count 4, values 24, term count 4, terms 24,
  // covariance flag 1.
  const size_t values = 4 + 4 + 22 + 144 + 4, terms = values + 24 + 4, flag = terms + 24;
  ASSERT_EQ(good.size(), flag + 1 + 72 + 1 + 24);
  auto damaged = [&](size_t at, unsigned char byte, size_t size) {
    senmod_io::ModelFileContents bad = contents;
    std::vector<unsigned char>& bytes = bad.objects.back().bytes;
    bytes.resize(size);
    if (at < size) bytes[at] = byte;
    return refusal([&] { senmod_io::modelFromModelFile(bad, "m"); });
  };
  const std::pair<std::string, std::string> cases[] = {
      {damaged(0, 2, good.size()), "encoding 2; this version of senmod reads encoding 1"},
      {damaged(0, 1, good.size() - 1), "are damaged: they end early"},
      {damaged(good.size(), 0, good.size() + 1), "are damaged: bytes are left over"},
      {damaged(terms, 7, good.size()), "are damaged: a term of kind 7"},
      {damaged(terms + 8 + 1, 0, good.size()), "the term GXO is given twice"},
      {damaged(flag, 2, good.size()), "the covariance flag is 2"},
      {damaged(values + 8 + 7, 0x7f, good.size()), "a value is not a finite number"},
      {damaged(flag + 1 + 8 + 7, 0xc1, good.size()),
       "field covariance: the covariance is not symmetric"}};
  for (const auto& [why, message] : cases) {
    EXPECT_NE(why.find("m: the model file's adjustable parameters"), std::string::npos) << why;
    EXPECT_NE(why.find(message), std::string::npos) << why << "\nexpected: " << message;
  }
}

}  // namespace

namespace {

// NGA's image points (sample, row) and heights, from its table of image-to-ground results.
std::vector<std::array<double, 3>> ngaPoints() {
  std::ifstream in(tooltest::testData("nga-i6130a/point_calculations.csv"));
  std::vector<std::array<double, 3>> points;
  std::string line;
  while (std::getline(in, line)) {
    double row, column, height;
    if (!line.empty() && line[0] != '#' &&
        std::sscanf(line.c_str(), "%lf,%lf,%lf", &row, &column, &height) == 3) {
      points.push_back({column, row, height});
    }
  }
  return points;
}

// The direct and the indirect covariance give one accuracy at every point of NGA's table, and
// draws of the parameters through models with those values agree with what is propagated.
TEST(NgaAccuracy, BothCovariancesGiveOneAccuracyAndDrawsAgreeWithIt) {
  const std::vector<Tre> records = ngaRecords();
  senmod_io::PointEngine direct(load(records));
  senmod_io::PointEngine indirect(load(without(records, "RSMDCA")));
  const auto points = ngaPoints();
  ASSERT_GE(points.size(), 40u);
  const size_t n = points.size();
  std::vector<double> s(n), r(n), h(n);
  for (size_t i = 0; i < n; ++i) {
    s[i] = points[i][0];
    r[i] = points[i][1];
    h[i] = points[i][2];
  }
  struct Result {
    std::vector<double> lon, lat, height, cov, ce90, le90, imageCov;
    std::vector<int> status;
  };
  auto accuracyOf = [&](senmod_io::PointEngine& engine) {
    Result a{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
             std::vector<double>(9 * n), std::vector<double>(n), std::vector<double>(n),
             std::vector<double>(4 * n), std::vector<int>(n)};
    EXPECT_EQ(senmod_io::groundCovariance(engine, n, s.data(), r.data(), h.data(), {3.0, 0.5},
                                          a.lon.data(), a.lat.data(), a.height.data(),
                                          a.cov.data(), a.ce90.data(), a.le90.data(),
                                          a.status.data()),
              n);
    EXPECT_EQ(senmod_io::imageCovariance(engine, n, a.lon.data(), a.lat.data(),
                                         a.height.data(), a.imageCov.data(), a.status.data()),
              n);
    return a;
  };
  const Result a = accuracyOf(direct), b = accuracyOf(indirect);
  for (size_t i = 0; i < n; ++i) {
    EXPECT_NEAR(b.ce90[i], a.ce90[i], 1e-6 * a.ce90[i]) << "point " << i;
    EXPECT_NEAR(b.le90[i], a.le90[i], 1e-6 * a.le90[i]);
    for (int k : {0, 1, 3}) {
      EXPECT_NEAR(b.imageCov[4 * i + k], a.imageCov[4 * i + k], 1e-6 * a.imageCov[4 * i])
          << "point " << i;
    }
  }

  // Draws through models given those values, at the point of the table nearest the image's
  // centre. The records' spread (100 m offsets, 0.1 rad rotations) carries drawn models
  // kilometres off, where the polynomials fold and no propagation holds: the draws take it
  // shrunk to a hundredth in standard deviation.
  senmod_io::LoadedModel shrunk = senmod_io::withParameterValues(direct.model(), std::vector<double>(6, 0.0));
  for (double& v : shrunk.parameters->covariance) v *= 1e-4;
  senmod_io::PointEngine small(std::move(shrunk));
  const Result d = accuracyOf(small);
  const Smod_Doubles& domain = small.model().xform->model->rsm.imageDomain;
  size_t c = 0;
  for (size_t i = 0; i < n; ++i) {
    const auto off = [&](size_t k) {
      return std::hypot(s[k] - (domain.data[0] + domain.data[1]) / 2,
                        r[k] - (domain.data[2] + domain.data[3]) / 2);
    };
    if (off(i) < off(c)) c = i;
  }
  const AdjustableParameters& p = *small.model().parameters;
  std::vector<double> chol(36, 0.0);
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = p.covariance[6 * i + j];
      for (int k = 0; k < j; ++k) sum -= chol[6 * i + k] * chol[6 * j + k];
      chol[6 * i + j] = i == j ? std::sqrt(sum) : sum / chol[6 * j + j];
    }
  }
  constexpr int kDraws = 20000;
  std::mt19937_64 random(11);
  std::normal_distribution<double> normal;
  double sum[2] = {}, sum2[3] = {};
  int inside = 0;
  const senmod_io::Vec3 truth = senmod_io::geocentricOf(d.lon[c], d.lat[c], d.height[c]);
  const auto enu = senmod_io::eastNorthUp(d.lon[c], d.lat[c]);
  senmod_io::PointOptions extrapolate;
  extrapolate.extrapolate = true;
  const auto carried = [](int status) {
    return status == SMOD_POINT_OK || status == SMOD_POINT_OUTSIDE_DOMAIN;
  };
  for (int k = 0; k < kDraws; ++k) {
    std::vector<double> v(6, 0.0);
    double z[6];
    for (double& x : z) x = normal(random);
    for (int i = 0; i < 6; ++i) {
      for (int j = 0; j <= i; ++j) v[i] += chol[6 * i + j] * z[j];
    }
    senmod_io::PointEngine drawn(senmod_io::withParameterValues(small.model(), v));
    drawn.setOptions(extrapolate);
    double ds, dr;
    int status;
    drawn.groundToImage(1, &d.lon[c], &d.lat[c], &d.height[c], &ds, &dr, nullptr, &status);
    ASSERT_TRUE(carried(status)) << status;
    sum[0] += ds;
    sum[1] += dr;
    sum2[0] += ds * ds;
    sum2[1] += ds * dr;
    sum2[2] += dr * dr;
    // The image point measured with its error, on a height with its own.
    const double ms = s[c] + 0.5 * normal(random), mr = r[c] + 0.5 * normal(random);
    const double mh = h[c] + 3.0 * normal(random);
    double lon, lat, height;
    drawn.imageToGround(1, &ms, &mr, &mh, &lon, &lat, &height, nullptr, &status);
    ASSERT_TRUE(carried(status)) << status;
    const senmod_io::Vec3 g = senmod_io::geocentricOf(lon, lat, height);
    double east = 0.0, north = 0.0;
    for (int a = 0; a < 3; ++a) {
      east += (g[a] - truth[a]) * enu[0][a];
      north += (g[a] - truth[a]) * enu[1][a];
    }
    inside += std::hypot(east, north) <= d.ce90[c];
  }
  const double ms = sum[0] / kDraws, mr = sum[1] / kDraws;
  const double var[3] = {sum2[0] / kDraws - ms * ms, sum2[1] / kDraws - ms * mr,
                         sum2[2] / kDraws - mr * mr};
  const double* cov = &d.imageCov[4 * c];
  EXPECT_NEAR(var[0], cov[0], 0.03 * cov[0]);
  EXPECT_NEAR(var[1], cov[1], 0.03 * std::sqrt(cov[0] * cov[3]));
  EXPECT_NEAR(var[2], cov[3], 0.03 * cov[3]);
  EXPECT_NEAR(inside / double(kDraws), 0.90, 0.01);
}

}  // namespace
