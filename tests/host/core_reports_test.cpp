// Error reports, the print handler and the error accumulator.
#include <gtest/gtest.h>

#include "hostcore.h"
#include "support/heap_check.h"
#include "support/report_capture.h"

namespace {

using CoreReports = HeapCheckedTest;

TEST_F(CoreReports, DuplicateCopiesTheWholeChain) {
  ErrorReport* outer = herr_CreateErrorReport(
      nullptr, 20, 2, herr_CreateErrorReport("inner", 10, 0, nullptr, "first", 0), nullptr, 0);
  ErrorReport* copy = herr_ErrorReportDuplicate(outer);
  herr_DeleteErrorReportEx(&outer);
  EXPECT_EQ(outer, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(herr_ErrorReportFunction(copy), "");
  EXPECT_EQ(herr_ErrorReportLine(copy), 20);
  const ErrorReport* previous = herr_ErrorReportPrevious(copy);
  EXPECT_STREQ(herr_ErrorReportFunction(previous), "inner");
  EXPECT_STREQ(herr_ErrorReportMessage(previous), "first");
  EXPECT_EQ(herr_ErrorReportSeverity(previous), 0);
  EXPECT_EQ(herr_ErrorReportPrevious(previous), nullptr);
  herr_DeleteErrorReportEx(&copy);
}

// A failure made while the heap is exhausted must still leave a report in the slot.
TEST_F(CoreReports, ExhaustedHeapStillYieldsAReport) {
  ErrorReport* report = herr_CreateErrorReport("f", 1, 2, nullptr, "cause", 0);
  hmsc_HeapFailAfter(0);
  report = herr_CreateErrorReport("g", 2, 2, report, "effect", 0);
  ErrorReport* copy = herr_ErrorReportDuplicate(report);
  EXPECT_EQ(hstr_Sprintf(nullptr, "%d", &report, 5), nullptr);
  hmsc_HeapFailAfter(-1);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(herr_ErrorReportSeverity(report), 2);
  EXPECT_STREQ(herr_ErrorReportMessage(report), "Heap exhausted.");
  EXPECT_NE(copy, nullptr);
  herr_DeleteErrorReportEx(&copy);
  herr_DeleteErrorReportEx(&report);
}

TEST_F(CoreReports, PrintGoesToTheInstalledHandlerAndCaptureRestoresIt) {
  ErrorReport* report = herr_CreateErrorReport(
      "outer", 7, 1, herr_CreateErrorReport("inner", 3, 2, nullptr, "why", 0), "what", 0);
  {
    ReportCapture outer;
    {
      ReportCapture inner;
      herr_PrintErrorReport(report, 1, 0);
      ASSERT_EQ(inner.count(), 1u);
      EXPECT_EQ(inner.prints()[0].flag, 1);
      EXPECT_EQ(inner.prints()[0].chain.size(), 2u);
    }
    herr_PrintErrorReport(report, 0, 0);
    EXPECT_EQ(outer.count(), 1u);
  }
  EXPECT_EQ(herr_SetPrintHandler(nullptr, nullptr), nullptr);
  testing::internal::CaptureStderr();
  herr_PrintErrorReport(report, 0, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: outer(7): what\nError: inner(3): why\n");
  herr_DeleteErrorReportEx(&report);
}

TEST_F(CoreReports, AccumulatorChecksLogsAndClears) {
  ReportCapture capture;
  {
    HerrException accumulator("file.cpp", "caller");
    accumulator.Check(1);
    ErrorReport** slot = accumulator.ErrorSlot();
    *slot = herr_CreateErrorReport("callee", 5, 2, nullptr, "broken", 0);
    try {
      accumulator.Check(42);
      FAIL() << "Check did not throw";
    } catch (const HlogException& exception) {
      EXPECT_STREQ(exception.Message(), "broken");
      EXPECT_EQ(exception.Line(), 42);
      accumulator.Log(43, exception);
    }
    accumulator.Clear();
    EXPECT_EQ(*slot, nullptr);
    accumulator.Log(44, "text");
    // What the slot holds when the accumulator goes is deleted with it.
    *slot = herr_CreateErrorReport("callee", 6, 2, nullptr, "left over", 0);
  }
  const auto prints = capture.prints();
  ASSERT_EQ(prints.size(), 2u);
  ASSERT_EQ(prints[0].chain.size(), 2u);
  EXPECT_EQ(prints[0].chain[0].function, "caller");
  EXPECT_EQ(prints[0].chain[0].severity, 0);
  EXPECT_EQ(prints[0].chain[1].message, "broken");
  EXPECT_EQ(prints[1].chain.size(), 1u);
}

}  // namespace
