// The host walks records by their designs, so each design must describe its C record exactly:
// the same size and every item, in order, at its field's offset.
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
#define F(record, member) Field{#member, offsetof(record, member)}

void expectLayout(const HmifDesign* design, size_t size, const std::vector<Field>& fields) {
  ASSERT_NE(design, nullptr);
  SCOPED_TRACE(hmif_DesignName(design));
  EXPECT_EQ(hmif_DesignRecordSize(design), static_cast<int64_t>(size));
  ASSERT_EQ(hmif_DesignItemCount(design), static_cast<int32_t>(fields.size()));
  for (int32_t i = 0; i < hmif_DesignItemCount(design); ++i) {
    EXPECT_EQ(std::string(hmif_DesignItemName(design, i)), fields[i].name);
    EXPECT_EQ(hmif_DesignItemOffset(design, i), static_cast<int64_t>(fields[i].offset))
        << fields[i].name;
  }
}

#define M(member) F(RSM_Model_Orig, member)
const std::vector<Field> kModelOrig = {
    M(groundToImageTransform), M(demsource), M(demfilename), M(demzunits), M(forSrcAffine),
    M(forDstAffine), M(invSrcAffine), M(invDstAffine), M(z_mean), M(RationalPolyList),
    M(imageDomain), M(groundDomain), M(groundToImagePoly), M(adjustableParms), M(grndd),
    M(rowsPerSection), M(colsPerSection), M(rowSections), M(colSections),
    M(obsoletePlaceHolder0)};
#undef M

TEST(DesignLayout, EveryModelDesignMatchesItsRecord) {
  expectLayout(senmod::Hmif_String_Design(), sizeof(Hmif_String), {{"string", 0}});
  expectLayout(senmod::Hmif_MIFObject_Design(), sizeof(Hmif_MIFObject),
               {F(Hmif_MIFObject, type), F(Hmif_MIFObject, MIFDictionary),
                F(Hmif_MIFObject, MIFObject)});
#define S(member) F(RSMFunctions, member)
  expectLayout(senmod::RSMFunctions_Design(), sizeof(RSMFunctions),
               {S(Scales), S(Offsets), S(useNormalization), S(sampleNumeratorPowerX),
                S(sampleNumeratorPowerY), S(sampleNumeratorPowerZ), S(sampleDenominatorPowerX),
                S(sampleDenominatorPowerY), S(sampleDenominatorPowerZ), S(rowNumeratorPowerX),
                S(rowNumeratorPowerY), S(rowNumeratorPowerZ), S(rowDenominatorPowerX),
                S(rowDenominatorPowerY), S(rowDenominatorPowerZ), S(sampleNumerator),
                S(sampleDenominator), S(rowNumerator), S(rowDenominator), S(validSolution),
                S(sameDenominators), S(imageToGroundPoly), S(validImageDomain), S(rowSection),
                S(columnSection)});
#undef S
  expectLayout(senmod::RSM_Model_Orig_Design(), sizeof(RSM_Model_Orig), kModelOrig);
#ifdef SENMOD_DEMLAYER
  std::vector<Field> model = kModelOrig;  // flat: rsm sits at offset 0
#else
  std::vector<Field> model = {F(RSM_Model, rsm)};
#endif
  model.insert(model.end(), {F(RSM_Model, outputProjection), F(RSM_Model, outputHorizontalUnits),
                             F(RSM_Model, outputElevationInfo)});
  expectLayout(senmod::RSM_Model_Design(), sizeof(RSM_Model), model);
  // The layout the stored format was defined with (end padding included).
  EXPECT_EQ(sizeof(RSMFunctions), 248u);
  EXPECT_EQ(sizeof(RSM_Model), 480u);
}

#ifndef SENMOD_DEMLAYER
template <typename Record>
std::vector<Field> withBlocks(std::vector<Field> head, const std::vector<Field>& tail) {
#define R(member) F(Record, member)
  head.insert(head.end(),
              {R(xuol), R(yuol), R(zuol), R(xuxl), R(xuyl), R(xuzl), R(yuxl), R(yuyl), R(yuzl),
               R(zuxl), R(zuyl), R(zuzl), R(iro), R(irx), R(iry), R(irz), R(irxx), R(irxy),
               R(irxz), R(iryy), R(iryz), R(irzz), R(ico), R(icx), R(icy), R(icz), R(icxx),
               R(icxy), R(icxz), R(icyy), R(icyz), R(iczz), R(gxo), R(gyo), R(gzo), R(gxr),
               R(gyr), R(gzr), R(gs), R(gxx), R(gxy), R(gxz), R(gyx), R(gyy), R(gyz), R(gzx),
               R(gzy), R(gzz)});
#undef R
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(DesignLayout, CovarianceDesignsMatchTheirRecords) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
#define A(member) F(Smod_RSMAPA, member)
  expectLayout(senmod::Smod_RSMAPA_DesignCreate(dictionary, nullptr), sizeof(Smod_RSMAPA),
               withBlocks<Smod_RSMAPA>({A(iid), A(edition), A(tid), A(npar)}, {A(parval)}));
#define D(member) F(Smod_RSMDCA, member)
  expectLayout(
      senmod::Smod_RSMDCA_DesignCreate(dictionary, nullptr), sizeof(Smod_RSMDCA),
      withBlocks<Smod_RSMDCA>({D(npar), D(nimge), D(npart), D(iidi), D(npari)}, {D(dercov)}));
#define E(member) F(Smod_RSMECA, member)
  expectLayout(senmod::Smod_RSMECA_DesignCreate(dictionary, nullptr), sizeof(Smod_RSMECA),
               withBlocks<Smod_RSMECA>(
                   {E(inclic), E(incluc), E(npar), E(nparo), E(ign), E(cvdate)},
                   {E(numopg), E(errcvg), E(tcdf), E(ncseg), E(corseg), E(tauseg), E(map),
                    E(urr), E(urc), E(ucc), E(uncsr), E(ucorsr), E(utausr), E(uncsc),
                    E(ucorsc), E(utausc)}));
  hmif_DictionaryDestroy(dictionary);
}
#endif

}  // namespace
