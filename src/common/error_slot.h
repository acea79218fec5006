// The library's one error idiom: clear the caller's slot, use a local one when the caller gave
// none, make reports under the function's name, wrap a callee's report as the previous one.
#ifndef SENMOD_COMMON_ERROR_SLOT_H
#define SENMOD_COMMON_ERROR_SLOT_H

#include "hostcore.h"

namespace senmod {

class ErrorSlot {
 public:
  // Clears *caller (when given) and takes it as the slot; a null caller gets a local slot whose
  // report is deleted when this object goes.
  ErrorSlot(ErrorReport** caller, const char* function)
      : slot_(caller ? caller : &local_), function_(function) {
    *slot_ = nullptr;
  }
  ~ErrorSlot() { herr_DeleteErrorReportEx(&local_); }
  ErrorSlot(const ErrorSlot&) = delete;
  ErrorSlot& operator=(const ErrorSlot&) = delete;

  bool failed() const { return *slot_ != nullptr; }
  ErrorReport** get() { return slot_; }

  // Makes a report with message; previous (a callee's report, may be null) is taken over, and a
  // report already in the slot becomes part of the chain too.
  void fail(int line, const char* message, ErrorReport* previous = nullptr, int severity = 2) {
    if (*slot_ && previous == nullptr) {
      previous = *slot_;
    } else if (*slot_) {
      herr_DeleteErrorReportEx(slot_);
    }
    *slot_ = herr_CreateErrorReport(function_, line, severity, previous, message, 0);
  }

  // Prints the slot's report (flags 0, 0) and deletes it, clearing the slot.
  void printAndClear() {
    herr_PrintErrorReport(*slot_, 0, 0);
    herr_DeleteErrorReportEx(slot_);
  }

  const char* function() const { return function_; }

 private:
  ErrorReport* local_ = nullptr;
  ErrorReport** slot_;
  const char* function_;
};

// A slot for one host or library callee: collects its report so that the caller can wrap it.
class CalleeSlot {
 public:
  CalleeSlot() = default;
  ~CalleeSlot() { herr_DeleteErrorReportEx(&report_); }
  CalleeSlot(const CalleeSlot&) = delete;
  CalleeSlot& operator=(const CalleeSlot&) = delete;

  ErrorReport** get() { return &report_; }
  bool failed() const { return report_ != nullptr; }
  // Hands the report over (to be a previous report); the slot is empty afterwards.
  ErrorReport* take() {
    ErrorReport* report = report_;
    report_ = nullptr;
    return report;
  }

 private:
  ErrorReport* report_ = nullptr;
};

}  // namespace senmod

// Reports under the enclosing ErrorSlot with the current source line.
#define SMOD_FAIL(slot, message, ...) (slot).fail(__LINE__, (message), ##__VA_ARGS__)

#endif  // SENMOD_COMMON_ERROR_SLOT_H
