// Adjustable-parameter and error-covariance records (main build only).
#ifndef SENMOD_DEMLAYER
#include <cstring>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::heapDoubles;
using model_builder::heapText;

namespace {

using Covariance = HeapCheckedTest;

template <typename Record>
bool allZero(const Record* record, size_t bytes = sizeof(Record)) {
  const auto* p = reinterpret_cast<const unsigned char*>(record);
  for (size_t i = 0; i < bytes; ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST_F(Covariance, NewRecordsAreZeroed) {
  ErrorReport* err = reinterpret_cast<ErrorReport*>(0x1);
  Smod_RSMECA* eca = smod_RSMECACreate(&err);
  EXPECT_EQ(err, nullptr);
  ASSERT_NE(eca, nullptr);
  EXPECT_TRUE(allZero(eca));
  // The shared creation zeroes either layout.
  Smod_RSMDCA* dca = smod_RSMDCACreate(&err);
  ASSERT_NE(dca, nullptr);
  EXPECT_TRUE(allZero(dca));
  EXPECT_TRUE(allZero(reinterpret_cast<Smod_RSMAPA*>(dca)));
  Smod_RSMAPA* apa = smod_RSMAPACreate(&err);
  ASSERT_NE(apa, nullptr);
  EXPECT_TRUE(allZero(apa));
  EXPECT_TRUE(allZero(reinterpret_cast<Smod_RSMDCA*>(apa)));
  smod_RSMECADelete(eca);
  smod_RSMDCADelete(dca);
  smod_RSMDCADelete(reinterpret_cast<Smod_RSMDCA*>(apa));
}

TEST_F(Covariance, ExhaustedHeapGivesNullWithoutReport) {
  ErrorReport* err = nullptr;
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(smod_RSMECACreate(&err), nullptr);
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(smod_RSMDCACreate(&err), nullptr);
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(smod_RSMAPACreate(&err), nullptr);
  EXPECT_EQ(err, nullptr);
}

TEST_F(Covariance, DeleteReleasesEveryOwnedMember) {
  ErrorReport* err = nullptr;
  Smod_RSMECA* eca = smod_RSMECACreate(&err);
  eca->inclic = heapText("Y");
  eca->incluc = heapText("N");
  for (Smod_Doubles* d : {&eca->errcvg, &eca->corseg, &eca->tauseg, &eca->map, &eca->ucorsr,
                          &eca->utausr, &eca->ucorsc, &eca->utausc})
    *d = heapDoubles({1.0, 2.0});
  smod_RSMECADelete(eca);

  Smod_RSMDCA* dca = smod_RSMDCACreate(&err);
  dca->iidi = heapText("image");
  dca->npari.data = static_cast<int32_t*>(hmsc_HeapMalloc(2 * sizeof(int32_t)));
  dca->npari.count = 2;
  dca->dercov = heapDoubles({1.0});
  smod_RSMDCADelete(dca);
  smod_RSMECADelete(nullptr);
  smod_RSMDCADelete(nullptr);
  smod_RSMAPADelete(nullptr);
}

TEST_F(Covariance, ApaDeleteKeepsTheRecord) {
  ErrorReport* err = nullptr;
  Smod_RSMAPA* apa = smod_RSMAPACreate(&err);
  apa->iid = heapText("image");
  apa->edition = heapText("1");
  apa->tid = heapText("t");
  apa->parval = heapDoubles({1.0, 2.0, 3.0});
  apa->npar = 3;
  const long live = hmsc_HeapLiveBlocks();
  smod_RSMAPADelete(apa);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 4);
  EXPECT_EQ(apa->iid.data, nullptr);
  EXPECT_EQ(apa->parval.data, nullptr);
  EXPECT_EQ(apa->parval.count, 3);
  EXPECT_EQ(apa->npar, 3);
  smod_RSMAPADelete(apa);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 4);
  hmsc_HeapFree(apa);
}

}  // namespace
#endif  // SENMOD_DEMLAYER
