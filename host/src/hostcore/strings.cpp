// Heap texts, case-blind comparison, formatting, string lists and the owning text class.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core_fail.h"
#include "hostcore.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

extern "C" {

char* hstr_Duplicate(const char* text) {
  if (!text) return nullptr;
  const size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(hmsc_HeapMalloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

int hstr_Eqic(const char* a, const char* b) {
  if (!a || !b) return a == b;
  for (; *a && *b; ++a, ++b) {
    if (Lower(*a) != Lower(*b)) return 0;
  }
  return *a == *b;
}

char* hstr_Sprintf(char* buffer, const char* format, ErrorReport** err, ...) {
  if (buffer || !format) {
    HCORE_FAIL(err, buffer ? "The buffer must be null." : "No format.");
    return nullptr;
  }
  va_list args;
  va_start(args, err);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  char* text = nullptr;
  if (length < 0) {
    HCORE_FAIL(err, "Bad format.");
  } else if (!(text = static_cast<char*>(hmsc_HeapMalloc(static_cast<size_t>(length) + 1)))) {
    HCORE_FAIL(err, "Couldn't allocate space.");
  } else {
    std::vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
  }
  va_end(again);
  return text;
}

void hstr_StringListDelete(HstrStringList** list, ErrorReport**) {
  if (!list || !*list) return;
  if ((*list)->items) {
    for (int32_t i = 0; i < (*list)->count; ++i) hmsc_HeapFree((*list)->items[i]);
    hmsc_HeapFree((*list)->items);
  }
  hmsc_HeapFree(*list);
  *list = nullptr;
}

size_t htxt_Text_strlen(const char* text) { return text ? std::strlen(text) : 0; }

int htxt_Text_strcmp(const char* a, const char* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  const int order = std::strcmp(a, b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // extern "C"

HtxtTextA::~HtxtTextA() { hmsc_HeapFree(text_); }

HtxtTextA& HtxtTextA::operator=(char* heapText) {
  if (heapText != text_) {
    hmsc_HeapFree(text_);
    text_ = heapText;
  }
  return *this;
}

char* HtxtTextA::release() {
  char* text = text_;
  text_ = nullptr;
  return text;
}
