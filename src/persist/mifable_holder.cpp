#include "persist/mifable_holder.h"

#include <cstring>

namespace senmod {

ScopedMifable::~ScopedMifable() {
  if (!design_) return;
  CalleeSlot host;
  if (hmif_ObjectFree(&object_, design_, host.get()) != 0) {
    ErrorReport* note = herr_CreateErrorReport(function_, __LINE__, 0,
                                               herr_ErrorReportDuplicate(*host.get()),
                                               "hmif_ObjectFree fail", 0);
    herr_PrintErrorReport(note, 0, 0);
    herr_DeleteErrorReportEx(&note);
  }
  hmif_DesignDestroy(design_);
}

bool countedTextIsSound(const Hmif_String& text) {
  if (!text.data || text.count < 1) return false;
  return std::memchr(text.data, '\0', static_cast<size_t>(text.count)) ==
         text.data + (text.count - 1);
}

bool holderIsWellFormed(const Hmif_MIFObject& holder) {
  return countedTextIsSound(holder.type) && countedTextIsSound(holder.MIFDictionary) &&
         holder.MIFObject.data && holder.MIFObject.count >= 0;
}

namespace {

int32_t countedLength(const char* text) {
  return static_cast<int32_t>(htxt_Text_strlen(text) + 1);
}

// The persistent form of a convertible object, moved into the empty holder.
bool mifableToHolder(const ScopedMifable& mifable, Hmif_MIFObject* holder, ErrorSlot& slot) {
  void* bytes = nullptr;
  char* dictionaryText = nullptr;
  char* typeText = nullptr;
  CalleeSlot host;
  int32_t count = hmif_MIFableObjectConvertToMIF(mifable.getObject(), mifable.getDesign(), &bytes,
                                                 &dictionaryText, &typeText, host.get());
  if (count < 0) {
    SMOD_FAIL(slot, "hmif_MIFableObjectConvertToMIF failed", host.take());
    return false;
  }
  holder->type.data = typeText;
  holder->type.count = countedLength(typeText);
  holder->MIFDictionary.data = dictionaryText;
  holder->MIFDictionary.count = countedLength(dictionaryText);
  holder->MIFObject.data = static_cast<unsigned char*>(bytes);
  holder->MIFObject.count = count;
  return true;
}

// Decodes a holder; its texts are checked first because the host reads them to their zero.
bool holderToMifable(const Hmif_MIFObject& holder, ScopedMifable& mifable, ErrorSlot& slot) {
  if (!holderIsWellFormed(holder)) {
    SMOD_FAIL(slot, "hmif_MIFableObjectConvertFromMIF failed");
    return false;
  }
  CalleeSlot host;
  if (hmif_MIFableObjectConvertFromMIF(mifable.object(), mifable.design(), holder.MIFObject.data,
                                       holder.MIFObject.count, holder.MIFDictionary.data,
                                       holder.type.data, host.get()) != 0) {
    SMOD_FAIL(slot, "hmif_MIFableObjectConvertFromMIF failed", host.take());
    return false;
  }
  return true;
}

}  // namespace

bool projectionToHolder(const Hprj_Projection* projection, Hmif_MIFObject* holder,
                        ErrorSlot& slot) {
  ScopedMifable mifable(slot.function());
  CalleeSlot host;
  if (hprj_ProjectionConvertToMIFable(projection, mifable.object(), mifable.design(),
                                      host.get()) != 0) {
    SMOD_FAIL(slot, "hprj_ProjectionConvertToMIFable failed", host.take());
    return false;
  }
  return mifableToHolder(mifable, holder, slot);
}

bool elevationInfoToHolder(const Hprj_ElevationInfo* info, Hmif_MIFObject* holder,
                           ErrorSlot& slot) {
  ScopedMifable mifable(slot.function());
  CalleeSlot host;
  if (hprj_ElevationInfoConvertToMIFable(info, mifable.object(), mifable.design(), host.get()) !=
      0) {
    SMOD_FAIL(slot, "hprj_ElevationInfoConvertToMIFable failed", host.take());
    return false;
  }
  return mifableToHolder(mifable, holder, slot);
}

Hprj_Projection* projectionFromHolder(const Hmif_MIFObject& holder, ErrorSlot& slot) {
  ScopedMifable mifable(slot.function());
  if (!holderToMifable(holder, mifable, slot)) return nullptr;
  CalleeSlot host;
  Hprj_Projection* projection =
      hprj_ProjectionConvertFromMIFable(mifable.getObject(), mifable.getDesign(), host.get());
  if (!projection) SMOD_FAIL(slot, "hprj_ProjectionConvertFromMIFable failed", host.take());
  return projection;
}

Hprj_ElevationInfo* elevationInfoFromHolder(const Hmif_MIFObject& holder, ErrorSlot& slot) {
  ScopedMifable mifable(slot.function());
  if (!holderToMifable(holder, mifable, slot)) return nullptr;
  CalleeSlot host;
  Hprj_ElevationInfo* info =
      hprj_ElevationInfoConvertFromMIFable(mifable.getObject(), mifable.getDesign(), host.get());
  if (!info) SMOD_FAIL(slot, "hprj_ElevationInfoConvertFromMIFable failed", host.take());
  return info;
}

}  // namespace senmod
