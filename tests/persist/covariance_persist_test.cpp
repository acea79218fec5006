// Covariance and adjustable-parameter records to persistent bytes (main build only).
#include <gtest/gtest.h>

#ifndef SENMOD_DEMLAYER

#include "persist/persist_fixture.h"

namespace {

using model_builder::heapDoubles;
using model_builder::heapText;

// The record's bytes decoded by the design in the handed-out dictionary (free with
// hmif_ObjectFree and that design); everything else the conversion handed out is released.
template <typename Record, typename Convert>
Record* roundTrip(const Record* record, Convert convert, const char* designName,
                  const HmifDesign** design, HmifDictionary** dictionary) {
  void* bytes = nullptr;
  int32_t count = 0;
  ErrorReport* err = nullptr;
  convert(record, &bytes, &count, dictionary, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  *design = hmif_DictionaryFindDesign(*dictionary, designName);
  void* back = hmif_ConvertFromMIF(bytes, static_cast<size_t>(count), *design, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  hmsc_HeapFree(bytes);
  return static_cast<Record*>(back);
}

using CovariancePersist = persist_test::HeapBalance;

TEST_F(CovariancePersist, RecordsSurviveBytes) {
  const HmifDesign* design = nullptr;
  HmifDictionary* dictionary = nullptr;

  Smod_RSMAPA* apa = smod_RSMAPACreate(nullptr);
  apa->edition = heapText("ED1");
  apa->zuzl = 0.75;
  apa->gzz = 9;
  apa->parval = heapDoubles({1e-3, -2.5});
  void* back = roundTrip(apa, smod_RsmApaConvertToMIF, "Smod_RSMAPA", &design, &dictionary);
  auto* apaBack = static_cast<Smod_RSMAPA*>(back);
  ASSERT_NE(apaBack, nullptr);
  EXPECT_STREQ(apaBack->edition.data, "ED1");
  EXPECT_EQ(apaBack->zuzl, 0.75);
  EXPECT_EQ(apaBack->gzz, 9);
  EXPECT_EQ(apaBack->parval.data[1], -2.5);
  hmif_ObjectFree(&back, design, nullptr);
  hmif_DictionaryDestroy(dictionary);
  smod_RSMAPADelete(apa);
  hmsc_HeapFree(apa);

  Smod_RSMDCA* dca = smod_RSMDCACreate(nullptr);
  dca->npart = 2;
  dca->npari = {1, static_cast<int32_t*>(hmsc_HeapMalloc(sizeof(int32_t)))};
  dca->npari.data[0] = -4;
  dca->xuol = 1234.5;
  dca->dercov = heapDoubles({1, 2, 3});
  back = roundTrip(dca, smod_RsmDcaConvertToMIF, "Smod_RSMDCA", &design, &dictionary);
  auto* dcaBack = static_cast<Smod_RSMDCA*>(back);
  ASSERT_NE(dcaBack, nullptr);
  EXPECT_EQ(dcaBack->npart, 2);
  EXPECT_EQ(dcaBack->npari.data[0], -4);
  EXPECT_EQ(dcaBack->xuol, 1234.5);
  EXPECT_EQ(dcaBack->dercov.data[2], 3.0);
  hmif_ObjectFree(&back, design, nullptr);
  hmif_DictionaryDestroy(dictionary);
  smod_RSMDCADelete(dca);

  Smod_RSMECA* eca = smod_RSMECACreate(nullptr);
  eca->cvdate = 20240101;
  eca->urr = 1.5;  // after the padding that follows an odd number of 32-bit fields
  eca->uncsc = 2;
  eca->utausc = heapDoubles({7, 8});
  back = roundTrip(eca, smod_RsmEcaConvertToMIF, "Smod_RSMECA", &design, &dictionary);
  auto* ecaBack = static_cast<Smod_RSMECA*>(back);
  ASSERT_NE(ecaBack, nullptr);
  EXPECT_EQ(ecaBack->cvdate, 20240101);
  EXPECT_EQ(ecaBack->urr, 1.5);
  EXPECT_EQ(ecaBack->uncsc, 2);
  EXPECT_EQ(ecaBack->utausc.data[1], 8.0);
  hmif_ObjectFree(&back, design, nullptr);
  hmif_DictionaryDestroy(dictionary);
  smod_RSMECADelete(eca);
}

TEST_F(CovariancePersist, OutputsAreCheckedAndNothingIsSharedOrLeaked) {
  Smod_RSMECA* record = smod_RSMECACreate(nullptr);
  record->errcvg = heapDoubles({1, 2, 3, 4});
  void* bytes = nullptr;
  HmifDictionary* dictionary = nullptr;
  ErrorReport* err = nullptr;
  smod_RsmEcaConvertToMIF(record, nullptr, nullptr, &dictionary, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "NULL pointers!");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RsmEcaConvertToMIF");
  EXPECT_EQ(dictionary, nullptr);
  herr_DeleteErrorReportEx(&err);

  // The byte count is optional; two calls share nothing.
  void* otherBytes = nullptr;
  HmifDictionary* otherDictionary = nullptr;
  smod_RsmEcaConvertToMIF(record, &bytes, nullptr, &dictionary, &err);
  smod_RsmEcaConvertToMIF(record, &otherBytes, nullptr, &otherDictionary, &err);
  EXPECT_EQ(err, nullptr);
  EXPECT_NE(bytes, otherBytes);
  EXPECT_NE(dictionary, otherDictionary);
  hmif_DictionaryDestroy(dictionary);
  hmif_DictionaryDestroy(otherDictionary);
  hmsc_HeapFree(bytes);
  hmsc_HeapFree(otherBytes);

  persist_test::sweepHeap([&](long) {
    int32_t count = -1;
    bytes = nullptr;
    dictionary = nullptr;
    smod_RsmEcaConvertToMIF(record, &bytes, &count, &dictionary, &err);
    EXPECT_EQ(err == nullptr, bytes != nullptr);
    EXPECT_EQ(err == nullptr, dictionary != nullptr);
    EXPECT_EQ(err == nullptr, count > 0);
    herr_DeleteErrorReportEx(&err);
    hmsc_HeapFree(bytes);
    hmif_DictionaryDestroy(dictionary);
    return bytes != nullptr;
  });
  smod_RSMECADelete(record);
}

}  // namespace

#endif  // SENMOD_DEMLAYER
