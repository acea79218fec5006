// Any bytes decode to a record or to a report; a record decoded re-encodes to the same bytes and
// copies and frees without leaving a block behind.
#include <stdint.h>

#include "fuzz_designs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const HmifDesign* design = fuzz::NodeDesign();
  fuzz::LeakGuard guard;
  ErrorReport* err = nullptr;
  void* record = hmif_ConvertFromMIF(data, size, design, &err);
  if (!record) {
    if (!err) abort();
    herr_DeleteErrorReportEx(&err);
    return 0;
  }
  if (hmif_ObjectSize(record, design, nullptr) != int64_t(size)) abort();
  unsigned char* again = static_cast<unsigned char*>(hmsc_HeapMalloc(size));
  if (hmif_ConvertToMIF(0, record, design, again, nullptr) != int64_t(size) ||
      (size && memcmp(again, data, size) != 0)) {
    abort();
  }
  hmsc_HeapFree(again);
  void* copy = hmif_ObjectCopy(record, design, nullptr);
  if (!copy) abort();
  hmif_ObjectFree(&copy, design, nullptr);
  hmif_ObjectFree(&record, design, nullptr);
  return 0;
}
