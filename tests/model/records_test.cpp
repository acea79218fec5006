// Model records and sections: defaults, release, exhausted heap.
#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::affineSection;
using model_builder::heapDoubles;
using model_builder::heapText;

namespace {

using Records = HeapCheckedTest;

void expectDefaultSection(const RSMFunctions& s) {
  for (int m = 0; m < 5; ++m) {
    EXPECT_EQ(s.Scales[m], 1.0);
    EXPECT_EQ(s.Offsets[m], 0.0);
  }
  const int32_t powers[] = {
      s.sampleNumeratorPowerX,   s.sampleNumeratorPowerY,   s.sampleNumeratorPowerZ,
      s.sampleDenominatorPowerX, s.sampleDenominatorPowerY, s.sampleDenominatorPowerZ,
      s.rowNumeratorPowerX,      s.rowNumeratorPowerY,      s.rowNumeratorPowerZ,
      s.rowDenominatorPowerX,    s.rowDenominatorPowerY,    s.rowDenominatorPowerZ};
  for (int32_t power : powers) EXPECT_EQ(power, -1);
  EXPECT_EQ(s.useNormalization, SMOD_FALSE);
  EXPECT_EQ(s.validSolution, SMOD_FALSE);
  EXPECT_EQ(s.sameDenominators, SMOD_FALSE);
  for (const Smod_Doubles* a : {&s.sampleNumerator, &s.sampleDenominator, &s.rowNumerator,
                                &s.rowDenominator, &s.imageToGroundPoly, &s.validImageDomain}) {
    EXPECT_EQ(a->count, 0);
    EXPECT_EQ(a->data, nullptr);
  }
  EXPECT_EQ(s.rowSection, 0);
  EXPECT_EQ(s.columnSection, 0);
}

TEST_F(Records, NewSectionsHaveTheirDefaults) {
  ErrorReport* err = reinterpret_cast<ErrorReport*>(0x1);
  RSMFunctions* sections = smod_RationalPolynomialsCreate(3, &err);
  ASSERT_NE(sections, nullptr);
  EXPECT_EQ(err, nullptr);
  for (int i = 0; i < 3; ++i) expectDefaultSection(sections[i]);
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
    const RSM_Model_Orig& r = model->rsm;
    EXPECT_EQ(r.groundToImageTransform, SMOD_TRUE);
    EXPECT_EQ(r.demsource, HMOD_DEM_CONSTANT);
    for (const double* affine : {r.forSrcAffine, r.forDstAffine, r.invSrcAffine, r.invDstAffine})
      EXPECT_EQ(std::vector<double>(affine, affine + 6), (std::vector<double>{1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(r.z_mean, 0.0);
    EXPECT_EQ(r.rowsPerSection, 0.0);
    EXPECT_EQ(r.colsPerSection, 0.0);
    EXPECT_EQ(r.rowSections, 0);
    EXPECT_EQ(r.colSections, 0);
    EXPECT_EQ(r.demfilename.data, nullptr);
    EXPECT_EQ(r.demzunits.count, 0);
    EXPECT_EQ(r.RationalPolyList.count, 0);
    EXPECT_EQ(r.RationalPolyList.data, nullptr);
    for (const Smod_Doubles* a :
         {&r.imageDomain, &r.groundDomain, &r.groundToImagePoly, &r.adjustableParms, &r.grndd})
      EXPECT_EQ(a->data, nullptr);
    EXPECT_EQ(r.obsoletePlaceHolder0, nullptr);
    EXPECT_EQ(model->outputProjection.MIFObject.data, nullptr);
    EXPECT_EQ(model->outputHorizontalUnits.data, nullptr);
    EXPECT_EQ(model->outputElevationInfo.type.data, nullptr);
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
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 6);
  EXPECT_EQ(sections->sampleNumerator.data, nullptr);
  EXPECT_EQ(sections->sampleNumerator.count, 4);
  EXPECT_EQ(sections->validImageDomain.data, nullptr);
  EXPECT_EQ(sections->sampleNumeratorPowerX, 1);
  smod_RationalPolynomialsDataFree(sections, nullptr);
  smod_RationalPolynomialsDataFree(nullptr, nullptr);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 6);
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
