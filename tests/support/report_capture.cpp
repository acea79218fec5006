#include "support/report_capture.h"

namespace {

// The capture that is in force, so that a nested one can hand the handler back with its user.
ReportCapture* current = nullptr;

}  // namespace

ReportCapture::ReportCapture() : outer_(current) {
  previous_ = herr_SetPrintHandler(&ReportCapture::Record, this);
  current = this;
}

ReportCapture::~ReportCapture() {
  current = outer_;
  herr_SetPrintHandler(previous_, previous_ == &ReportCapture::Record ? outer_ : nullptr);
}

void ReportCapture::Record(const ErrorReport* report, int flag, void* user) {
  CapturedPrint print{flag, {}};
  for (; report; report = herr_ErrorReportPrevious(report)) {
    print.chain.push_back({herr_ErrorReportFunction(report), herr_ErrorReportLine(report),
                           herr_ErrorReportSeverity(report), herr_ErrorReportMessage(report)});
  }
  auto* self = static_cast<ReportCapture*>(user);
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->prints_.push_back(std::move(print));
}

std::vector<CapturedPrint> ReportCapture::prints() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return prints_;
}

size_t ReportCapture::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return prints_.size();
}

bool ReportCapture::contains(const std::string& message) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const CapturedPrint& print : prints_) {
    for (const CapturedReport& report : print.chain) {
      if (report.message == message) return true;
    }
  }
  return false;
}

void ReportCapture::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  prints_.clear();
}
