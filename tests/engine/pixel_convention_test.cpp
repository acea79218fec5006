// The pixel convention is the model's own, kept by model files (version 2); a version 1 file
// takes it from its source label, the only information that version stored.
#include <fstream>
#include <iterator>

#include "engine_test_support.h"
#include "model_file.h"
#include "model_loader.h"
#include "read_error.h"

namespace {

using senmod_io::PixelConvention;

void setChecksum(std::vector<unsigned char>& bytes) {
  const uint64_t sum = senmod_io::modelFileChecksum(bytes.data(), bytes.size() - 8);
  for (int i = 0; i < 8; ++i) {
    bytes[bytes.size() - 8 + i] = static_cast<unsigned char>(sum >> (8 * i));
  }
}

class PixelConventions : public enginetest::ScratchTest {};

TEST_F(PixelConventions, ModelFilesKeepTheirsAndVersion1FilesTakeTheirLabels) {
  // Each label's old rule gives the other convention.
  for (const auto& [label, convention] :
       {std::pair<std::string, PixelConvention>{"NITF RPC00B", PixelConvention::Corner},
        {"NITF RSM records", PixelConvention::Center}}) {
    senmod_io::LoadedModel model = senmod_io::loadModel(enginetest::sampleRsm());
    EXPECT_EQ(model.pixelConvention, PixelConvention::Corner);
    model.source = label;
    model.setPixelConvention(convention);
    senmod_io::saveModel(model, path("model.smod"));
    EXPECT_EQ(senmod_io::loadModel(path("model.smod")).pixelConvention, convention) << label;

    // The version 1 layout: the version 2 file without the convention after the source text.
    std::ifstream in(path("model.smod"), std::ios::binary);
    std::vector<unsigned char> v1{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(v1[8], 2);
    v1[8] = 1;
    const long at = 12 + 4 + static_cast<long>(label.size());
    v1.erase(v1.begin() + at, v1.begin() + at + 4);
    setChecksum(v1);
    const senmod_io::ModelFileContents contents = senmod_io::decodeModelFile(v1, "v1.smod");
    EXPECT_FALSE(contents.pixelConvention.has_value());
    EXPECT_EQ(senmod_io::encodeModelFile(contents), v1);
    EXPECT_NE(senmod_io::modelFromModelFile(contents, "v1.smod").pixelConvention, convention);
  }
}

TEST_F(PixelConventions, UnknownVersionsAndConventionsAreRefused) {
  senmod_io::saveModel(senmod_io::loadModel(enginetest::sampleRsm()), path("model.smod"));
  const std::vector<unsigned char> good = senmod_io::encodeModelFile(
      senmod_io::readModelFile(path("model.smod")));
  const size_t conventionAt = 12 + 4 + std::string("NITF RSM records").size();
  const std::pair<size_t, const char*> spoiled[] = {
      {8, "v.smod: model file version 3 is not supported: this version of senmod reads versions "
          "1 and 2"},
      {conventionAt, "v.smod: the model file's pixel convention 3 is not one this version of "
                     "senmod knows (0 corner, 1 center)"}};
  for (const auto& [at, message] : spoiled) {
    std::vector<unsigned char> bytes = good;
    bytes[at] = 3;
    setChecksum(bytes);
    try {
      senmod_io::decodeModelFile(bytes, "v.smod");
      ADD_FAILURE() << message;
    } catch (const senmod_io::ReadError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

}  // namespace
