// Model records and sections: defaults, release, exhausted heap.
#include <cstring>
#include <utility>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::heapDoubles;
using model_builder::heapText;

namespace {

using Records = HeapCheckedTest;

template <typename Record>
bool allZero(const Record& record) {
  const auto* p = reinterpret_cast<const unsigned char*>(&record);
  for (size_t i = 0; i < sizeof(Record); ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST_F(Records, NewSectionsHaveTheirDefaults) {
  ErrorReport* err = reinterpret_cast<ErrorReport*>(0x1);
  RSMFunctions* sections = smod_RationalPolynomialsCreate(3, &err);
  ASSERT_NE(sections, nullptr);
  EXPECT_EQ(err, nullptr);
  for (int i = 0; i < 3; ++i) {
    // Scales 1 and powers -1; everything else (offsets, flags, arrays, indices) zero.
    RSMFunctions rest;
    std::memcpy(&rest, &sections[i], sizeof rest);
    for (double& scale : rest.Scales) EXPECT_EQ(std::exchange(scale, 0.0), 1.0);
    int32_t* powers = &rest.sampleNumeratorPowerX;
    for (int p = 0; p < 12; ++p) EXPECT_EQ(std::exchange(powers[p], 0), -1);
    EXPECT_TRUE(allZero(rest)) << i;
  }
  smod_RationalPolynomialsFree(sections, 3, nullptr);
  EXPECT_EQ(smod_RationalPolynomialsCreate(0, nullptr), nullptr);
  // An exhausted heap gives null with a report (the host's own when even that has no room).
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(smod_RationalPolynomialsCreate(2, &err), nullptr);
  hmsc_HeapFailAfter(-1);
  EXPECT_NE(err, nullptr);
  herr_DeleteErrorReportEx(&err);
}

TEST_F(Records, NewModelHasItsDefaults) {
  for (bool withSlot : {true, false}) {
    ErrorReport* err = nullptr;
    RSM_Model* model = smod_RSMCreate(withSlot ? &err : nullptr);
    ASSERT_NE(model, nullptr);
    // Ground to image, constant height, identity affines; everything else zero or empty.
    RSM_Model rest;
    std::memcpy(&rest, model, sizeof rest);
    EXPECT_EQ(std::exchange(rest.rsm.groundToImageTransform, 0), SMOD_TRUE);
    EXPECT_EQ(std::exchange(rest.rsm.demsource, 0), HMOD_DEM_CONSTANT);
    for (double* affine : {rest.rsm.forSrcAffine, rest.rsm.forDstAffine, rest.rsm.invSrcAffine,
                           rest.rsm.invDstAffine}) {
      EXPECT_EQ(std::exchange(affine[0], 0.0), 1.0);
      EXPECT_EQ(std::exchange(affine[4], 0.0), 1.0);
    }
    EXPECT_TRUE(allZero(rest));
    smod_RSMDelete(model);
  }
  ErrorReport* err = nullptr;
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(smod_RSMCreate(&err), nullptr);
  EXPECT_EQ(err, nullptr);
}

TEST_F(Records, SectionDataIsReleasedOnceAndTheSectionKept) {
  RSMFunctions* sections = model_builder::makeSections({affineSection(1, 2, 3, 4, 5, 6)});
  sections->imageToGroundPoly = heapDoubles({1, 2, 3, 4, 5, 6, 7});
  sections->validImageDomain = heapDoubles({0, 1});
  const long live = hmsc_HeapLiveBlocks();
  smod_RationalPolynomialsDataFree(sections, nullptr);
  smod_RationalPolynomialsDataFree(sections, nullptr);
  smod_RationalPolynomialsDataFree(nullptr, nullptr);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 6);
  EXPECT_EQ(sections->sampleNumerator.data, nullptr);
  EXPECT_EQ(sections->sampleNumerator.count, 4);
  EXPECT_EQ(sections->validImageDomain.data, nullptr);
  EXPECT_EQ(sections->sampleNumeratorPowerX, 1);
  // A count below 1 releases nothing, not even the array.
  smod_RationalPolynomialsFree(sections, 0, nullptr);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 6);
  smod_RationalPolynomialsFree(sections, 1, nullptr);
  smod_RationalPolynomialsFree(nullptr, 4, nullptr);
}

TEST_F(Records, ModelDeleteReleasesEverythingItOwns) {
  ErrorReport* err = nullptr;
  RSM_Model* model = model_builder::makeModel(
      {affineSection(1, 2, 3, 4, 5, 6), affineSection(1, 2, 3, 4, 5, 6)}, 1, 2, 10.0, 10.0);
  model->rsm.demfilename = heapText("dem.tif");
  model->rsm.demzunits = heapText("meters");
  model->rsm.groundDomain = heapDoubles({1, 2, 3});
  model->rsm.groundToImagePoly = heapDoubles(std::vector<double>(20, 1.0));
  model->rsm.adjustableParms = heapDoubles({1});
  model->rsm.grndd = heapDoubles({1});
  model->rsm.obsoletePlaceHolder0 = hprj_ProParametersCreate(&err);
  model->outputHorizontalUnits = heapText("meters");
  smod_RSMDelete(model);
  smod_RSMDelete(nullptr);
  // With no sections the other members and the record still go.
  model = smod_RSMCreate(&err);
  model->rsm.imageDomain = heapDoubles({0, 1, 2, 3});
  smod_RSMDelete(model);
}

}  // namespace
