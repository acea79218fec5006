// Holders of persistent objects and counted texts: move, deep copy, release, compare.
#include <string.h>

#include "mif_internal.h"

namespace {

template <class Counted>
void release(Counted* member) {
  hmsc_HeapFree(member->data);
  member->data = nullptr;
  member->count = 0;
}

// destination (empty) receives a copy of source; false with a report for bad counts or heap.
template <class Counted>
bool copyMember(Counted* destination, const Counted* source, const char* function,
                ErrorReport** err) {
  if (source->count < 0 || (source->count > 0 && !source->data)) {
    mif_Report(err, function, __LINE__, "count %d %s", source->count,
               source->count < 0 ? "is negative" : "without data");
    return false;
  }
  if (source->count == 0) return true;
  destination->data =
      static_cast<decltype(destination->data)>(hmsc_HeapMalloc(size_t(source->count)));
  if (!destination->data) {
    mif_Report(err, function, __LINE__, "heap exhausted");
    return false;
  }
  memcpy(destination->data, source->data, size_t(source->count));
  destination->count = source->count;
  return true;
}

template <class Counted>
bool sameMember(const Counted* a, const Counted* b) {
  if (a->count != b->count) return false;
  if (a->count <= 0 || a->data == b->data) return true;
  return a->data && b->data && memcmp(a->data, b->data, size_t(a->count)) == 0;
}

}  // namespace

void hmif_MIFObjectFreeContents(Hmif_MIFObject* holder) {
  if (!holder) return;
  release(&holder->type);
  release(&holder->MIFDictionary);
  release(&holder->MIFObject);
}

void hmif_MIFObjectTransferContents(Hmif_MIFObject* destination, Hmif_MIFObject* source) {
  if (!destination || !source || destination == source) return;
  hmif_MIFObjectFreeContents(destination);
  *destination = *source;
  *source = Hmif_MIFObject{};
}

int hmif_MIFObjectCopyContents(Hmif_MIFObject* destination, const Hmif_MIFObject* source,
                               ErrorReport** err) {
  static const char* const function = "hmif_MIFObjectCopyContents";
  if (!destination || !source) {
    mif_Report(err, function, __LINE__, "null holder");
    return -1;
  }
  if (destination == source) return 0;
  hmif_MIFObjectFreeContents(destination);
  if (!copyMember(&destination->type, &source->type, function, err) ||
      !copyMember(&destination->MIFDictionary, &source->MIFDictionary, function, err) ||
      !copyMember(&destination->MIFObject, &source->MIFObject, function, err)) {
    hmif_MIFObjectFreeContents(destination);
    return -1;
  }
  return 0;
}

int hmif_MIFObjectIsSame(const Hmif_MIFObject* a, const Hmif_MIFObject* b) {
  if (!a || !b) return a == b;
  if (!a->MIFObject.data && !b->MIFObject.data) return 1;
  return sameMember(&a->type, &b->type) && sameMember(&a->MIFDictionary, &b->MIFDictionary) &&
         sameMember(&a->MIFObject, &b->MIFObject);
}

void hmif_PTRFreeContents(Hmif_String* holder) {
  if (holder) release(holder);
}

void hmif_PTRTransferContents(Hmif_String* destination, Hmif_String* source) {
  if (!destination || !source || destination == source) return;
  hmif_PTRFreeContents(destination);
  *destination = *source;
  *source = Hmif_String{};
}

int hmif_PTRCopyContents(Hmif_String* destination, const Hmif_String* source, ErrorReport** err) {
  static const char* const function = "hmif_PTRCopyContents";
  if (!destination || !source) {
    mif_Report(err, function, __LINE__, "null holder");
    return -1;
  }
  if (destination == source) return 0;
  hmif_PTRFreeContents(destination);
  return copyMember(destination, source, function, err) ? 0 : -1;
}

int hmif_PTRIsSame(const Hmif_String* a, const Hmif_String* b) {
  if (!a || !b) return a == b;
  return sameMember(a, b);
}
