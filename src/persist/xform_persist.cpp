#include <cstring>

#include "common/error_slot.h"
#include "common/scoped.h"
#include "persist/designs.h"
#include "persist/mifable_holder.h"
#include "senmod/senmod.h"
#include "xform/xform_setup.h"

using senmod::CalleeSlot;
using senmod::ErrorSlot;

namespace {

using senmod::ScopedDesignCopy;
// A model record freed unless a transform object takes it.
using ScopedModel = senmod::Scoped<RSM_Model, smod_RSMDelete>;

// The object is read as a model record, so its design must lay it out as one.
bool isModelDesign(const HmifDesign* design) {
  const char* name = hmif_DesignName(design);
  return name && std::strcmp(name, "RSM_Model") == 0 &&
         hmif_DesignRecordSize(design) == static_cast<int64_t>(sizeof(RSM_Model));
}

}  // namespace

extern "C" SMOD_API void smod_RSMXformConvertToMIFable(RSM_Xform* xform, void** object,
                                                       HmifDesign** design, ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformConvertToMIFable");
  if (!object || !design) {
    SMOD_FAIL(slot, "Args");
    return;
  }
  *object = nullptr;
  *design = nullptr;
  if (!xform || !xform->model) {
    SMOD_FAIL(slot, senmod::kInvalidXformMessage);
    return;
  }
  RSM_Model* model = xform->model;

  // The model design names its section design, which must exist for the walk below.
  senmod::RSMFunctions_Design();
  CalleeSlot fetch;
  HmifDesign* modelDesign = senmod::RSM_Model_Design(fetch.get());
  if (!modelDesign) {
    SMOD_FAIL(slot, "hmif_DesignFetch failed", fetch.take());
    return;
  }
  CalleeSlot copying;
  ScopedDesignCopy designCopy(hmif_DesignCopy(modelDesign, copying.get()));
  if (!designCopy.get()) {
    SMOD_FAIL(slot, "hmif_DesignCopy failed", copying.take());
    return;
  }

  senmod::ScopedHolder projection;
  if (Hprj_ProParameters* parameters = model->rsm.obsoletePlaceHolder0) {
    CalleeSlot host;
    senmod::ScopedProjection live(hprj_ProjectionInit(hint_GetInit(), parameters, host.get()));
    if (!live.get()) {
      SMOD_FAIL(slot, "hprj_MapProjectionInit failed", host.take());
      return;
    }
    if (!senmod::projectionToHolder(live.get(), &projection.holder, slot)) return;
    hmif_MIFObjectTransferContents(&model->outputProjection, &projection.holder);
  } else if (!senmod::holderIsWellFormed(model->outputProjection)) {
    // A projection made from a definition has no parameters: its stored form, which holds the
    // definition, is what the record keeps. Anything else without parameters is dropped.
    hmif_MIFObjectTransferContents(&model->outputProjection, &projection.holder);
  }

  // The parameters slot is persisted as a record pointer of another design: keep it out.
  Hprj_ProParameters* parameters = model->rsm.obsoletePlaceHolder0;
  model->rsm.obsoletePlaceHolder0 = nullptr;
  CalleeSlot host;
  void* stored = hmif_ObjectCopy(model, modelDesign, host.get());
  model->rsm.obsoletePlaceHolder0 = parameters;
  if (!stored) {
    SMOD_FAIL(slot, "hmif_ObjectCopy failed", host.take());
    return;
  }
  *object = stored;
  *design = designCopy.release();
}

extern "C" SMOD_API RSM_Xform* smod_RSMXformConvertFromMIFable(const void* object,
                                                               const HmifDesign* design,
                                                               ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformConvertFromMIFable");
  if (!object) return nullptr;
  if (!design) {
    SMOD_FAIL(slot, "NULL xFormDesign");
    return nullptr;
  }
  // A caller may hand in the shared design itself, whose section design is resolved by name.
  senmod::RSMFunctions_Design();
  if (!isModelDesign(design)) {
    SMOD_FAIL(slot, "Design does not lay out an RSM_Model");
    return nullptr;
  }
  // A stored parameters slot holds a record of another design; it is released right after the
  // copy, before anything could take it for projection parameters.
  HmifDesign* storedSlotDesign = nullptr;
  if (static_cast<const RSM_Model*>(object)->rsm.obsoletePlaceHolder0) {
    CalleeSlot fetch;
    storedSlotDesign = senmod::Hmif_MIFObject_Design(fetch.get());
    if (!storedSlotDesign) {
      SMOD_FAIL(slot, "hmif_DesignFetch failed", fetch.take());
      return nullptr;
    }
  }
  CalleeSlot copying;
  auto* record = static_cast<RSM_Model*>(hmif_ObjectCopy(object, design, copying.get()));
  if (!record) {
    SMOD_FAIL(slot, "hmif_ObjectCopy failed", copying.take());
    return nullptr;
  }
  if (record->rsm.obsoletePlaceHolder0) {
    void* storedSlot = record->rsm.obsoletePlaceHolder0;
    record->rsm.obsoletePlaceHolder0 = nullptr;
    hmif_ObjectFree(&storedSlot, storedSlotDesign, nullptr);
  }
  ScopedModel copy(record);

  senmod::ScopedProjection projection;
  if (!senmod::holderIsEmpty(copy.get()->outputProjection)) {
    projection.reset(senmod::projectionFromHolder(copy.get()->outputProjection, slot));
    if (!projection.get()) return nullptr;
  }
  auto* parameters = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(projection.get(), "Hprj_ProParameters"));
  if (parameters) {
    CalleeSlot host;
    copy.get()->rsm.obsoletePlaceHolder0 = hprj_ProParametersCopy(parameters, nullptr, host.get());
    if (!copy.get()->rsm.obsoletePlaceHolder0) {
      SMOD_FAIL(slot, "hprj_ProParametersCopy failed", host.take());
      return nullptr;
    }
  }
  CalleeSlot wrapping;
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(copy.get(), wrapping.get());
  if (!xform) {
    SMOD_FAIL(slot, "smod_RSMXformGetFromRSMData failed", wrapping.take());
    return nullptr;
  }
  copy.release();
  return xform;
}
