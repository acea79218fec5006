#include "owned.h"

#include <cstring>
#include <new>

#include "read_error.h"

namespace senmod_io {

namespace {

void* heapBlock(size_t bytes) {
  void* block = hmsc_HeapMalloc(bytes);
  if (!block) throw std::bad_alloc();
  return block;
}

}  // namespace

Smod_Doubles heapDoubles(const std::vector<double>& values) {
  if (values.empty()) return {0, nullptr};
  auto* data = static_cast<double*>(heapBlock(values.size() * sizeof(double)));
  std::memcpy(data, values.data(), values.size() * sizeof(double));
  return {static_cast<int32_t>(values.size()), data};
}

Smod_Ints heapInts(const std::vector<int32_t>& values) {
  if (values.empty()) return {0, nullptr};
  auto* data = static_cast<int32_t*>(heapBlock(values.size() * sizeof(int32_t)));
  std::memcpy(data, values.data(), values.size() * sizeof(int32_t));
  return {static_cast<int32_t>(values.size()), data};
}

Hmif_String heapText(const std::string& text) {
  auto* data = static_cast<char*>(heapBlock(text.size() + 1));
  std::memcpy(data, text.c_str(), text.size() + 1);
  return {static_cast<int32_t>(text.size() + 1), data};
}

std::string reportText(const ErrorReport* report) {
  std::string text;
  for (const ErrorReport* r = report; r; r = herr_ErrorReportPrevious(r)) {
    const char* message = herr_ErrorReportMessage(r);
    if (!message || !*message) continue;
    if (!text.empty()) text += ": ";
    text += message;
  }
  return text;
}

std::string takeReportText(ErrorReport** report) {
  std::string text = reportText(report ? *report : nullptr);
  herr_DeleteErrorReportEx(report);
  return text;
}

}  // namespace senmod_io
