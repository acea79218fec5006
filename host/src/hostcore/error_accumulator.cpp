// The error accumulator: a slot for host calls that Check turns into an exception.
#include "hostcore.h"

HerrException::HerrException(const char* sourceFile, const char* function)
    : file_(sourceFile ? sourceFile : ""), function_(function ? function : "") {}

HerrException::~HerrException() { herr_DeleteErrorReportEx(&report_); }

ErrorReport** HerrException::ErrorSlot() { return &report_; }

void HerrException::Check(int line) {
  if (report_) throw HlogException(herr_ErrorReportMessage(report_), line);
}

void HerrException::Log(int line, const HlogException& exception) {
  Log(line, exception.Message());
}

// The note carries a copy of the slot's report so that the cause is shown with it; the slot
// keeps its own report until Clear.
void HerrException::Log(int line, const char* text) {
  ErrorReport* note = herr_CreateErrorReport(function_, line, 0,
                                             herr_ErrorReportDuplicate(report_), text, 0);
  herr_PrintErrorReport(note, 0, 0);
  herr_DeleteErrorReportEx(&note);
}

void HerrException::Log(int line) { Log(line, "Unknown exception caught."); }

void HerrException::Clear() { herr_DeleteErrorReportEx(&report_); }
