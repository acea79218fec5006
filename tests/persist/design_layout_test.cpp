// The host walks records by their designs, so each design must describe the C record exactly:
// same size, every item at its field's offset.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "persist/designs.h"
#include "senmod/senmod.h"
#ifndef SENMOD_DEMLAYER
#include "persist/covariance_designs.h"
#endif

namespace {

struct Field {
  const char* name;
  size_t offset;
};

void expectLayout(const HmifDesign* design, size_t size, const std::vector<Field>& fields) {
  ASSERT_NE(design, nullptr);
  SCOPED_TRACE(hmif_DesignName(design));
  EXPECT_EQ(hmif_DesignRecordSize(design), static_cast<int64_t>(size));
  ASSERT_EQ(hmif_DesignItemCount(design), static_cast<int32_t>(fields.size()));
  for (size_t i = 0; i < fields.size(); ++i) {
    int32_t index = static_cast<int32_t>(i);
    EXPECT_EQ(std::string(hmif_DesignItemName(design, index)), fields[i].name);
    EXPECT_EQ(hmif_DesignItemOffset(design, index), static_cast<int64_t>(fields[i].offset))
        << fields[i].name;
  }
}

#define FIELD(record, member) Field{#member, offsetof(record, member)}

std::vector<Field> modelOrigFields(size_t base) {
  std::vector<Field> fields = {
      FIELD(RSM_Model_Orig, groundToImageTransform), FIELD(RSM_Model_Orig, demsource),
      FIELD(RSM_Model_Orig, demfilename),   FIELD(RSM_Model_Orig, demzunits),
      FIELD(RSM_Model_Orig, forSrcAffine),  FIELD(RSM_Model_Orig, forDstAffine),
      FIELD(RSM_Model_Orig, invSrcAffine),  FIELD(RSM_Model_Orig, invDstAffine),
      FIELD(RSM_Model_Orig, z_mean),        FIELD(RSM_Model_Orig, RationalPolyList),
      FIELD(RSM_Model_Orig, imageDomain),   FIELD(RSM_Model_Orig, groundDomain),
      FIELD(RSM_Model_Orig, groundToImagePoly), FIELD(RSM_Model_Orig, adjustableParms),
      FIELD(RSM_Model_Orig, grndd),         FIELD(RSM_Model_Orig, rowsPerSection),
      FIELD(RSM_Model_Orig, colsPerSection), FIELD(RSM_Model_Orig, rowSections),
      FIELD(RSM_Model_Orig, colSections),   FIELD(RSM_Model_Orig, obsoletePlaceHolder0)};
  for (Field& field : fields) field.offset += base;
  return fields;
}

TEST(DesignLayout, EveryModelDesignMatchesItsRecord) {
  // "string" is the one item of Hmif_String; its offset is that of the count.
  expectLayout(senmod::Hmif_String_Design(), sizeof(Hmif_String), {{"string", 0}});
  expectLayout(senmod::Hmif_MIFObject_Design(), sizeof(Hmif_MIFObject),
               {FIELD(Hmif_MIFObject, type), FIELD(Hmif_MIFObject, MIFDictionary),
                FIELD(Hmif_MIFObject, MIFObject)});
  expectLayout(
      senmod::RSMFunctions_Design(), sizeof(RSMFunctions),
      {FIELD(RSMFunctions, Scales), FIELD(RSMFunctions, Offsets),
       FIELD(RSMFunctions, useNormalization), FIELD(RSMFunctions, sampleNumeratorPowerX),
       FIELD(RSMFunctions, sampleNumeratorPowerY), FIELD(RSMFunctions, sampleNumeratorPowerZ),
       FIELD(RSMFunctions, sampleDenominatorPowerX), FIELD(RSMFunctions, sampleDenominatorPowerY),
       FIELD(RSMFunctions, sampleDenominatorPowerZ), FIELD(RSMFunctions, rowNumeratorPowerX),
       FIELD(RSMFunctions, rowNumeratorPowerY), FIELD(RSMFunctions, rowNumeratorPowerZ),
       FIELD(RSMFunctions, rowDenominatorPowerX), FIELD(RSMFunctions, rowDenominatorPowerY),
       FIELD(RSMFunctions, rowDenominatorPowerZ), FIELD(RSMFunctions, sampleNumerator),
       FIELD(RSMFunctions, sampleDenominator), FIELD(RSMFunctions, rowNumerator),
       FIELD(RSMFunctions, rowDenominator), FIELD(RSMFunctions, validSolution),
       FIELD(RSMFunctions, sameDenominators), FIELD(RSMFunctions, imageToGroundPoly),
       FIELD(RSMFunctions, validImageDomain), FIELD(RSMFunctions, rowSection),
       FIELD(RSMFunctions, columnSection)});
  expectLayout(senmod::RSM_Model_Orig_Design(), sizeof(RSM_Model_Orig), modelOrigFields(0));

  std::vector<Field> outputs = {FIELD(RSM_Model, outputProjection),
                                FIELD(RSM_Model, outputHorizontalUnits),
                                FIELD(RSM_Model, outputElevationInfo)};
#ifdef SENMOD_DEMLAYER
  std::vector<Field> model = modelOrigFields(offsetof(RSM_Model, rsm));
#else
  std::vector<Field> model = {FIELD(RSM_Model, rsm)};
#endif
  model.insert(model.end(), outputs.begin(), outputs.end());
  senmod::RSMFunctions_Design();
  expectLayout(senmod::RSM_Model_Design(), sizeof(RSM_Model), model);
}

TEST(DesignLayout, RecordSizesAreThoseOfTheStoredFormat) {
  EXPECT_EQ(sizeof(RSMFunctions), 248u);
  EXPECT_EQ(sizeof(RSM_Model_Orig), 368u);
  EXPECT_EQ(sizeof(RSM_Model), 480u);
}

#ifndef SENMOD_DEMLAYER
#define FRAME(record)                                                                      \
  FIELD(record, xuol), FIELD(record, yuol), FIELD(record, zuol), FIELD(record, xuxl),      \
      FIELD(record, xuyl), FIELD(record, xuzl), FIELD(record, yuxl), FIELD(record, yuyl),  \
      FIELD(record, yuzl), FIELD(record, zuxl), FIELD(record, zuyl), FIELD(record, zuzl)
#define INDEX(record)                                                                      \
  FIELD(record, iro), FIELD(record, irx), FIELD(record, iry), FIELD(record, irz),          \
      FIELD(record, irxx), FIELD(record, irxy), FIELD(record, irxz), FIELD(record, iryy),  \
      FIELD(record, iryz), FIELD(record, irzz), FIELD(record, ico), FIELD(record, icx),    \
      FIELD(record, icy), FIELD(record, icz), FIELD(record, icxx), FIELD(record, icxy),    \
      FIELD(record, icxz), FIELD(record, icyy), FIELD(record, icyz), FIELD(record, iczz),  \
      FIELD(record, gxo), FIELD(record, gyo), FIELD(record, gzo), FIELD(record, gxr),      \
      FIELD(record, gyr), FIELD(record, gzr), FIELD(record, gs), FIELD(record, gxx),       \
      FIELD(record, gxy), FIELD(record, gxz), FIELD(record, gyx), FIELD(record, gyy),      \
      FIELD(record, gyz), FIELD(record, gzx), FIELD(record, gzy), FIELD(record, gzz)

TEST(DesignLayout, CovarianceDesignsMatchTheirRecords) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  ASSERT_NE(dictionary, nullptr);
  expectLayout(senmod::Smod_RSMAPA_DesignCreate(dictionary, nullptr), sizeof(Smod_RSMAPA),
               {FIELD(Smod_RSMAPA, iid), FIELD(Smod_RSMAPA, edition), FIELD(Smod_RSMAPA, tid),
                FIELD(Smod_RSMAPA, npar), FRAME(Smod_RSMAPA), INDEX(Smod_RSMAPA),
                FIELD(Smod_RSMAPA, parval)});
  expectLayout(senmod::Smod_RSMDCA_DesignCreate(dictionary, nullptr), sizeof(Smod_RSMDCA),
               {FIELD(Smod_RSMDCA, npar), FIELD(Smod_RSMDCA, nimge), FIELD(Smod_RSMDCA, npart),
                FIELD(Smod_RSMDCA, iidi), FIELD(Smod_RSMDCA, npari), FRAME(Smod_RSMDCA),
                INDEX(Smod_RSMDCA), FIELD(Smod_RSMDCA, dercov)});
  expectLayout(
      senmod::Smod_RSMECA_DesignCreate(dictionary, nullptr), sizeof(Smod_RSMECA),
      {FIELD(Smod_RSMECA, inclic), FIELD(Smod_RSMECA, incluc), FIELD(Smod_RSMECA, npar),
       FIELD(Smod_RSMECA, nparo), FIELD(Smod_RSMECA, ign), FIELD(Smod_RSMECA, cvdate),
       FRAME(Smod_RSMECA), INDEX(Smod_RSMECA), FIELD(Smod_RSMECA, numopg),
       FIELD(Smod_RSMECA, errcvg), FIELD(Smod_RSMECA, tcdf), FIELD(Smod_RSMECA, ncseg),
       FIELD(Smod_RSMECA, corseg), FIELD(Smod_RSMECA, tauseg), FIELD(Smod_RSMECA, map),
       FIELD(Smod_RSMECA, urr), FIELD(Smod_RSMECA, urc), FIELD(Smod_RSMECA, ucc),
       FIELD(Smod_RSMECA, uncsr), FIELD(Smod_RSMECA, ucorsr), FIELD(Smod_RSMECA, utausr),
       FIELD(Smod_RSMECA, uncsc), FIELD(Smod_RSMECA, ucorsc), FIELD(Smod_RSMECA, utausc)});
  hmif_DictionaryDestroy(dictionary);
}
#endif

}  // namespace
