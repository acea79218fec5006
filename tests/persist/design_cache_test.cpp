// The shared design cache: every design built once per process, the same handle everywhere,
// from any thread; failures reported under the builder's name and retried on the next call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hostthread.h"
#include "persist/designs.h"
#include "senmod/senmod.h"

namespace {

using Builder = HmifDesign* (*)(ErrorReport**);
const Builder kBuilders[] = {senmod::Hmif_String_Design, senmod::Hmif_MIFObject_Design,
                             senmod::RSMFunctions_Design, senmod::RSM_Model_Orig_Design,
                             senmod::RSM_Model_Design};
constexpr int kBuilderCount = 5;

TEST(DesignCache, ThreadsRacingForTheDesignsAllGetTheSameHandles) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<std::vector<HmifDesign*>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &seen] {
      // Each thread starts with a different design so that first builds collide.
      for (int round = 0; round < kRounds; ++round) {
        int which = (t + round) % kBuilderCount;
        ErrorReport* err = nullptr;
        seen[t].push_back(kBuilders[which](&err));
        EXPECT_EQ(err, nullptr);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int which = 0; which < kBuilderCount; ++which) {
    std::set<HmifDesign*> handles;
    for (int t = 0; t < kThreads; ++t) {
      for (int round = 0; round < kRounds; ++round) {
        if ((t + round) % kBuilderCount == which) handles.insert(seen[t][round]);
      }
    }
    ASSERT_EQ(handles.size(), 1u) << "builder " << which;
    EXPECT_NE(*handles.begin(), nullptr);
    EXPECT_EQ(kBuilders[which](nullptr), *handles.begin());
  }
}

TEST(DesignCache, DesignsCarryTheirNamesAndReferToTheCachedSubDesigns) {
  const char* names[] = {"Hmif_String", "Hmif_MIFObject", "RSMFunctions", "RSM_Model_Orig",
                         "RSM_Model"};
  for (int which = 0; which < kBuilderCount; ++which) {
    EXPECT_EQ(std::string(hmif_DesignName(kBuilders[which](nullptr))), names[which]);
  }
  // The section design is registered by name, so the model's array of sections resolves.
  EXPECT_GT(hmif_DesignRecordSize(senmod::RSM_Model_Orig_Design()), 0);
}

TEST(DesignCache, BuildersTakeTheThreadUnsafeSectionTheCallerHolds) {
  // A builder called from inside the section (as the designs call one another) must not block.
  hthr_ThreadUnsafeCodeEnter(0);
  EXPECT_NE(senmod::RSM_Model_Design(), nullptr);
  hthr_ThreadUnsafeCodeExit();
}

// Runs in a fresh process (threadsafe death-test style re-executes the binary), where no design
// exists yet, so that the dictionary creation itself can be made to fail.
void failFirstDictionaryThenRecover() {
  long live = hmsc_HeapLiveBlocks();
  hmsc_HeapFailAfter(0);
  ErrorReport* err = nullptr;
  HmifDesign* design = senmod::RSM_Model_Design(&err);
  hmsc_HeapFailAfter(-1);
  // The exhausted heap also takes the report's own text, so only its presence is checked.
  if (design != nullptr || err == nullptr) std::exit(10);
  herr_DeleteErrorReportEx(&err);
  // Without a slot the failure leaves nothing behind.
  hmsc_HeapFailAfter(0);
  design = senmod::Hmif_String_Design(nullptr);
  hmsc_HeapFailAfter(-1);
  if (design != nullptr || hmsc_HeapLiveBlocks() != live) std::exit(13);
  // The next call builds normally.
  if (!senmod::RSM_Model_Design(&err) || err) std::exit(14);
  std::exit(0);
}

TEST(DesignCacheDeathTest, DictionaryCreationFailureIsReportedAndRetried) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(failFirstDictionaryThenRecover(), testing::ExitedWithCode(0), "");
}

// A design that cannot be built is not cached: a later call builds it.
void failDesignThenRecover() {
  senmod::Hmif_String_Design();  // the dictionary and the text design exist
  for (long n = 0;; ++n) {
    hmsc_HeapFailAfter(n);
    ErrorReport* err = nullptr;
    HmifDesign* design = senmod::RSM_Model_Design(&err);
    hmsc_HeapFailAfter(-1);
    if (design) break;
    if (err == nullptr) std::exit(20);
    herr_DeleteErrorReportEx(&err);
    if (n > 10000) std::exit(22);
  }
  std::exit(senmod::RSM_Model_Design() == senmod::RSM_Model_Design() ? 0 : 23);
}

TEST(DesignCacheDeathTest, DesignCreationFailureIsReportedAndRetried) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(failDesignThenRecover(), testing::ExitedWithCode(0), "");
}

TEST(DesignDefine, RegistersTheSectionDesignInTheCallersDictionary) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  ASSERT_NE(dictionary, nullptr);
  ErrorReport* err = nullptr;
  HmifDesign* added = smod_RationalPolynomialsDesignDefine(dictionary, &err);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(hmif_DictionaryFindDesign(dictionary, "RSMFunctions"), added);
  EXPECT_NE(added, senmod::RSMFunctions_Design());
  // A second registration is the host's to handle; it still succeeds here.
  EXPECT_NE(smod_RationalPolynomialsDesignDefine(dictionary, nullptr), nullptr);
  hmif_DictionaryDestroy(dictionary);
}

TEST(DesignDefine, RefusedRegistrationIsReported) {
  ErrorReport* err = nullptr;
  EXPECT_EQ(smod_RationalPolynomialsDesignDefine(nullptr, &err), nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "hmif_DictionaryAddDesign failed");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RationalPolynomialsDesignDefine");
  EXPECT_EQ(herr_ErrorReportSeverity(err), 2);
  EXPECT_NE(herr_ErrorReportPrevious(err), nullptr);
  herr_DeleteErrorReportEx(&err);
}

}  // namespace
