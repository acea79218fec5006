// The shared design cache: each design built once per process, the same handle on every
// thread, failures reported and retried on the next call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
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
const char* const kNames[] = {"Hmif_String", "Hmif_MIFObject", "RSMFunctions", "RSM_Model_Orig",
                              "RSM_Model"};
constexpr int kCount = 5;

TEST(DesignCache, ThreadsRacingForTheDesignsAllGetTheSameHandles) {
  constexpr int kThreads = 8, kRounds = 100;
  std::vector<std::set<HmifDesign*>> seen(kCount);
  std::vector<std::vector<HmifDesign*>> got(kThreads, std::vector<HmifDesign*>(kRounds));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    // Each thread starts with another design, so first builds collide.
    threads.emplace_back([t, &got] {
      for (int r = 0; r < kRounds; ++r) got[t][r] = kBuilders[(t + r) % kCount](nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRounds; ++r) seen[(t + r) % kCount].insert(got[t][r]);
  for (int which = 0; which < kCount; ++which) {
    ASSERT_EQ(seen[which].size(), 1u) << kNames[which];
    EXPECT_STREQ(hmif_DesignName(*seen[which].begin()), kNames[which]);
    EXPECT_EQ(kBuilders[which](nullptr), *seen[which].begin());
  }
  // Builders call one another inside the section, so it must nest for the holder too.
  hthr_ThreadUnsafeCodeEnter(0);
  EXPECT_EQ(senmod::RSM_Model_Design(), *seen[4].begin());
  hthr_ThreadUnsafeCodeExit();
}

// Runs in a fresh process (the threadsafe death-test style re-executes the binary), where no
// design exists yet. On an exhausted heap reports lose their text, so only presence counts.
void failThenRecover() {
  long live = hmsc_HeapLiveBlocks();
  ErrorReport* err = nullptr;
  hmsc_HeapFailAfter(0);  // the dictionary itself cannot be made
  bool failed = !senmod::RSM_Model_Design(&err) && err && !senmod::Hmif_String_Design();
  hmsc_HeapFailAfter(-1);
  herr_DeleteErrorReportEx(&err);
  if (!failed || hmsc_HeapLiveBlocks() != live) std::exit(10);
  // Designs that fail part way are not cached; a later call builds them.
  for (long n = 1;; ++n) {
    hmsc_HeapFailAfter(n);
    HmifDesign* design = senmod::RSM_Model_Design(&err);
    hmsc_HeapFailAfter(-1);
    if (design) break;
    if (!err) std::exit(11);
    herr_DeleteErrorReportEx(&err);
  }
  std::exit(senmod::RSM_Model_Design() == senmod::RSM_Model_Design() && !err ? 0 : 12);
}

TEST(DesignCacheDeathTest, FailedBuildsAreReportedAndRetried) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(failThenRecover(), testing::ExitedWithCode(0), "");
}

TEST(DesignDefine, RegistersTheSectionDesignInTheCallersDictionary) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  ErrorReport* err = nullptr;
  HmifDesign* added = smod_RationalPolynomialsDesignDefine(dictionary, &err);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(hmif_DictionaryFindDesign(dictionary, "RSMFunctions"), added);
  // A second registration is the host's business; this host accepts it.
  EXPECT_NE(smod_RationalPolynomialsDesignDefine(dictionary, nullptr), nullptr);
  hmif_DictionaryDestroy(dictionary);

  EXPECT_EQ(smod_RationalPolynomialsDesignDefine(nullptr, &err), nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "hmif_DictionaryAddDesign failed");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RationalPolynomialsDesignDefine");
  EXPECT_NE(herr_ErrorReportPrevious(err), nullptr);
  herr_DeleteErrorReportEx(&err);
}

}  // namespace
