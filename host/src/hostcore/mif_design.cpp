// Designs and dictionaries: creation from item specifications, the record layout, lookup,
// registration, self-contained copies and layout introspection.
//
// Layout: items in order under natural alignment on a 64-bit target. 32-bit integers and
// enumerations take 4 bytes aligned on 4; 64-bit floats 8 on 8; a fixed array n * 8 on 8; a
// counted pointer is {int32 count; T* data}, 16 bytes on 8; a record pointer 8 on 8; an
// embedded record its padded size on its own alignment. A record is aligned as its strictest
// item and padded to a multiple of that, as the C compiler lays out the matching struct.
#include <string.h>

#include "mif_internal.h"

namespace {

void freeItem(MifItem* item) {
  hmsc_HeapFree(item->name);
  for (int32_t i = 0; i < item->enumCount; ++i) hmsc_HeapFree(item->enumNames[i]);
  hmsc_HeapFree(item->enumNames);
  hmsc_HeapFree(item->refName);
}

void freeDesign(HmifDesign* design) {
  if (!design) return;
  for (int32_t i = 0; i < design->itemCount; ++i) freeItem(&design->items[i]);
  hmsc_HeapFree(design->items);
  hmsc_HeapFree(design->name);
  hmsc_HeapFree(design);
}

// Copies the texts of source into item; sub is set by the caller.
bool copyItemTexts(MifItem* item, const char* name, int32_t enumCount, const char* const* enumNames,
                   const char* refName) {
  item->name = mif_Dup(name);
  if (!item->name) return false;
  if (refName) {
    item->refName = mif_Dup(refName);
    if (!item->refName) return false;
  }
  if (enumCount > 0) {
    item->enumNames = static_cast<char**>(mif_Calloc(sizeof(char*) * size_t(enumCount)));
    if (!item->enumNames) return false;
    for (int32_t i = 0; i < enumCount; ++i) {
      item->enumNames[i] = mif_Dup(enumNames[i]);
      if (!item->enumNames[i]) return false;
      item->enumCount = i + 1;
    }
  }
  return true;
}

// Size and alignment of an item in memory, and the fewest bytes it takes in persistent form;
// false for an item that cannot be laid out.
bool itemLayout(const MifItem& item, int64_t* size, int64_t* align, int64_t* encoded) {
  switch (item.code) {
    case HMIF_ENUM:
    case HMIF_INT32:
      *size = *align = *encoded = 4;
      return true;
    case HMIF_FLOAT64:
      *size = *align = *encoded = 8;
      return true;
    case HMIF_FLOAT64_ARRAY:
      *size = *encoded = 8 * int64_t(item.arrayCount);
      *align = 8;
      return true;
    case HMIF_RECORD_POINTER:
      *size = *align = 8;
      *encoded = 1;  // the presence flag of a null pointer
      return true;
    case HMIF_RECORD:
      *size = item.sub->size;
      *align = item.sub->align;
      *encoded = item.sub->encodedMin;
      return true;
    default:
      if (!mif_IsCounted(item.code)) return false;
      *size = 16;
      *align = 8;
      *encoded = 4;  // the count of an empty pointer
      return true;
  }
}

bool layOut(HmifDesign* design) {
  int64_t offset = 0;
  int64_t recordAlign = 1;
  int64_t encodedMin = 0;
  for (int32_t i = 0; i < design->itemCount; ++i) {
    int64_t size = 0, align = 1, encoded = 0;
    if (!itemLayout(design->items[i], &size, &align, &encoded)) return false;
    offset = (offset + align - 1) / align * align;
    design->items[i].offset = offset;
    offset += size;
    encodedMin += encoded;
    if (align > recordAlign) recordAlign = align;
    if (offset > MIF_RECORD_SIZE_MAX) return false;
  }
  design->align = recordAlign;
  design->size = (offset + recordAlign - 1) / recordAlign * recordAlign;
  design->encodedMin = encodedMin;
  return true;
}

bool validCode(int32_t code) {
  switch (code) {
    case HMIF_RECORD:
    case HMIF_ENUM:
    case HMIF_INT32:
    case HMIF_FLOAT64:
    case HMIF_FLOAT64_ARRAY:
    case HMIF_COUNTED_RECORDS:
    case HMIF_COUNTED_BYTES:
    case HMIF_COUNTED_TEXT:
    case HMIF_COUNTED_INT32:
    case HMIF_COUNTED_FLOAT64:
    case HMIF_RECORD_POINTER:
      return true;
    default:
      return false;
  }
}

// Checks one item description; reports under function.
bool checkSpec(const MifItemSpec& desc, const char* function, ErrorReport** err) {
  if (!validCode(desc.code)) {
    mif_Report(err, function, __LINE__, "item \"%s\": unknown item code %d",
               desc.name ? desc.name : "", desc.code);
    return false;
  }
  if (!mif_NameValid(desc.name)) {
    mif_Report(err, function, __LINE__, "item name \"%.64s\" is not a valid name",
               desc.name ? desc.name : "");
    return false;
  }
  switch (desc.code) {
    case HMIF_RECORD:
    case HMIF_RECORD_POINTER:
      if (!desc.sub) {
        mif_Report(err, function, __LINE__, "item \"%s\": null design", desc.name);
        return false;
      }
      break;
    case HMIF_FLOAT64_ARRAY:
      if (desc.arrayCount < 1 || desc.arrayCount > MIF_ARRAY_MAX) {
        mif_Report(err, function, __LINE__, "item \"%s\": array count %d outside 1 to %d",
                   desc.name, desc.arrayCount, MIF_ARRAY_MAX);
        return false;
      }
      break;
    case HMIF_ENUM:
      if (desc.enumCount < 1 || desc.enumCount > MIF_ENUM_NAMES_MAX) {
        mif_Report(err, function, __LINE__, "item \"%s\": %d enumerators, not 1 to %d", desc.name,
                   desc.enumCount, MIF_ENUM_NAMES_MAX);
        return false;
      }
      for (int32_t i = 0; i < desc.enumCount; ++i) {
        if (!mif_NameValid(desc.enumNames[i])) {
          mif_Report(err, function, __LINE__, "item \"%s\": enumerator %d is not a valid name",
                     desc.name, i);
          return false;
        }
      }
      break;
    case HMIF_COUNTED_RECORDS:
      if (!mif_NameValid(desc.refName)) {
        mif_Report(err, function, __LINE__, "item \"%s\": design name is not a valid name",
                   desc.name);
        return false;
      }
      break;
    default:
      break;
  }
  return true;
}

// Grows the dictionary's array by one slot; false when the heap is exhausted.
bool reserveSlot(HmifDictionary* dictionary) {
  if (dictionary->count < dictionary->capacity) return true;
  int32_t capacity = dictionary->capacity ? dictionary->capacity * 2 : 8;
  HmifDesign** grown =
      static_cast<HmifDesign**>(hmsc_HeapMalloc(sizeof(HmifDesign*) * size_t(capacity)));
  if (!grown) return false;
  if (dictionary->count) {
    memcpy(grown, dictionary->designs, sizeof(HmifDesign*) * size_t(dictionary->count));
  }
  hmsc_HeapFree(dictionary->designs);
  dictionary->designs = grown;
  dictionary->capacity = capacity;
  return true;
}

// Puts design into dictionary (a slot is reserved), retiring the design of the same name:
// handles to the retired design stay valid until the dictionary goes.
void insertDesign(HmifDictionary* dictionary, HmifDesign* design) {
  HmifDesign* previous = hmif_DictionaryFindDesign(dictionary, design->name);
  if (previous) previous->retired = true;
  design->dictionary = dictionary;
  dictionary->designs[dictionary->count++] = design;
}

// A copy of source's items and layout; sub handles are kept as they are.
HmifDesign* copyDesignNode(const HmifDesign* source) {
  HmifDesign* copy = static_cast<HmifDesign*>(mif_Calloc(sizeof(HmifDesign)));
  if (!copy) return nullptr;
  copy->name = mif_Dup(source->name);
  copy->items = static_cast<MifItem*>(mif_Calloc(sizeof(MifItem) * size_t(source->itemCount)));
  if (!copy->name || !copy->items) {
    freeDesign(copy);
    return nullptr;
  }
  copy->size = source->size;
  copy->align = source->align;
  copy->encodedMin = source->encodedMin;
  for (int32_t i = 0; i < source->itemCount; ++i) {
    const MifItem& from = source->items[i];
    MifItem& to = copy->items[i];
    copy->itemCount = i + 1;
    to.code = from.code;
    to.arrayCount = from.arrayCount;
    to.offset = from.offset;
    to.sub = from.sub;
    if (!copyItemTexts(&to, from.name, from.enumCount, from.enumNames, from.refName)) {
      freeDesign(copy);
      return nullptr;
    }
  }
  return copy;
}

void freeGroup(MifCopyGroup* group) {
  for (int32_t i = 0; i < group->count; ++i) freeDesign(group->designs[i]);
  hmsc_HeapFree(group->designs);
  hmsc_HeapFree(group);
}

int32_t indexOf(const HmifDesign* const* designs, int32_t count, const HmifDesign* design) {
  for (int32_t i = 0; i < count; ++i) {
    if (designs[i] == design) return i;
  }
  return -1;
}

}  // namespace

HmifDesign* mif_DesignCreate(HmifDictionary* dictionary, const char* name, const MifItemSpec* descs,
                             int32_t count, const char* function, ErrorReport** err) {
  if (!dictionary) {
    mif_Report(err, function, __LINE__, "null dictionary");
    return nullptr;
  }
  if (!mif_NameValid(name)) {
    mif_Report(err, function, __LINE__, "design name \"%.64s\" is not a valid name",
               name ? name : "");
    return nullptr;
  }
  if (count < 1 || count > MIF_ITEMS_MAX) {
    mif_Report(err, function, __LINE__, "design \"%s\": %d items, not 1 to %d", name, count,
               MIF_ITEMS_MAX);
    return nullptr;
  }
  for (int32_t i = 0; i < count; ++i) {
    if (!checkSpec(descs[i], function, err)) return nullptr;
    for (int32_t j = 0; j < i; ++j) {
      if (strcmp(descs[j].name, descs[i].name) == 0) {
        mif_Report(err, function, __LINE__, "design \"%s\": duplicate item name \"%s\"", name,
                   descs[i].name);
        return nullptr;
      }
    }
  }
  HmifDesign* design = static_cast<HmifDesign*>(mif_Calloc(sizeof(HmifDesign)));
  bool ok = design != nullptr;
  if (ok) {
    design->name = mif_Dup(name);
    design->items = static_cast<MifItem*>(mif_Calloc(sizeof(MifItem) * size_t(count)));
    ok = design->name && design->items;
  }
  for (int32_t i = 0; ok && i < count; ++i) {
    MifItem& item = design->items[i];
    design->itemCount = i + 1;
    item.code = descs[i].code;
    item.arrayCount = descs[i].code == HMIF_FLOAT64_ARRAY ? descs[i].arrayCount : 0;
    item.sub = descs[i].code == HMIF_RECORD || descs[i].code == HMIF_RECORD_POINTER ? descs[i].sub
                                                                                    : nullptr;
    ok = copyItemTexts(&item, descs[i].name, descs[i].code == HMIF_ENUM ? descs[i].enumCount : 0,
                       descs[i].enumNames,
                       descs[i].code == HMIF_COUNTED_RECORDS ? descs[i].refName : nullptr);
  }
  if (ok) ok = reserveSlot(dictionary);
  if (!ok) {
    freeDesign(design);
    mif_Report(err, function, __LINE__, "design \"%s\": heap exhausted", name);
    return nullptr;
  }
  if (!layOut(design)) {
    freeDesign(design);
    mif_Report(err, function, __LINE__, "design \"%s\": record larger than %lld bytes", name,
               static_cast<long long>(MIF_RECORD_SIZE_MAX));
    return nullptr;
  }
  insertDesign(dictionary, design);
  return design;
}

HmifDesign* hmif_DesignCreate(HmifDictionary* dictionary, const char* name, ErrorReport** err,
                              ...) {
  static const char* const function = "hmif_DesignCreate";
  // The specifications are gathered first so that creation sees them all at once; enumerator
  // names of every item share one array.
  MifItemSpec descs[MIF_ITEMS_MAX];
  int32_t enumStarts[MIF_ITEMS_MAX];
  const char** names = nullptr;
  int32_t nameCount = 0, nameCapacity = 0;
  int32_t count = 0;
  bool ok = true;
  va_list args;
  va_start(args, err);
  while (ok) {
    int code = va_arg(args, int);
    if (code == 0) break;
    if (count == MIF_ITEMS_MAX) {
      mif_Report(err, function, __LINE__, "design \"%.64s\": more than %d items", name ? name : "",
                 MIF_ITEMS_MAX);
      ok = false;
      break;
    }
    MifItemSpec& desc = descs[count++];
    desc = MifItemSpec{code, va_arg(args, const char*), 0, 0, nullptr, nullptr, nullptr};
    switch (code) {
      case HMIF_RECORD:
      case HMIF_RECORD_POINTER:
        desc.sub = va_arg(args, HmifDesign*);
        break;
      case HMIF_FLOAT64_ARRAY:
        desc.arrayCount = va_arg(args, int);
        break;
      case HMIF_COUNTED_RECORDS:
        desc.refName = va_arg(args, const char*);
        break;
      case HMIF_ENUM:
        // A position for now: the array may still move while it grows.
        enumStarts[count - 1] = nameCount;
        for (const char* enumName = va_arg(args, const char*); enumName;
             enumName = va_arg(args, const char*)) {
          if (desc.enumCount == MIF_ENUM_NAMES_MAX) {
            mif_Report(err, function, __LINE__, "item \"%.64s\": more than %d enumerators",
                       desc.name ? desc.name : "", MIF_ENUM_NAMES_MAX);
            ok = false;
            break;
          }
          if (nameCount == nameCapacity) {
            int32_t capacity = nameCapacity ? nameCapacity * 2 : 16;
            const char** grown =
                static_cast<const char**>(hmsc_HeapMalloc(sizeof(const char*) * size_t(capacity)));
            if (!grown) {
              mif_Report(err, function, __LINE__, "heap exhausted");
              ok = false;
              break;
            }
            if (nameCount) memcpy(grown, names, sizeof(const char*) * size_t(nameCount));
            hmsc_HeapFree(names);
            names = grown;
            nameCapacity = capacity;
          }
          names[nameCount++] = enumName;
          ++desc.enumCount;
        }
        break;
      default:
        if (!validCode(code)) {
          // The arguments that follow cannot be read without knowing the code.
          mif_Report(err, function, __LINE__, "item \"%.64s\": unknown item code %d",
                     desc.name ? desc.name : "", code);
          ok = false;
        }
        break;
    }
  }
  va_end(args);
  HmifDesign* design = nullptr;
  if (ok) {
    for (int32_t i = 0; i < count; ++i) {
      if (descs[i].code == HMIF_ENUM) {
        descs[i].enumNames = names + enumStarts[i];
      }
    }
    design = mif_DesignCreate(dictionary, name, descs, count, function, err);
  }
  hmsc_HeapFree(names);
  return design;
}

HmifDictionary* hmif_DictionaryCreate(ErrorReport** err) {
  HmifDictionary* dictionary = static_cast<HmifDictionary*>(mif_Calloc(sizeof(HmifDictionary)));
  if (!dictionary) mif_Report(err, "hmif_DictionaryCreate", __LINE__, "heap exhausted");
  return dictionary;
}

void hmif_DictionaryDestroy(HmifDictionary* dictionary) {
  if (!dictionary) return;
  for (int32_t i = 0; i < dictionary->count; ++i) freeDesign(dictionary->designs[i]);
  hmsc_HeapFree(dictionary->designs);
  hmsc_HeapFree(dictionary);
}

HmifDesign* hmif_DictionaryFindDesign(const HmifDictionary* dictionary, const char* name) {
  if (!dictionary || !name) return nullptr;
  for (int32_t i = dictionary->count - 1; i >= 0; --i) {
    HmifDesign* design = dictionary->designs[i];
    if (!design->retired && strcmp(design->name, name) == 0) return design;
  }
  return nullptr;
}

HmifDesign* hmif_DictionaryAddDesign(HmifDictionary* dictionary, const HmifDesign* design,
                                     ErrorReport** err) {
  static const char* const function = "hmif_DictionaryAddDesign";
  if (!dictionary || !design) {
    mif_Report(err, function, __LINE__, "null %s", dictionary ? "design" : "dictionary");
    return nullptr;
  }
  if (design->dictionary == dictionary && !design->retired) {
    return const_cast<HmifDesign*>(design);
  }
  HmifDesign* copy = copyDesignNode(design);
  if (!copy || !reserveSlot(dictionary)) {
    freeDesign(copy);
    mif_Report(err, function, __LINE__, "design \"%s\": heap exhausted", design->name);
    return nullptr;
  }
  // Counted records name their design; in the dictionary the name is looked up there.
  for (int32_t i = 0; i < copy->itemCount; ++i) {
    if (copy->items[i].code == HMIF_COUNTED_RECORDS) copy->items[i].sub = nullptr;
  }
  insertDesign(dictionary, copy);
  return copy;
}

const HmifDesign* mif_ItemTarget(const HmifDesign* owner, const MifItem* item) {
  if (item->sub) return item->sub;
  if (item->code == HMIF_COUNTED_RECORDS && owner->dictionary) {
    return hmif_DictionaryFindDesign(owner->dictionary, item->refName);
  }
  return nullptr;
}

bool mif_Closure(const HmifDesign* design, bool skipMissing, const HmifDesign*** out,
                 int32_t* count, const char* function, ErrorReport** err) {
  int32_t capacity = 8, n = 0;
  const HmifDesign** found =
      static_cast<const HmifDesign**>(hmsc_HeapMalloc(sizeof(HmifDesign*) * size_t(capacity)));
  if (!found) {
    mif_Report(err, function, __LINE__, "heap exhausted");
    return false;
  }
  found[n++] = design;
  for (int32_t next = 0; next < n; ++next) {
    const HmifDesign* current = found[next];
    for (int32_t i = 0; i < current->itemCount; ++i) {
      const MifItem* item = &current->items[i];
      if (item->code != HMIF_RECORD && item->code != HMIF_RECORD_POINTER &&
          item->code != HMIF_COUNTED_RECORDS) {
        continue;
      }
      const HmifDesign* target = mif_ItemTarget(current, item);
      if (!target && skipMissing) continue;
      if (!target) {
        mif_Report(err, function, __LINE__,
                   "design \"%s\", item \"%s\": design \"%s\" is not in its dictionary",
                   current->name, item->name, item->refName ? item->refName : "");
        hmsc_HeapFree(found);
        return false;
      }
      if (indexOf(found, n, target) >= 0) continue;
      if (n == capacity) {
        capacity *= 2;
        const HmifDesign** grown = static_cast<const HmifDesign**>(
            hmsc_HeapMalloc(sizeof(HmifDesign*) * size_t(capacity)));
        if (!grown) {
          mif_Report(err, function, __LINE__, "heap exhausted");
          hmsc_HeapFree(found);
          return false;
        }
        memcpy(grown, found, sizeof(HmifDesign*) * size_t(n));
        hmsc_HeapFree(found);
        found = grown;
      }
      found[n++] = target;
    }
  }
  *out = found;
  *count = n;
  return true;
}

HmifDesign* hmif_DesignCopy(const HmifDesign* design, ErrorReport** err) {
  static const char* const function = "hmif_DesignCopy";
  if (!design) {
    mif_Report(err, function, __LINE__, "null design");
    return nullptr;
  }
  const HmifDesign** sources = nullptr;
  int32_t count = 0;
  if (!mif_Closure(design, false, &sources, &count, function, err)) return nullptr;
  MifCopyGroup* group = static_cast<MifCopyGroup*>(mif_Calloc(sizeof(MifCopyGroup)));
  bool ok = group != nullptr;
  if (ok) {
    group->designs = static_cast<HmifDesign**>(mif_Calloc(sizeof(HmifDesign*) * size_t(count)));
    ok = group->designs != nullptr;
  }
  for (int32_t i = 0; ok && i < count; ++i) {
    group->designs[i] = copyDesignNode(sources[i]);
    ok = group->designs[i] != nullptr;
    if (ok) {
      group->designs[i]->group = group;
      group->count = i + 1;
    }
  }
  if (ok) {
    // Every reference now points at the group's own copy of its target.
    for (int32_t i = 0; i < count; ++i) {
      HmifDesign* copy = group->designs[i];
      for (int32_t j = 0; j < copy->itemCount; ++j) {
        MifItem* item = &copy->items[j];
        const HmifDesign* target = mif_ItemTarget(sources[i], &sources[i]->items[j]);
        if (item->code == HMIF_RECORD || item->code == HMIF_RECORD_POINTER ||
            item->code == HMIF_COUNTED_RECORDS) {
          item->sub = group->designs[indexOf(sources, count, target)];
        }
      }
    }
  }
  hmsc_HeapFree(sources);
  if (!ok) {
    if (group) freeGroup(group);
    mif_Report(err, function, __LINE__, "design \"%s\": heap exhausted", design->name);
    return nullptr;
  }
  return group->designs[0];
}

void hmif_DesignDestroy(HmifDesign* design) {
  if (!design || design->dictionary || !design->group) return;
  // Only the root of a copy group frees it; its other members go with it.
  if (design->group->designs[0] == design) freeGroup(design->group);
}

const char* hmif_DesignName(const HmifDesign* design) { return design ? design->name : nullptr; }

namespace {

// True when every named design that design reaches can be found.
bool resolvable(const HmifDesign* design) {
  const HmifDesign** found = nullptr;
  int32_t count = 0;
  if (!mif_Closure(design, false, &found, &count, "hmif_DesignRecordSize", nullptr)) {
    return false;
  }
  hmsc_HeapFree(found);
  return true;
}

const MifItem* itemAt(const HmifDesign* design, int32_t index) {
  if (!design || index < 0 || index >= design->itemCount || !resolvable(design)) return nullptr;
  return &design->items[index];
}

}  // namespace

int64_t hmif_DesignRecordSize(const HmifDesign* design) {
  return design && resolvable(design) ? design->size : -1;
}

int32_t hmif_DesignItemCount(const HmifDesign* design) {
  return design && resolvable(design) ? design->itemCount : -1;
}

const char* hmif_DesignItemName(const HmifDesign* design, int32_t index) {
  const MifItem* item = itemAt(design, index);
  return item ? item->name : nullptr;
}

int32_t hmif_DesignItemCode(const HmifDesign* design, int32_t index) {
  const MifItem* item = itemAt(design, index);
  return item ? item->code : -1;
}

int64_t hmif_DesignItemOffset(const HmifDesign* design, int32_t index) {
  const MifItem* item = itemAt(design, index);
  return item ? item->offset : -1;
}
