// Covariance and adjustable-parameter records to persistent bytes (main build only).
#include <gtest/gtest.h>

#ifndef SENMOD_DEMLAYER

#include <cstring>
#include <functional>
#include <string>

#include "support/model_builder.h"
#include "persist/persist_fixture.h"
#include "senmod/senmod.h"

namespace {

using model_builder::heapDoubles;
using model_builder::heapText;
using persist_test::HeapBalance;

using Convert = std::function<void(void**, int32_t*, HmifDictionary**, ErrorReport**)>;

// Converts, decodes the bytes with the design from the handed-out dictionary and hands the
// decoded record to check; everything is released afterwards.
void roundTrip(const Convert& convert, const char* designName,
               const std::function<void(const void*)>& check) {
  void* bytes = nullptr;
  int32_t count = 0;
  HmifDictionary* dictionary = nullptr;
  ErrorReport* err = nullptr;
  convert(&bytes, &count, &dictionary, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  ASSERT_NE(bytes, nullptr);
  ASSERT_NE(dictionary, nullptr);
  HmifDesign* design = hmif_DictionaryFindDesign(dictionary, designName);
  ASSERT_NE(design, nullptr);
  void* back = hmif_ConvertFromMIF(bytes, static_cast<size_t>(count), design, &err);
  ASSERT_NE(back, nullptr) << herr_ErrorReportMessage(err);
  check(back);
  hmif_ObjectFree(&back, design, nullptr);
  hmif_DictionaryDestroy(dictionary);
  hmsc_HeapFree(bytes);
}

using CovariancePersist = HeapBalance;

TEST_F(CovariancePersist, AdjustableParametersSurviveBytes) {
  Smod_RSMAPA* record = smod_RSMAPACreate(nullptr);
  record->iid = heapText("IMAGE-7");
  record->edition = heapText("ED1");
  record->npar = 2;
  record->zuzl = 0.75;
  record->gzz = 9;
  record->parval = heapDoubles({1e-3, -2.5});
  roundTrip(
      [&](void** b, int32_t* c, HmifDictionary** d, ErrorReport** e) {
        smod_RsmApaConvertToMIF(record, b, c, d, e);
      },
      "Smod_RSMAPA",
      [&](const void* decoded) {
        auto* back = static_cast<const Smod_RSMAPA*>(decoded);
        EXPECT_STREQ(back->iid.data, "IMAGE-7");
        EXPECT_STREQ(back->edition.data, "ED1");
        EXPECT_EQ(back->tid.data, nullptr);
        EXPECT_EQ(back->npar, 2);
        EXPECT_EQ(back->zuzl, 0.75);
        EXPECT_EQ(back->gzz, 9);
        ASSERT_EQ(back->parval.count, 2);
        EXPECT_EQ(back->parval.data[1], -2.5);
      });
  smod_RSMAPADelete(record);
  hmsc_HeapFree(record);
}

TEST_F(CovariancePersist, DirectCovarianceSurvivesBytes) {
  Smod_RSMDCA* record = smod_RSMDCACreate(nullptr);
  record->npar = 1;
  record->nimge = 2;
  record->iidi = heapText("A");
  record->npari.count = 2;
  record->npari.data = static_cast<int32_t*>(hmsc_HeapMalloc(2 * sizeof(int32_t)));
  record->npari.data[0] = 3;
  record->npari.data[1] = -4;
  record->xuol = 1234.5;
  record->dercov = heapDoubles({1, 2, 3});
  roundTrip(
      [&](void** b, int32_t* c, HmifDictionary** d, ErrorReport** e) {
        smod_RsmDcaConvertToMIF(record, b, c, d, e);
      },
      "Smod_RSMDCA",
      [&](const void* decoded) {
        auto* back = static_cast<const Smod_RSMDCA*>(decoded);
        EXPECT_EQ(back->nimge, 2);
        EXPECT_STREQ(back->iidi.data, "A");
        ASSERT_EQ(back->npari.count, 2);
        EXPECT_EQ(back->npari.data[1], -4);
        EXPECT_EQ(back->xuol, 1234.5);
        ASSERT_EQ(back->dercov.count, 3);
        EXPECT_EQ(back->dercov.data[2], 3.0);
      });
  smod_RSMDCADelete(record);
}

TEST_F(CovariancePersist, IndirectCovarianceSurvivesBytes) {
  Smod_RSMECA* record = smod_RSMECACreate(nullptr);
  record->inclic = heapText("Y");
  record->cvdate = 20240101;
  record->numopg = 5;
  record->errcvg = heapDoubles({0.5, 0.25});
  record->urr = 1.5;
  record->ucc = -2.0;
  record->uncsc = 2;
  record->utausc = heapDoubles({7, 8});
  roundTrip(
      [&](void** b, int32_t* c, HmifDictionary** d, ErrorReport** e) {
        smod_RsmEcaConvertToMIF(record, b, c, d, e);
      },
      "Smod_RSMECA",
      [&](const void* decoded) {
        auto* back = static_cast<const Smod_RSMECA*>(decoded);
        EXPECT_STREQ(back->inclic.data, "Y");
        EXPECT_EQ(back->cvdate, 20240101);
        EXPECT_EQ(back->numopg, 5);
        ASSERT_EQ(back->errcvg.count, 2);
        EXPECT_EQ(back->urr, 1.5);
        EXPECT_EQ(back->ucc, -2.0);
        EXPECT_EQ(back->uncsc, 2);
        ASSERT_EQ(back->utausc.count, 2);
        EXPECT_EQ(back->utausc.data[1], 8.0);
      });
  smod_RSMECADelete(record);
}

TEST_F(CovariancePersist, OutputsAreCheckedAndEachCallHandsOutItsOwn) {
  Smod_RSMECA* record = smod_RSMECACreate(nullptr);
  void* bytes = nullptr;
  HmifDictionary* dictionary = nullptr;
  ErrorReport* err = nullptr;
  smod_RsmEcaConvertToMIF(record, nullptr, nullptr, &dictionary, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "NULL pointers!");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RsmEcaConvertToMIF");
  EXPECT_EQ(herr_ErrorReportPrevious(err), nullptr);
  EXPECT_EQ(dictionary, nullptr);
  herr_DeleteErrorReportEx(&err);
  smod_RsmEcaConvertToMIF(record, &bytes, nullptr, nullptr, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "NULL pointers!");
  EXPECT_EQ(bytes, nullptr);
  herr_DeleteErrorReportEx(&err);

  // The byte count is optional; two calls share nothing.
  void* otherBytes = nullptr;
  HmifDictionary* otherDictionary = nullptr;
  smod_RsmEcaConvertToMIF(record, &bytes, nullptr, &dictionary, &err);
  smod_RsmEcaConvertToMIF(record, &otherBytes, nullptr, &otherDictionary, &err);
  EXPECT_EQ(err, nullptr);
  ASSERT_NE(bytes, nullptr);
  ASSERT_NE(otherBytes, nullptr);
  EXPECT_NE(bytes, otherBytes);
  EXPECT_NE(dictionary, otherDictionary);
  hmif_DictionaryDestroy(dictionary);
  EXPECT_NE(hmif_DictionaryFindDesign(otherDictionary, "Smod_RSMECA"), nullptr);
  hmif_DictionaryDestroy(otherDictionary);
  hmsc_HeapFree(bytes);
  hmsc_HeapFree(otherBytes);
  smod_RSMECADelete(record);
}

TEST_F(CovariancePersist, ExhaustedHeapHandsOutNothingAndLeaksNothing) {
  Smod_RSMDCA* record = smod_RSMDCACreate(nullptr);
  record->dercov = heapDoubles({1, 2, 3, 4});
  long before = hmsc_HeapLiveBlocks();
  for (long n = 0;; ++n) {
    void* bytes = nullptr;
    int32_t count = -1;
    HmifDictionary* dictionary = nullptr;
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    smod_RsmDcaConvertToMIF(record, &bytes, &count, &dictionary, &err);
    hmsc_HeapFailAfter(-1);
    if (!err) {
      EXPECT_GT(count, 0);
      hmsc_HeapFree(bytes);
      hmif_DictionaryDestroy(dictionary);
      break;
    }
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(dictionary, nullptr);
    herr_DeleteErrorReportEx(&err);
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
  smod_RSMDCADelete(record);
}

}  // namespace

#endif  // SENMOD_DEMLAYER
