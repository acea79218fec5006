// Adjustable-parameter and error-covariance records (main build only).
#ifndef SENMOD_DEMLAYER
#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::heapDoubles;
using model_builder::heapText;

namespace {

using Covariance = HeapCheckedTest;

bool allZero(const void* record, size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(record);
  for (size_t i = 0; i < bytes; ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST_F(Covariance, NewRecordsAreZeroedAndServeEitherLayout) {
  ErrorReport* err = reinterpret_cast<ErrorReport*>(0x1);
  Smod_RSMECA* eca = smod_RSMECACreate(&err);
  EXPECT_EQ(err, nullptr);
  ASSERT_NE(eca, nullptr);
  EXPECT_TRUE(allZero(eca, sizeof(Smod_RSMECA)));
  void* dca = smod_RSMDCACreate(&err);
  void* apa = smod_RSMAPACreate(&err);
  for (void* record : {dca, apa}) {
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(allZero(record, sizeof(Smod_RSMDCA)));
    EXPECT_TRUE(allZero(record, sizeof(Smod_RSMAPA)));
  }
  smod_RSMECADelete(eca);
  smod_RSMDCADelete(static_cast<Smod_RSMDCA*>(dca));
  smod_RSMDCADelete(static_cast<Smod_RSMDCA*>(apa));
  // An exhausted heap gives null without a report.
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(smod_RSMECACreate(&err), nullptr);
  EXPECT_EQ(smod_RSMDCACreate(&err), nullptr);
  EXPECT_EQ(smod_RSMAPACreate(&err), nullptr);
  EXPECT_EQ(err, nullptr);
}

TEST_F(Covariance, DeleteReleasesEveryOwnedMember) {
  Smod_RSMECA* eca = smod_RSMECACreate(nullptr);
  eca->inclic = heapText("Y");
  eca->incluc = heapText("N");
  for (Smod_Doubles* d : {&eca->errcvg, &eca->corseg, &eca->tauseg, &eca->map, &eca->ucorsr,
                          &eca->utausr, &eca->ucorsc, &eca->utausc})
    *d = heapDoubles({1.0, 2.0});
  smod_RSMECADelete(eca);
  Smod_RSMDCA* dca = smod_RSMDCACreate(nullptr);
  dca->iidi = heapText("image");
  dca->npari = Smod_Ints{1, static_cast<int32_t*>(hmsc_HeapMalloc(sizeof(int32_t)))};
  dca->dercov = heapDoubles({1.0});
  smod_RSMDCADelete(dca);
  smod_RSMECADelete(nullptr);
  smod_RSMDCADelete(nullptr);
  smod_RSMAPADelete(nullptr);
}

TEST_F(Covariance, ApaDeleteKeepsTheRecordAndItsCounts) {
  Smod_RSMAPA* apa = smod_RSMAPACreate(nullptr);
  apa->iid = heapText("image");
  apa->edition = heapText("1");
  apa->tid = heapText("t");
  apa->parval = heapDoubles({1.0, 2.0, 3.0});
  const long live = hmsc_HeapLiveBlocks();
  smod_RSMAPADelete(apa);
  smod_RSMAPADelete(apa);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), live - 4);
  EXPECT_EQ(apa->iid.data, nullptr);
  EXPECT_EQ(apa->parval.data, nullptr);
  EXPECT_EQ(apa->parval.count, 3);
  hmsc_HeapFree(apa);
}

}  // namespace
#endif  // SENMOD_DEMLAYER
