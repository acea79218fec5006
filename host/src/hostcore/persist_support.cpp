#include "persist_support.h"

#include <cstring>

#include "core_fail.h"

namespace hcore {

namespace {

// The dictionary text of design, read from an empty record (always safe to walk).
char* DictionaryText(const HmifDesign* design, ErrorReport** err) {
  const int64_t size = hmif_DesignRecordSize(design);
  if (size < 0) return nullptr;
  void* record = hmsc_HeapMalloc(static_cast<size_t>(size));
  if (!record) return nullptr;
  std::memset(record, 0, static_cast<size_t>(size));
  void* bytes = nullptr;
  char* text = nullptr;
  char* type = nullptr;
  if (hmif_MIFableObjectConvertToMIF(record, design, &bytes, &text, &type, err) < 0) text = nullptr;
  hmsc_HeapFree(bytes);
  hmsc_HeapFree(type);
  hmsc_HeapFree(record);
  return text;
}

}  // namespace

HmifDesign* MakeDesign(DesignBuilder build, ErrorReport** err) {
  HmifDictionary* dictionary = hmif_DictionaryCreate(err);
  if (!dictionary) return nullptr;
  HmifDesign* root = build(dictionary, err);
  HmifDesign* copy = root ? hmif_DesignCopy(root, err) : nullptr;
  hmif_DictionaryDestroy(dictionary);
  return copy;
}

bool SameLayout(const HmifDesign* design, DesignBuilder build, const char* function,
                ErrorReport** err) {
  if (!design) {
    Fail(err, function, __LINE__, "No design.");
    return false;
  }
  ErrorReport* inner = nullptr;
  HmifDesign* mine = MakeDesign(build, &inner);
  char* expected = mine ? DictionaryText(mine, &inner) : nullptr;
  char* given = expected ? DictionaryText(design, &inner) : nullptr;
  const bool same = given && std::strcmp(expected, given) == 0;
  hmsc_HeapFree(expected);
  hmsc_HeapFree(given);
  hmif_DesignDestroy(mine);
  if (!same) {
    // A report already in the slot keeps its place in the chain; the inner detail yields.
    if (err && *err) herr_DeleteErrorReportEx(&inner);
    ErrorReport* previous = err && *err ? *err : inner;
    ErrorReport* report = herr_CreateErrorReport(
        function, __LINE__, 2, previous, "The design does not lay the object out as expected.", 0);
    if (err) {
      *err = report;
    } else {
      herr_DeleteErrorReportEx(&report);
    }
  }
  return same;
}

const char* CountedText(const Hmif_String& text) {
  if (text.count == 0 && !text.data) return "";
  if (text.count < 1 || !text.data || text.data[text.count - 1] != '\0' ||
      std::strlen(text.data) + 1 != static_cast<size_t>(text.count)) {
    return nullptr;
  }
  return text.data;
}

bool SetCountedText(Hmif_String* destination, const char* text) {
  char* copy = hstr_Duplicate(text ? text : "");
  if (!copy) return false;
  hmsc_HeapFree(destination->data);
  destination->data = copy;
  destination->count = static_cast<int32_t>(std::strlen(copy) + 1);
  return true;
}

}  // namespace hcore
