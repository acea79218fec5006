// Records walked by their design in memory: deep copy and deep free.
#include <string.h>

#include "mif_internal.h"

namespace {

unsigned char* at(void* record, int64_t offset) {
  return static_cast<unsigned char*>(record) + offset;
}

// Nulls the owned pointers of a record just byte-copied from its source, so that a free of the
// copy never reaches the source's blocks. Embedded records are part of the record itself.
void detach(void* record, const HmifDesign* design) {
  for (int32_t i = 0; i < design->itemCount; ++i) {
    const MifItem* item = &design->items[i];
    if (mif_IsCounted(item->code)) {
      mif_StoreCounted(record, item, mif_LoadCounted(record, item).count, nullptr);
    } else if (item->code == HMIF_RECORD_POINTER) {
      mif_StorePointer(record, item, nullptr);
    } else if (item->code == HMIF_RECORD) {
      detach(at(record, item->offset), item->sub);
    }
  }
}

const char* const copyFunction = "hmif_ObjectCopy";

// Fills the detached copy's owned pointers with copies of the source's blocks.
bool copyMembers(void* copy, const void* source, const HmifDesign* design, int depth,
                 ErrorReport** err) {
  if (depth > MIF_DEPTH_MAX) {
    mif_Report(err, copyFunction, __LINE__, "design \"%s\": records nested deeper than %d",
               design->name, MIF_DEPTH_MAX);
    return false;
  }
  for (int32_t i = 0; i < design->itemCount; ++i) {
    const MifItem* item = &design->items[i];
    if (item->code == HMIF_RECORD) {
      if (!copyMembers(at(copy, item->offset),
                       static_cast<const unsigned char*>(source) + item->offset, item->sub,
                       depth + 1, err)) {
        return false;
      }
    } else if (item->code == HMIF_RECORD_POINTER) {
      const void* from = mif_LoadPointer(source, item);
      if (!from) continue;
      void* block = hmsc_HeapMalloc(size_t(item->sub->size));
      if (!block) {
        mif_Report(err, copyFunction, __LINE__, "item \"%s\": heap exhausted", item->name);
        return false;
      }
      memcpy(block, from, size_t(item->sub->size));
      detach(block, item->sub);
      mif_StorePointer(copy, item, block);
      if (!copyMembers(block, from, item->sub, depth + 1, err)) return false;
    } else if (mif_IsCounted(item->code)) {
      const MifCounted from = mif_LoadCounted(source, item);
      if (from.count < 0 || (from.count > 0 && !from.data)) {
        mif_Report(err, copyFunction, __LINE__, "item \"%s\": count %d %s", item->name, from.count,
                   from.count < 0 ? "is negative" : "without data");
        return false;
      }
      if (from.count == 0) {
        mif_StoreCounted(copy, item, 0, nullptr);
        continue;
      }
      const HmifDesign* element = nullptr;
      int64_t elementSize = mif_CountedElementSize(item->code);
      if (item->code == HMIF_COUNTED_RECORDS) {
        element = mif_ItemTarget(design, item);
        if (!element) {
          mif_Report(err, copyFunction, __LINE__, "item \"%s\": design \"%s\" not found",
                     item->name, item->refName);
          return false;
        }
        elementSize = element->size;
      }
      size_t bytes = size_t(elementSize) * size_t(from.count);
      unsigned char* block = static_cast<unsigned char*>(hmsc_HeapMalloc(bytes));
      if (!block) {
        mif_Report(err, copyFunction, __LINE__, "item \"%s\": heap exhausted", item->name);
        return false;
      }
      memcpy(block, from.data, bytes);
      if (element) {
        for (int32_t e = 0; e < from.count; ++e) detach(block + e * elementSize, element);
      }
      mif_StoreCounted(copy, item, from.count, block);
      if (element) {
        for (int32_t e = 0; e < from.count; ++e) {
          if (!copyMembers(block + e * elementSize,
                           static_cast<const unsigned char*>(from.data) + e * elementSize, element,
                           depth + 1, err)) {
            return false;
          }
        }
      }
    }
  }
  return true;
}

}  // namespace

bool mif_FreeMembers(void* record, const HmifDesign* design) {
  if (!record) return true;
  bool complete = true;
  for (int32_t i = 0; i < design->itemCount; ++i) {
    const MifItem* item = &design->items[i];
    if (item->code == HMIF_RECORD) {
      complete = mif_FreeMembers(at(record, item->offset), item->sub) && complete;
    } else if (item->code == HMIF_RECORD_POINTER) {
      void* pointer = mif_LoadPointer(record, item);
      complete = mif_FreeMembers(pointer, item->sub) && complete;
      hmsc_HeapFree(pointer);
      mif_StorePointer(record, item, nullptr);
    } else if (mif_IsCounted(item->code)) {
      MifCounted counted = mif_LoadCounted(record, item);
      const HmifDesign* element =
          item->code == HMIF_COUNTED_RECORDS ? mif_ItemTarget(design, item) : nullptr;
      if (!element && item->code == HMIF_COUNTED_RECORDS && counted.data) complete = false;
      if (element && counted.data) {
        for (int32_t e = 0; e < counted.count; ++e) {
          complete = mif_FreeMembers(static_cast<unsigned char*>(counted.data) + e * element->size,
                                     element) &&
                     complete;
        }
      }
      hmsc_HeapFree(counted.data);
      mif_StoreCounted(record, item, 0, nullptr);
    }
  }
  return complete;
}

void* hmif_ObjectCopy(const void* record, const HmifDesign* design, ErrorReport** err) {
  if (!record || !design) {
    mif_Report(err, copyFunction, __LINE__, "null %s", record ? "design" : "record");
    return nullptr;
  }
  void* copy = hmsc_HeapMalloc(size_t(design->size));
  if (!copy) {
    mif_Report(err, copyFunction, __LINE__, "design \"%s\": heap exhausted", design->name);
    return nullptr;
  }
  memcpy(copy, record, size_t(design->size));
  detach(copy, design);
  if (!copyMembers(copy, record, design, 1, err)) {
    mif_FreeMembers(copy, design);
    hmsc_HeapFree(copy);
    return nullptr;
  }
  return copy;
}

int hmif_ObjectFree(void** record, const HmifDesign* design, ErrorReport** err) {
  if (!design) {
    mif_Report(err, "hmif_ObjectFree", __LINE__, "null design");
    return -1;
  }
  if (!record || !*record) return 0;
  bool complete = mif_FreeMembers(*record, design);
  hmsc_HeapFree(*record);
  *record = nullptr;
  if (!complete) {
    mif_Report(err, "hmif_ObjectFree", __LINE__,
               "design \"%s\": a design of counted records is missing; what their elements own "
               "was not freed",
               design->name);
    return -1;
  }
  return 0;
}
