// A test fixture that fails a test whose code leaves host heap blocks behind, and turns off any
// heap-failure injection the test left on.
#ifndef TESTS_SUPPORT_HEAP_CHECK_H
#define TESTS_SUPPORT_HEAP_CHECK_H

#include <gtest/gtest.h>

#include "hostcore.h"

class HeapCheckedTest : public ::testing::Test {
 protected:
  void SetUp() override { liveAtStart_ = hmsc_HeapLiveBlocks(); }
  void TearDown() override {
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), liveAtStart_) << "host heap blocks leaked";
  }

  long liveAtStart() const { return liveAtStart_; }

 private:
  long liveAtStart_ = 0;
};

// The message of a report, "" for none.
inline std::string messageOf(const ErrorReport* report) { return herr_ErrorReportMessage(report); }

#endif  // TESTS_SUPPORT_HEAP_CHECK_H
