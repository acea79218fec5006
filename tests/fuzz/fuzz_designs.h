// The fixed designs the fuzz targets decode against: nested, recursive by name, every item code.
#ifndef TESTS_FUZZ_FUZZ_DESIGNS_H
#define TESTS_FUZZ_FUZZ_DESIGNS_H

#include <stdlib.h>
#include <string.h>

#include "hostcore.h"
#include "leak_guard.h"

namespace fuzz {

// "Node" holds every item code; its children are nodes again, so nesting depth is the input's.
inline HmifDesign* NodeDesign() {
  static HmifDictionary* dictionary = hmif_DictionaryCreate(nullptr);
  static HmifDesign* node = [] {
    HmifDesign* leaf =
        hmif_DesignCreate(dictionary, "Leaf", nullptr, HMIF_INT32, "id", HMIF_FLOAT64, "weight", 0);
    HmifDesign* point = hmif_DesignCreate(dictionary, "Point", nullptr, HMIF_FLOAT64_ARRAY, "xyz",
                                          3, HMIF_INT32, "tag", 0);
    return hmif_DesignCreate(dictionary, "Node", nullptr, HMIF_ENUM, "mode", "OFF", "ON", nullptr,
                             HMIF_INT32, "number", HMIF_FLOAT64, "value", HMIF_RECORD, "at", point,
                             HMIF_COUNTED_RECORDS, "children", "Node", HMIF_COUNTED_BYTES, "bytes",
                             HMIF_COUNTED_TEXT, "text", HMIF_COUNTED_INT32, "ints",
                             HMIF_COUNTED_FLOAT64, "doubles", HMIF_RECORD_POINTER, "leaf", leaf, 0);
  }();
  if (!node) abort();
  return node;
}

}  // namespace fuzz

#endif
