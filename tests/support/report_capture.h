// Records every report printed while it lives, in place of the print handler in force.
#ifndef TESTS_SUPPORT_REPORT_CAPTURE_H
#define TESTS_SUPPORT_REPORT_CAPTURE_H

#include <mutex>
#include <string>
#include <vector>

#include "hostcore.h"

// One report of a printed chain.
struct CapturedReport {
  std::string function;
  int line;
  int severity;
  std::string message;
};

// One call of the print handler: its flag and the chain, head first.
struct CapturedPrint {
  int flag;
  std::vector<CapturedReport> chain;
};

// Installs a print handler that records; restores the previous handler when it goes. Captures
// may nest; the innermost one records.
class ReportCapture {
 public:
  ReportCapture();
  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  // A copy of what was printed so far, in order.
  std::vector<CapturedPrint> prints() const;
  size_t count() const;
  // True when some printed chain holds a report with this message.
  bool contains(const std::string& message) const;
  void clear();

 private:
  static void Record(const ErrorReport* report, int flag, void* user);

  mutable std::mutex mutex_;
  std::vector<CapturedPrint> prints_;
  HerrPrintHandler previous_;
  ReportCapture* outer_;
};

#endif  // TESTS_SUPPORT_REPORT_CAPTURE_H
