// Heap, strings, texts, files, data buffers and the thread-unsafe section.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "hostcore.h"
#include "support/heap_check.h"
#include "hostthread.h"

namespace {

using CoreServices = HeapCheckedTest;

TEST_F(CoreServices, HeapCountsBlocksAndFailsAfterTheAllowance) {
  void* zero = hmsc_HeapMalloc(0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(hmsc_HeapLiveBlocks(), liveAtStart() + 1);
  hmsc_HeapFailAfter(1);
  void* granted = hmsc_HeapMalloc(8);
  EXPECT_NE(granted, nullptr);
  EXPECT_EQ(hmsc_HeapMalloc(8), nullptr);
  EXPECT_EQ(hmsc_HeapMalloc(8), nullptr);
  hmsc_HeapFailAfter(-1);
  void* again = hmsc_HeapMalloc(8);
  EXPECT_NE(again, nullptr);
  for (void* block : {zero, granted, again}) hmsc_HeapFree(block);
  hmsc_HeapFree(nullptr);
}

TEST_F(CoreServices, TextsCompareAndFormat) {
  EXPECT_TRUE(hstr_Eqic("Meters", "mETERS"));
  EXPECT_FALSE(hstr_Eqic("Meters", "Meter"));
  EXPECT_NE(htxt_Text_strcmp("Meters", "meters"), 0);
  EXPECT_LT(htxt_Text_strcmp(nullptr, ""), 0);

  ErrorReport* err = nullptr;
  HtxtTextA text(hstr_Sprintf(nullptr, "%s at %.3lf, %d%%", &err, "dem.tif", 12.5, 7));
  EXPECT_STREQ(text.c_str(), "dem.tif at 12.500, 7%");
  EXPECT_EQ(err, nullptr);
  // Taking over the text it holds must not free it.
  text = text.get();
  EXPECT_STREQ(text.c_str(), "dem.tif at 12.500, 7%");
  char buffer[8];
  EXPECT_EQ(hstr_Sprintf(buffer, "x", &err), nullptr);
  EXPECT_NE(err, nullptr);
  herr_DeleteErrorReportEx(&err);
}

TEST_F(CoreServices, FileExistsOnlyForRegularFiles) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::filesystem::path file = dir / "senmod_core_services_file.txt";
  std::FILE* handle = std::fopen(file.c_str(), "w");
  ASSERT_NE(handle, nullptr);
  std::fclose(handle);
  EXPECT_TRUE(hfio_FileExists(file.c_str(), nullptr));
  EXPECT_FALSE(hfio_FileExists(dir.c_str(), nullptr));
  std::filesystem::remove(file);
  EXPECT_FALSE(hfio_FileExists(file.c_str(), nullptr));
  EXPECT_FALSE(hfio_FileExists(nullptr, nullptr));
}

TEST_F(CoreServices, DataBufferAddressesEveryElementOnce) {
  ErrorReport* err = nullptr;
  HgdaBaseData* data = hgda_BaseDataCreate(2, 3, HGDA_PIXEL_FLOAT64, 2, 0, &err);
  ASSERT_NE(data, nullptr);
  std::vector<int> hits(6, 0);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int64_t index = c * data->columnStride + r * data->rowOffset;
      ASSERT_TRUE(index >= 0 && index < 6);
      EXPECT_EQ(data->data[index], 0.0);
      ++hits[static_cast<size_t>(index)];
    }
  }
  EXPECT_EQ(hits, std::vector<int>(6, 1));
  hgda_BaseDataDelete(data, &err);
  EXPECT_EQ(err, nullptr);

  EXPECT_EQ(hgda_BaseDataCreate(0, 3, HGDA_PIXEL_FLOAT64, 2, 0, &err), nullptr);
  EXPECT_EQ(hgda_BaseDataCreate(2, 3, 3, 2, 0, &err), nullptr);
  EXPECT_NE(herr_ErrorReportPrevious(err), nullptr);
  herr_DeleteErrorReportEx(&err);
  // The buffer block is granted and its values are not: nothing may stay allocated.
  hmsc_HeapFailAfter(1);
  EXPECT_EQ(hgda_BaseDataCreate(2, 3, HGDA_PIXEL_FLOAT64, 2, 0, &err), nullptr);
  hmsc_HeapFailAfter(-1);
  EXPECT_NE(err, nullptr);
  herr_DeleteErrorReportEx(&err);
}

TEST_F(CoreServices, UnsafeSectionIsReentrantAndExclusive) {
  hthr_ThreadUnsafeCodeEnter(0);
  hthr_ThreadUnsafeCodeEnter(0);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    hthr_ThreadUnsafeCodeEnter(0);
    entered = true;
    hthr_ThreadUnsafeCodeExit();
  });
  hthr_ThreadUnsafeCodeExit();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(entered);
  hthr_ThreadUnsafeCodeExit();
  other.join();
  EXPECT_TRUE(entered);
  // An exit without its enter is ignored.
  hthr_ThreadUnsafeCodeExit();
}

}  // namespace
