// Moving live host objects (projections, elevation info) into persistent-object holders
// ("Hmif_MIFObject") and back, as the output coordinate system and the transform object's
// persistence keep them.
#ifndef SENMOD_PERSIST_MIFABLE_HOLDER_H
#define SENMOD_PERSIST_MIFABLE_HOLDER_H

#include "common/error_slot.h"
#include "hostcore.h"

namespace senmod {

// A convertible object with its design, freed (hmif_ObjectFree) and destroyed
// (hmif_DesignDestroy) when it goes. A refused free is not passed on: it is printed as the note
// "hmif_ObjectFree fail" (severity 0) under function and dropped.
class ScopedMifable {
 public:
  explicit ScopedMifable(const char* function) : function_(function) {}
  ~ScopedMifable();
  ScopedMifable(const ScopedMifable&) = delete;
  ScopedMifable& operator=(const ScopedMifable&) = delete;

  void** object() { return &object_; }
  HmifDesign** design() { return &design_; }
  const void* getObject() const { return object_; }
  const HmifDesign* getDesign() const { return design_; }

 private:
  const char* function_;
  void* object_ = nullptr;
  HmifDesign* design_ = nullptr;
};

// A local holder whose contents are released when it goes (empty after a transfer out).
struct ScopedHolder {
  ScopedHolder() = default;
  ~ScopedHolder() { hmif_MIFObjectFreeContents(&holder); }
  ScopedHolder(const ScopedHolder&) = delete;
  ScopedHolder& operator=(const ScopedHolder&) = delete;
  Hmif_MIFObject holder{};
};

// A holder counts as empty when it holds no object bytes.
inline bool holderIsEmpty(const Hmif_MIFObject& holder) { return holder.MIFObject.data == nullptr; }

// A counted text is sound when its count covers its characters and its terminating zero.
bool countedTextIsSound(const Hmif_String& text);

// A holder is well formed when it holds object bytes and both its texts are sound: only such a
// holder is handed to the host to decode.
bool holderIsWellFormed(const Hmif_MIFObject& holder);

// Fill the empty holder with the persistent form of projection / info. On failure report under
// slot ("hprj_ProjectionConvertToMIFable failed", "hprj_ElevationInfoConvertToMIFable failed",
// "hmif_MIFableObjectConvertToMIF failed"), leave the holder empty and return false.
bool projectionToHolder(const Hprj_Projection* projection, Hmif_MIFObject* holder,
                        ErrorSlot& slot);
bool elevationInfoToHolder(const Hprj_ElevationInfo* info, Hmif_MIFObject* holder,
                           ErrorSlot& slot);

// A new live object (the caller's) from a non-empty holder, which is only read; null after a
// report under slot ("hmif_MIFableObjectConvertFromMIF failed" also for a holder whose texts are
// not terminated within their counts, "hprj_ProjectionConvertFromMIFable failed",
// "hprj_ElevationInfoConvertFromMIFable failed").
Hprj_Projection* projectionFromHolder(const Hmif_MIFObject& holder, ErrorSlot& slot);
Hprj_ElevationInfo* elevationInfoFromHolder(const Hmif_MIFObject& holder, ErrorSlot& slot);

}  // namespace senmod

#endif  // SENMOD_PERSIST_MIFABLE_HOLDER_H
