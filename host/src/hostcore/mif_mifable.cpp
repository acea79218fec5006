// Objects with their designs as self-describing persistent form: bytes, the dictionary text
// that defines the design and every design it uses, and the design's name.
#include <string.h>

#include "mif_internal.h"

int32_t hmif_MIFableObjectConvertToMIF(const void* object, const HmifDesign* design, void** bytes,
                                       char** dictionaryText, char** typeText, ErrorReport** err) {
  static const char* const function = "hmif_MIFableObjectConvertToMIF";
  if (!object || !design || !bytes || !dictionaryText || !typeText) {
    mif_Report(err, function, __LINE__, "null argument");
    return -1;
  }
  int64_t size = hmif_ObjectSize(object, design, err);
  if (size < 0) {
    mif_Report(err, function, __LINE__, "hmif_ObjectSize failed");
    return -1;
  }
  if (size > INT32_MAX) {
    mif_Report(err, function, __LINE__, "object of %lld bytes is too large",
               static_cast<long long>(size));
    return -1;
  }
  void* buffer = hmsc_HeapMalloc(size_t(size));
  char* text = nullptr;
  char* type = nullptr;
  bool ok = buffer != nullptr;
  if (!ok) mif_Report(err, function, __LINE__, "heap exhausted");
  if (ok && hmif_ConvertToMIF(0, object, design, buffer, err) != size) {
    mif_Report(err, function, __LINE__, "hmif_ConvertToMIF failed");
    ok = false;
  }
  if (ok) {
    text = mif_WriteDictionaryText(&design, 1, false, function, err);
    ok = text != nullptr;
  }
  if (ok) {
    type = mif_Dup(design->name);
    ok = type != nullptr;
    if (!ok) mif_Report(err, function, __LINE__, "heap exhausted");
  }
  if (!ok) {
    hmsc_HeapFree(buffer);
    hmsc_HeapFree(text);
    return -1;
  }
  *bytes = buffer;
  *dictionaryText = text;
  *typeText = type;
  return int32_t(size);
}

int hmif_MIFableObjectConvertFromMIF(void** object, HmifDesign** design, const void* bytes,
                                     int32_t byteCount, const char* dictionaryText,
                                     const char* typeText, ErrorReport** err) {
  static const char* const function = "hmif_MIFableObjectConvertFromMIF";
  if (!object || !design || !dictionaryText || !typeText || (!bytes && byteCount != 0)) {
    mif_Report(err, function, __LINE__, "null argument");
    return -1;
  }
  if (byteCount < 0) {
    mif_Report(err, function, __LINE__, "negative byte count %d", byteCount);
    return -1;
  }
  HmifDictionary* dictionary = hmif_DictionaryFromText(dictionaryText, err);
  if (!dictionary) {
    mif_Report(err, function, __LINE__, "hmif_DictionaryFromText failed");
    return -1;
  }
  HmifDesign* copy = nullptr;
  void* decoded = nullptr;
  HmifDesign* found = hmif_DictionaryFindDesign(dictionary, typeText);
  if (!found) {
    mif_Report(err, function, __LINE__, "design \"%.64s\" is not in the dictionary text", typeText);
  } else if (!(copy = hmif_DesignCopy(found, err))) {
    mif_Report(err, function, __LINE__, "hmif_DesignCopy failed");
  } else if (!(decoded = hmif_ConvertFromMIF(bytes, size_t(byteCount), copy, err))) {
    mif_Report(err, function, __LINE__, "hmif_ConvertFromMIF failed");
    hmif_DesignDestroy(copy);
  }
  hmif_DictionaryDestroy(dictionary);
  if (!decoded) return -1;
  *object = decoded;
  *design = copy;
  return 0;
}
