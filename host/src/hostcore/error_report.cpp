// Error reports: one heap block per report holding its texts; a chain through previous.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "hostcore.h"

struct ErrorReport {
  ErrorReport* previous;
  const char* function;
  const char* message;
  int line;
  int severity;
};

namespace {

// Handed out when the heap cannot hold a new report, so that a failure is never lost: a slot
// that should hold a report always does. Never freed, never copied.
char exhaustedFunction[] = "herr_CreateErrorReport";
char exhaustedMessage[] = "Heap exhausted.";
ErrorReport exhausted = {nullptr, exhaustedFunction, exhaustedMessage, 0, 2};

std::mutex handlerMutex;
HerrPrintHandler printHandler = nullptr;
void* printUser = nullptr;

const char* SeverityWord(int severity) {
  switch (severity) {
    case 2: return "Error";
    case 1: return "Warning";
    default: return "Note";
  }
}

void PrintToStandardError(const ErrorReport* report) {
  for (; report; report = report->previous) {
    std::fprintf(stderr, "%s: %s(%d): %s\n", SeverityWord(report->severity), report->function,
                 report->line, report->message);
  }
}

ErrorReport* MakeReport(const char* function, int line, int severity, ErrorReport* previous,
                        const char* message) {
  const size_t functionSize = std::strlen(function) + 1;
  const size_t messageSize = std::strlen(message) + 1;
  auto* report =
      static_cast<ErrorReport*>(hmsc_HeapMalloc(sizeof(ErrorReport) + functionSize + messageSize));
  if (!report) return nullptr;
  char* texts = reinterpret_cast<char*>(report + 1);
  std::memcpy(texts, function, functionSize);
  std::memcpy(texts + functionSize, message, messageSize);
  report->previous = previous;
  report->function = texts;
  report->message = texts + functionSize;
  report->line = line;
  report->severity = severity;
  return report;
}

void DeleteChain(ErrorReport* report) {
  while (report) {
    ErrorReport* previous = report->previous;
    if (report != &exhausted) hmsc_HeapFree(report);
    report = previous;
  }
}

}  // namespace

extern "C" {

ErrorReport* herr_CreateErrorReport(const char* function, int line, int severity,
                                    ErrorReport* previous, const char* message, int) {
  ErrorReport* report =
      MakeReport(function ? function : "", line, severity, previous, message ? message : "");
  if (!report) {
    DeleteChain(previous);
    return &exhausted;
  }
  return report;
}

ErrorReport* herr_ErrorReportDuplicate(const ErrorReport* report) {
  ErrorReport* head = nullptr;
  ErrorReport** tail = &head;
  for (; report; report = report->previous) {
    ErrorReport* copy = report == &exhausted
                            ? &exhausted
                            : MakeReport(report->function, report->line, report->severity,
                                         nullptr, report->message);
    if (!copy) {
      DeleteChain(head);
      return &exhausted;
    }
    *tail = copy;
    if (copy == &exhausted) break;
    tail = &copy->previous;
  }
  return head;
}

void herr_PrintErrorReport(const ErrorReport* report, int flag, int) {
  if (!report) return;
  HerrPrintHandler handler;
  void* user;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = printHandler;
    user = printUser;
  }
  if (handler) {
    handler(report, flag, user);
  } else {
    PrintToStandardError(report);
  }
}

void herr_DeleteErrorReportEx(ErrorReport** report) {
  if (!report) return;
  DeleteChain(*report);
  *report = nullptr;
}

const char* herr_ErrorReportMessage(const ErrorReport* report) {
  return report ? report->message : "";
}

const char* herr_ErrorReportFunction(const ErrorReport* report) {
  return report ? report->function : "";
}

int herr_ErrorReportLine(const ErrorReport* report) { return report ? report->line : 0; }

int herr_ErrorReportSeverity(const ErrorReport* report) { return report ? report->severity : 0; }

const ErrorReport* herr_ErrorReportPrevious(const ErrorReport* report) {
  return report ? report->previous : nullptr;
}

HerrPrintHandler herr_SetPrintHandler(HerrPrintHandler handler, void* user) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  HerrPrintHandler previous = printHandler;
  printHandler = handler;
  printUser = handler ? user : nullptr;
  return previous;
}

}  // extern "C"
