// Small helpers shared by the persistent-design engine: reports, heap blocks, names, text.
#include <stdio.h>
#include <string.h>

#include "mif_internal.h"

void mif_Report(ErrorReport** err, const char* function, int line, const char* format, ...) {
  // Formatted on the stack so that a report can still be made when the heap is short.
  char message[512];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  ErrorReport* previous = err ? *err : nullptr;
  ErrorReport* report = herr_CreateErrorReport(function, line, 2, previous, message, 0);
  if (err) {
    *err = report;
  } else {
    herr_DeleteErrorReportEx(&report);
  }
}

void* mif_Calloc(size_t bytes) {
  void* block = hmsc_HeapMalloc(bytes);
  if (block) memset(block, 0, bytes ? bytes : 1);
  return block;
}

char* mif_Dup(const char* text) {
  if (!text) return nullptr;
  size_t length = strlen(text);
  char* copy = static_cast<char*>(hmsc_HeapMalloc(length + 1));
  if (copy) memcpy(copy, text, length + 1);
  return copy;
}

bool mif_NameValid(const char* name) {
  if (!name || !*name) return false;
  size_t length = 0;
  for (const char* c = name; *c; ++c) {
    if (++length > MIF_NAME_MAX) return false;
    bool letter = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z');
    bool digit = *c >= '0' && *c <= '9';
    if (!letter && !digit && *c != '_' && *c != '.' && *c != '-') return false;
  }
  return true;
}

int64_t mif_CountedElementSize(int32_t code) {
  switch (code) {
    case HMIF_COUNTED_BYTES:
    case HMIF_COUNTED_TEXT:
      return 1;
    case HMIF_COUNTED_INT32:
      return 4;
    case HMIF_COUNTED_FLOAT64:
      return 8;
    default:
      return 0;
  }
}

void MifText::append(const char* text) {
  if (failed) return;
  size_t add = strlen(text);
  if (length + add + 1 > capacity) {
    size_t wanted = capacity ? capacity : 256;
    while (wanted < length + add + 1) wanted *= 2;
    char* grown = static_cast<char*>(hmsc_HeapMalloc(wanted));
    if (!grown) {
      failed = true;
      return;
    }
    if (data) memcpy(grown, data, length);
    hmsc_HeapFree(data);
    data = grown;
    capacity = wanted;
  }
  memcpy(data + length, text, add);
  length += add;
  data[length] = '\0';
}

void MifText::appendInt(int64_t value) {
  char digits[32];
  snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
  append(digits);
}

char* MifText::release() {
  if (failed) return nullptr;
  if (!data) append("");
  if (failed) return nullptr;
  char* text = data;
  data = nullptr;
  length = capacity = 0;
  return text;
}
