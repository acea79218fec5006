// The self-describing form from any input, split at its first two zero bytes into the
// dictionary text, the design name and the object bytes.
#include <stdint.h>

#include "fuzz_designs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* end = data + size;
  const uint8_t* textEnd = static_cast<const uint8_t*>(memchr(data, 0, size));
  if (!textEnd) return 0;
  const uint8_t* typeEnd =
      static_cast<const uint8_t*>(memchr(textEnd + 1, 0, size_t(end - textEnd - 1)));
  if (!typeEnd) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  const char* type = reinterpret_cast<const char*>(textEnd + 1);
  // A private copy, so that a read past the end of the bytes is seen.
  size_t count = size_t(end - typeEnd - 1);
  unsigned char* bytes = static_cast<unsigned char*>(malloc(count ? count : 1));
  memcpy(bytes, typeEnd + 1, count);

  fuzz::LeakGuard guard;
  void* object = nullptr;
  HmifDesign* design = nullptr;
  ErrorReport* err = nullptr;
  if (hmif_MIFableObjectConvertFromMIF(&object, &design, bytes, int32_t(count), text, type, &err) !=
      0) {
    if (!err || object || design) abort();
    herr_DeleteErrorReportEx(&err);
  } else {
    void* again = nullptr;
    char* againText = nullptr;
    char* againType = nullptr;
    int32_t againCount =
        hmif_MIFableObjectConvertToMIF(object, design, &again, &againText, &againType, nullptr);
    if (againCount != int32_t(count) || (count && memcmp(again, bytes, count) != 0)) abort();
    hmsc_HeapFree(again);
    hmsc_HeapFree(againText);
    hmsc_HeapFree(againType);
    hmif_ObjectFree(&object, design, nullptr);
    hmif_DesignDestroy(design);
  }
  free(bytes);
  return 0;
}
