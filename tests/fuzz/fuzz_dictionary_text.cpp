// Any text parses to a dictionary or to a report; a dictionary parsed writes a text that parses
// to the same text again.
#include <stdint.h>

#include "fuzz_designs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LeakGuard guard;
  char* text = static_cast<char*>(hmsc_HeapMalloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  ErrorReport* err = nullptr;
  HmifDictionary* dictionary = hmif_DictionaryFromText(text, &err);
  hmsc_HeapFree(text);
  if (!dictionary) {
    if (!err) abort();
    herr_DeleteErrorReportEx(&err);
    return 0;
  }
  char* written = hmif_DictionaryToText(dictionary, nullptr);
  if (!written) abort();
  HmifDictionary* reparsed = hmif_DictionaryFromText(written, nullptr);
  if (!reparsed) abort();
  char* rewritten = hmif_DictionaryToText(reparsed, nullptr);
  if (!rewritten || strcmp(written, rewritten) != 0) abort();
  hmsc_HeapFree(rewritten);
  hmsc_HeapFree(written);
  hmif_DictionaryDestroy(reparsed);
  hmif_DictionaryDestroy(dictionary);
  return 0;
}
