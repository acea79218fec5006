// Model files: a model and its covariance records survive the trip through a model file, and a
// truncated, altered or foreign file is refused with a clear message.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "model_file.h"
#include "model_loader.h"
#include "read_error.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

class ModelFiles : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    nitf_builder::NitfImage desc;
    desc.tres = syntheticRecords({'R', 2, 2});
    source_ = nitf("model.ntf", desc);
  }

  std::vector<unsigned char> bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Ground positions of a few image points at two heights, in the model's own words.
  std::vector<double> groundOf(RSM_Xform* xform) {
    xform->model->rsm.groundToImageTransform = SMOD_FALSE;
    const double in[9] = {10.5, 20.25, 100.0, 600.0, 500.0, 700.0, 990.0, 790.0, 0.0};
    std::vector<double> out(6);
    ErrorReport* report = nullptr;
    smod_RSMXformTransform3DTo2D(xform, 3, in, out.data(), &report);
    EXPECT_EQ(report, nullptr);
    return out;
  }

  std::string source_;
};

TEST_F(ModelFiles, ModelSurvivesTheRoundTrip) {
  // The library keeps the designs it has made for the rest of the process.
  senmod_io::saveModel(senmod_io::loadModel(source_), path("warm.smod"));
  const long blocks = hmsc_HeapLiveBlocks();
  {
    senmod_io::LoadedModel original = senmod_io::loadModel(source_);
    senmod_io::saveModel(original, path("model.smod"));
    senmod_io::LoadedModel restored = senmod_io::loadModel(path("model.smod"));
    EXPECT_EQ(restored.source, "NITF RSM records");
    EXPECT_EQ(smod_RSMsAreSame(restored.xform->model, original.xform->model), 1);
    // Saving the restored model writes the same file again.
    senmod_io::saveModel(restored, path("again.smod"));
    EXPECT_EQ(bytes(path("again.smod")), bytes(path("model.smod")));

    EXPECT_EQ(groundOf(restored.xform.get()), groundOf(original.xform.get()));
    EXPECT_EQ(restored.xform->model->rsm.z_mean, original.xform->model->rsm.z_mean);
  }
  EXPECT_EQ(hmsc_HeapLiveBlocks(), blocks);
}

TEST_F(ModelFiles, CovarianceRecordsAreStoredAndListed) {
  const senmod_io::LoadedModel original = senmod_io::loadModel(source_);
  EXPECT_TRUE(senmod_io::covarianceDesigns(original).empty());

  senmod_io::LoadedModel withRecords = senmod_io::loadModel(source_);
  ErrorReport* report = nullptr;
  withRecords.covariance.apa.reset(smod_RSMAPACreate(&report));
  withRecords.covariance.apa->npar = 2;
  withRecords.covariance.apa->parval = senmod_io::heapDoubles({1.5, -2.5});
  withRecords.covariance.eca.reset(smod_RSMECACreate(&report));
  withRecords.covariance.eca->inclic = senmod_io::heapText("N");
  withRecords.covariance.eca->incluc = senmod_io::heapText("N");
  senmod_io::saveModel(withRecords, path("cov.smod"));
  const senmod_io::LoadedModel restored = senmod_io::loadModel(path("cov.smod"));
  const std::vector<std::string> expected = {"Smod_RSMAPA", "Smod_RSMECA"};
  EXPECT_EQ(senmod_io::covarianceDesigns(restored), expected);
  ASSERT_EQ(restored.storedCovariance.size(), 2u);
  EXPECT_FALSE(restored.storedCovariance[0].bytes.empty());
}

TEST_F(ModelFiles, DamagedFilesAreRefused) {
  const senmod_io::LoadedModel model = senmod_io::loadModel(source_);
  senmod_io::saveModel(model, path("model.smod"));
  const std::vector<unsigned char> good = bytes(path("model.smod"));
  ASSERT_GT(good.size(), 100u);
  EXPECT_NO_THROW(senmod_io::decodeModelFile(good, "f"));

  for (size_t length = 0; length < good.size(); length += 1 + good.size() / 97) {
    const std::vector<unsigned char> cut(good.begin(), good.begin() + length);
    try {
      senmod_io::decodeModelFile(cut, "f.smod");
      ADD_FAILURE() << "a file cut to " << length << " bytes was accepted";
    } catch (const senmod_io::ReadError& e) {
      const std::string m = e.what();
      EXPECT_TRUE(m.find("f.smod: the model file is damaged") == 0 ||
                  m.find("f.smod: not a senmod model file") == 0)
          << m;
    }
  }
  for (size_t at = 8; at < good.size(); at += 1 + good.size() / 53) {
    std::vector<unsigned char> altered = good;
    altered[at] ^= 0x20;
    EXPECT_THROW(senmod_io::decodeModelFile(altered, "f"), senmod_io::ReadError) << "byte " << at;
  }
}

// A model file's covariance records pass the checks of records read from tagged records.
TEST_F(ModelFiles, CovarianceRecordsThatTaggedRecordsCouldNotGiveAreRefused) {
  senmod_io::LoadedModel model = senmod_io::loadModel(source_);
  ErrorReport* report = nullptr;
  model.covariance.apa.reset(smod_RSMAPACreate(&report));
  model.covariance.apa->npar = 40;
  model.covariance.apa->parval = senmod_io::heapDoubles(std::vector<double>(40, 1.0));
  senmod_io::saveModel(model, path("npar.smod"));
  model.covariance.apa->npar = 2;
  model.covariance.apa->parval.count = 2;
  model.covariance.apa->irx = 3;
  senmod_io::saveModel(model, path("index.smod"));
  model.covariance.apa->irx = 0;
  model.covariance.apa->parval.data[1] = std::nan("");
  senmod_io::saveModel(model, path("nan.smod"));
  model.covariance.apa->parval.data[1] = 1.0;
  senmod_io::saveModel(model, path("good.smod"));
  senmod_io::ModelFileContents contents = senmod_io::readModelFile(path("good.smod"));
  senmod_io::ModelFileContents renamed = contents;
  renamed.objects[1].design = "APA";
  senmod_io::writeModelFile(path("renamed.smod"), renamed);
  senmod_io::ModelFileContents twice = contents;
  twice.objects.push_back(contents.objects[1]);
  senmod_io::writeModelFile(path("twice.smod"), twice);

  EXPECT_NO_THROW(senmod_io::loadModel(path("good.smod")));
  const std::pair<const char*, std::string> cases[] = {
      {"npar.smod", ": RSMAPA: field NPAR: 40 is outside 1 to 36"},
      {"index.smod", ": RSMAPA: field IRX: parameter 3 of 2 (NPAR)"},
      {"nan.smod", ": RSMAPA: field PARVAL: not a finite number"},
      {"renamed.smod", ": the model file holds a record \"APA\", which is not a covariance record"},
      {"twice.smod", ": the model file holds more than one Smod_RSMAPA record"}};
  for (const auto& [file, message] : cases) {
    try {
      senmod_io::loadModel(path(file));
      ADD_FAILURE() << file << " was accepted";
    } catch (const senmod_io::ReadError& e) {
      EXPECT_EQ(std::string(e.what()), path(file) + message);
    }
  }
}

// A model file's model passes the checks that the records of a NITF file pass: the checksum
// tells damage, not tampering, and the command would use such a model quietly.
TEST_F(ModelFiles, ModelsThatTaggedRecordsCouldNotGiveAreRefused) {
  struct Case {
    const char* name;
    void (*spoil)(RSM_Model_Orig&);
    const char* message;
  };
  const Case cases[] = {
      {"domain_nan", [](RSM_Model_Orig& m) { m.imageDomain.data[1] = std::nan(""); },
       "field imageDomain: not a finite number"},
      {"domain_order", [](RSM_Model_Orig& m) { m.imageDomain.data[3] = -1.0; },
       "field imageDomain: a largest sample or row below the smallest"},
      {"domain_short", [](RSM_Model_Orig& m) { m.imageDomain.count = 2; },
       "field imageDomain: 2 values where 4 are required"},
      {"vertex_nan", [](RSM_Model_Orig& m) { m.groundDomain.data[4] = std::nan(""); },
       "field groundDomain: not a finite number"},
      {"kind", [](RSM_Model_Orig& m) { m.grndd.count = 5; },
       "field grndd: 5 values where 0, 1 or 12 are required"},
      {"mean_inf", [](RSM_Model_Orig& m) { m.z_mean = HUGE_VAL; }, "field z_mean: not a finite number"},
      {"affine", [](RSM_Model_Orig& m) { m.invSrcAffine[2] = std::nan(""); },
       "field affine: not a finite number"},
      {"section_size", [](RSM_Model_Orig& m) { m.rowsPerSection = -400.0; },
       "field rowsPerSection: not positive"},
      {"grid", [](RSM_Model_Orig& m) { m.rowSections = 3; },
       "field RationalPolyList: 4 sections where the grid of 3 x 2 needs 6"},
      {"cell", [](RSM_Model_Orig& m) { m.RationalPolyList.data[1].columnSection = 0; },
       "field section 2 rowSection: row 0, column 0 is not its grid cell"},
      {"invalid", [](RSM_Model_Orig& m) { m.RationalPolyList.data[3].validSolution = SMOD_FALSE; },
       "field section 4 validSolution: the section is not valid"},
      {"scale", [](RSM_Model_Orig& m) { m.RationalPolyList.data[0].Scales[3] = 0.0; },
       "field section 1 Scales: zero"},
      {"power", [](RSM_Model_Orig& m) { m.RationalPolyList.data[2].rowNumeratorPowerY = 6; },
       "field section 3 rowNumerator power y: 6 is outside 0 to 5"},
      {"terms", [](RSM_Model_Orig& m) { m.RationalPolyList.data[0].sampleNumeratorPowerX = 2; },
       "field section 1 sampleNumerator: 8 values where 12 are required"},
      {"coefficient", [](RSM_Model_Orig& m) {
         m.RationalPolyList.data[1].sampleDenominator.data[0] = std::nan("");
       },
       "field section 2 sampleDenominator: not a finite number"},
  };
  for (const Case& c : cases) {
    senmod_io::LoadedModel model = senmod_io::loadModel(source_);
    c.spoil(model.xform->model->rsm);
    const std::string file = path(std::string(c.name) + ".smod");
    senmod_io::saveModel(model, file);
    try {
      senmod_io::loadModel(file);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const senmod_io::ReadError& e) {
      EXPECT_EQ(std::string(e.what()), file + ": the model: " + c.message);
    }
  }
}

TEST_F(ModelFiles, OversizedFileIsRefusedBeforeItIsRead) {
  // 8 GiB that take no disk: the magic, then a hole.
  const std::string file = path("huge.smod");
  const int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "SENMODMF", 8), 8);
  ASSERT_EQ(ftruncate(fd, off_t(8) << 30), 0);
  close(fd);
  try {
    senmod_io::loadModel(file);
    ADD_FAILURE() << "an 8 GiB model file was read";
  } catch (const senmod_io::ReadError& e) {
    EXPECT_EQ(std::string(e.what()), file + ": the model file is 8589934592 bytes long, more "
                                            "than the 64 MiB a model file may have");
  }
}

TEST_F(ModelFiles, UndecodableObjectsAreRefusedWithTheirName) {
  const senmod_io::LoadedModel model = senmod_io::loadModel(source_);
  senmod_io::saveModel(model, path("model.smod"));
  senmod_io::ModelFileContents contents = senmod_io::readModelFile(path("model.smod"));
  contents.objects[0].bytes.resize(contents.objects[0].bytes.size() / 2);
  senmod_io::writeModelFile(path("half.smod"), contents);
  try {
    senmod_io::loadModel(path("half.smod"));
    ADD_FAILURE() << "a model cut in half was accepted";
  } catch (const senmod_io::ReadError& e) {
    EXPECT_TRUE(contains(e.what(), path("half.smod") + ": the model file's model cannot be decoded"));
  }

  // A model stored under another layout would not fit the library's record.
  contents = senmod_io::readModelFile(path("model.smod"));
  contents.objects[0].dictionary += " ";
  senmod_io::writeModelFile(path("layout.smod"), contents);
  try {
    senmod_io::loadModel(path("layout.smod"));
    ADD_FAILURE() << "a model of another layout was accepted";
  } catch (const senmod_io::ReadError& e) {
    EXPECT_TRUE(contains(e.what(), "under a dictionary this version of senmod does not use"));
  }

  contents = senmod_io::readModelFile(path("model.smod"));
  contents.objects.push_back({"Smod_RSMECA", contents.objects[0].dictionary, {1, 2, 3}});
  senmod_io::writeModelFile(path("record.smod"), contents);
  EXPECT_THROW(senmod_io::loadModel(path("record.smod")), senmod_io::ReadError);
}

}  // namespace
