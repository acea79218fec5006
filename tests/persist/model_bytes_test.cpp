// Models through the host's persistent bytes under the library's designs, and what damaged
// bytes do.
#include <gtest/gtest.h>

#include <vector>

#include "persist/persist_fixture.h"

namespace {

using persist_test::HeapBalance;

std::vector<unsigned char> toBytes(const void* record, const HmifDesign* design) {
  int64_t size = hmif_ObjectSize(record, design, nullptr);
  std::vector<unsigned char> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  EXPECT_EQ(hmif_ConvertToMIF(0, record, design, bytes.data(), nullptr), size);
  return bytes;
}

// Two sections on a 1 x 2 grid, geodetic hybrid: small enough to damage at every byte.
RSM_Model* smallModel() {
  model_builder::SectionPolynomials first = model_builder::affineSection(1, 2, 3, 4, 5, 6);
  first.useNormalization = true;
  first.scales = {{2, 3, 4, 5, 6}};
  first.imageToGroundPoly = {1, 0.5, 0.25, 0.125, 7, 8, 9};
  model_builder::SectionPolynomials second = model_builder::affineSection(-1, 0.5, 0, 2, 0, 0.5);
  second.sameDenominators = true;
  RSM_Model* model = model_builder::makeModel({first, second}, 1, 2, 100.0, 50.0);
  model->rsm.grndd = model_builder::heapDoubles({1.5});
  model->rsm.demfilename = model_builder::heapText("dem.tif");
  return model;
}

using ModelBytes = HeapBalance;

TEST_F(ModelBytes, ModelsSurviveBytes) {
  const HmifDesign* design = senmod::RSM_Model_Design();
  for (RSM_Model* model : {smallModel(), persist_test::threeSectionModel()}) {
    // The live parameters never go to bytes; compare without them.
    hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);
    std::vector<unsigned char> bytes = toBytes(model, design);
    ErrorReport* err = nullptr;
    void* back = hmif_ConvertFromMIF(bytes.data(), bytes.size(), design, &err);
    ASSERT_NE(back, nullptr) << herr_ErrorReportMessage(err);
    EXPECT_EQ(smod_RSMsAreSame(model, static_cast<RSM_Model*>(back)), 1);
    // Sections follow one another at their padded size in memory and in bytes alike.
    const RSMFunctions& last = static_cast<RSM_Model*>(back)->rsm.RationalPolyList.data[1];
    EXPECT_EQ(last.columnSection, 1);
    EXPECT_EQ(last.sameDenominators, model->rsm.RationalPolyList.data[1].sameDenominators);
    hmif_ObjectFree(&back, design, nullptr);
    smod_RSMDelete(model);
  }
}

TEST_F(ModelBytes, TruncatedAndCorruptedBytesAreReportedAndLeaveNothing) {
  const HmifDesign* design = senmod::RSM_Model_Design();
  RSM_Model* model = smallModel();
  const std::vector<unsigned char> bytes = toBytes(model, design);
  for (size_t length = 0; length < bytes.size(); ++length) {
    ErrorReport* err = nullptr;
    EXPECT_EQ(hmif_ConvertFromMIF(bytes.data(), length, design, &err), nullptr) << length;
    EXPECT_NE(err, nullptr) << length;
    herr_DeleteErrorReportEx(&err);
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (unsigned char flip : {0x01, 0x80, 0xff}) {
      std::vector<unsigned char> damaged = bytes;
      damaged[at] ^= flip;
      ErrorReport* err = nullptr;
      void* back = hmif_ConvertFromMIF(damaged.data(), damaged.size(), design, &err);
      EXPECT_TRUE(back != nullptr || err != nullptr) << "byte " << at;
      // Whatever decodes goes through the transform object's conversion without harm.
      smod_RSMXformDelete(smod_RSMXformConvertFromMIFable(back, design, nullptr));
      hmif_ObjectFree(&back, design, nullptr);
      herr_DeleteErrorReportEx(&err);
    }
  }
  smod_RSMDelete(model);
}

}  // namespace
