// NITF files with several image segments: a model is read from the segment that MODEL names,
// records of different images are never mixed, and a file whose first segment carries no model
// says which segments do.
#include "model_loader.h"
#include "read_error.h"
#include "tool_fixtures.h"

namespace {

using namespace tooltest;

std::vector<std::string> rpcItems() {
  std::vector<std::string> items = {"LINE_OFF=200", "SAMP_OFF=250", "LAT_OFF=35.1",
                                    "LONG_OFF=-106.6", "HEIGHT_OFF=1600", "LINE_SCALE=210",
                                    "SAMP_SCALE=260", "LAT_SCALE=0.05", "LONG_SCALE=0.06",
                                    "HEIGHT_SCALE=500"};
  const std::string unit = "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
  const std::string lat = "0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
  for (const char* key : {"LINE_NUM_COEFF=", "LINE_DEN_COEFF=", "SAMP_NUM_COEFF=",
                          "SAMP_DEN_COEFF="}) {
    const std::string k = key;
    items.push_back(k + (k.find("NUM") != std::string::npos ? lat : unit));
  }
  return items;
}

class NitfSegments : public ScratchTest {
 protected:
  // The message the reader gives for name.
  std::string refusal(const std::string& name) {
    try {
      senmod_io::loadModel(name);
    } catch (const senmod_io::ReadError& e) {
      return e.what();
    }
    ADD_FAILURE() << name << " was accepted";
    return "";
  }
};

TEST_F(NitfSegments, ModelNamesTheSegmentAndAFirstSegmentWithoutOneListsThoseWithOne) {
  nitf_builder::NitfImage plain, rsm, rpc;
  rsm.tres = syntheticRecords({'G', 1, 1});
  rpc.width = 500;
  rpc.height = 400;
  rpc.rpc = rpcItems();
  const std::string file = path("three.ntf");
  ASSERT_EQ(nitf_builder::writeNitf(file, {plain, rsm, plain, rpc}), "");

  EXPECT_EQ(refusal(file), file + ": the first image segment holds neither RSM records nor "
                                  "RPCs; name a segment that does as the model: NITF_IM:1:" +
                               file + ", NITF_IM:3:" + file);
  EXPECT_EQ(senmod_io::loadModel("NITF_IM:1:" + file).source, "NITF RSM records");
  EXPECT_EQ(senmod_io::loadModel("NITF_IM:3:" + file).source, "NITF RPC00B");
  EXPECT_EQ(refusal("NITF_IM:2:" + file),
            "NITF_IM:2:" + file + ": the file holds neither RSM records nor RPCs");
}

TEST_F(NitfSegments, RecordsOfAnotherImageOrEditionAreRefused) {
  const SyntheticModel m{'G', 2, 1};
  auto otherImage = syntheticRecords(m);  // RSMIDA, RSMPIA, 2 x RSMPCA
  auto fields = syntheticSectionFields(m, 2, 1);
  fields[0].second = "OTHER";
  otherImage[3].second = nitf_builder::encodeTre("RSMPCA", fields);
  auto otherEdition = syntheticRecords(m);
  otherEdition[1].second.replace(80, 1, "2");  // RSMPIA's EDITION "1" becomes "2"

  nitf_builder::NitfImage image;
  image.tres = otherImage;
  const std::string mixed = nitf("image.ntf", image);
  EXPECT_EQ(refusal(mixed), mixed + ": RSMPCA section 2, 1: field IID: \"OTHER\" is not "
                                    "RSMIDA's \"SYNTHETIC\": the records describe different "
                                    "images");
  image.tres = otherEdition;
  const std::string edition = nitf("edition.ntf", image);
  EXPECT_EQ(refusal(edition), edition + ": RSMPIA: field EDITION: \"2\" is not RSMIDA's \"1\": "
                                        "the records describe different images");
}

}  // namespace
