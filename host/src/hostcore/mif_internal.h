// Private structures of the persistent-design engine, shared by its sources.
//
// A dictionary owns its designs. A design refers to other designs by handle (embedded record,
// pointer to one record) or by name (counted records, resolved in the design's dictionary when
// used). A self-contained copy is a group of designs owned by the group's root: every design
// the source reaches is copied into the group and every reference points inside it.
#ifndef HOSTCORE_MIF_INTERNAL_H
#define HOSTCORE_MIF_INTERNAL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "hostcore.h"

// Bounds that keep designs, texts and decoding finite whatever they are given.
enum {
  MIF_NAME_MAX = 255,         // characters of a design, item or enumerator name
  MIF_ITEMS_MAX = 1024,       // items of one design
  MIF_ENUM_NAMES_MAX = 1024,  // enumerators of one item
  MIF_ARRAY_MAX = 65536,      // elements of a fixed array
  MIF_DESIGNS_MAX = 4096,     // designs of one dictionary text
  MIF_DEPTH_MAX = 32          // nesting of records inside records
};
// A record laid out by one design stays below this size.
constexpr int64_t MIF_RECORD_SIZE_MAX = int64_t(1) << 24;
// What one decoding may allocate in all.
constexpr int64_t MIF_DECODE_BYTES_MAX = int64_t(256) << 20;

struct MifCopyGroup;

struct MifItem {
  char* name;
  int32_t code;
  int32_t arrayCount;  // fixed array
  int32_t enumCount;   // enumeration
  char** enumNames;
  char* refName;    // counted records: the element design's name
  HmifDesign* sub;  // embedded record, record pointer; counted records inside a copy group
  int64_t offset;   // byte offset in the record
};

struct HmifDesign {
  char* name;
  int32_t itemCount;
  MifItem* items;
  int64_t size;
  int64_t align;
  int64_t encodedMin;  // fewest bytes a record of the design takes in persistent form (>= 1)
  HmifDictionary* dictionary;  // the owning dictionary; null inside a copy group
  MifCopyGroup* group;         // the copy group that owns the design, or null
  bool retired;                // replaced in its dictionary by a design of the same name
};

struct HmifDictionary {
  int32_t count;
  int32_t capacity;
  HmifDesign** designs;
};

struct MifCopyGroup {
  int32_t count;
  HmifDesign** designs;  // designs[0] is the root, which owns the group
};

// The description of one item as hmif_DesignCreate and the dictionary text give it.
// Pointers are borrowed: creation copies what it keeps.
struct MifItemSpec {
  int32_t code;
  const char* name;
  int32_t arrayCount;
  int32_t enumCount;
  const char* const* enumNames;
  const char* refName;
  HmifDesign* sub;
};

// Makes a report (severity 2) under function with a printf-style message and stores it in *err,
// taking over what *err held; discards it when err is null.
void mif_Report(ErrorReport** err, const char* function, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// A zero-filled heap block, or null.
void* mif_Calloc(size_t bytes);
// A heap copy of text, or null.
char* mif_Dup(const char* text);

// Non-zero when name is usable as a design, item or enumerator name: 1 to MIF_NAME_MAX
// characters of letters, digits, '_', '.' and '-'.
bool mif_NameValid(const char* name);

// Creates a design in dictionary from count item specifications; reports under function.
HmifDesign* mif_DesignCreate(HmifDictionary* dictionary, const char* name, const MifItemSpec* descs,
                             int32_t count, const char* function, ErrorReport** err);

// The design an item refers to: its handle, or for counted records the design of that name in
// the owner's dictionary (or its copy group). Null when there is none.
const HmifDesign* mif_ItemTarget(const HmifDesign* owner, const MifItem* item);

// Every design that design reaches, itself first, each once, in *out (a heap array the caller
// frees) and their number in *count. A named design that is missing is skipped when
// skipMissing is set, reported under function otherwise.
bool mif_Closure(const HmifDesign* design, bool skipMissing, const HmifDesign*** out,
                 int32_t* count, const char* function, ErrorReport** err);

// Frees everything record owns under design (not the record itself) and empties it. False when
// the design of some counted records could not be found: their arrays are freed, but not what
// their elements own.
bool mif_FreeMembers(void* record, const HmifDesign* design);

// Width in memory of one element of a counted pointer of code; 0 for counted records, whose
// elements are as wide as their design.
int64_t mif_CountedElementSize(int32_t code);

// The counted pointer {int32 count; T* data} and record pointer of an item inside a record,
// read and written byte-wise since the record's real field types are the caller's.
struct MifCounted {
  int32_t count;
  void* data;
};
inline MifCounted mif_LoadCounted(const void* record, const MifItem* item) {
  const unsigned char* field = static_cast<const unsigned char*>(record) + item->offset;
  MifCounted counted;
  memcpy(&counted.count, field, 4);
  memcpy(&counted.data, field + 8, sizeof(void*));
  return counted;
}
inline void mif_StoreCounted(void* record, const MifItem* item, int32_t count, void* data) {
  unsigned char* field = static_cast<unsigned char*>(record) + item->offset;
  memcpy(field, &count, 4);
  memcpy(field + 8, &data, sizeof(void*));
}
inline void* mif_LoadPointer(const void* record, const MifItem* item) {
  void* pointer;
  memcpy(&pointer, static_cast<const unsigned char*>(record) + item->offset, sizeof pointer);
  return pointer;
}
inline void mif_StorePointer(void* record, const MifItem* item, void* pointer) {
  memcpy(static_cast<unsigned char*>(record) + item->offset, &pointer, sizeof pointer);
}
inline bool mif_IsCounted(int32_t code) { return (code & 0x200) != 0; }

// A growable heap text for the dictionary writer.
struct MifText {
  char* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;
  bool failed = false;  // an append ran out of heap
  ~MifText() { hmsc_HeapFree(data); }
  void append(const char* text);
  void appendInt(int64_t value);
  // Hands the text over (null after a failed append).
  char* release();
};

// Writes the dictionary text of the given designs and everything they reach; named designs
// that cannot be found are refused unless skipMissing is set.
char* mif_WriteDictionaryText(const HmifDesign* const* roots, int32_t rootCount, bool skipMissing,
                              const char* function, ErrorReport** err);

#endif
