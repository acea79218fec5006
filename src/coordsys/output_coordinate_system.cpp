#include <utility>

#include "common/error_slot.h"
#include "common/scoped.h"
#include "persist/mifable_holder.h"
#include "senmod/senmod.h"

using senmod::CalleeSlot;
using senmod::ErrorSlot;

namespace {

// Projection parameters freed when they go (after a commit: the record's previous ones).
struct ScopedParameters {
  ScopedParameters() = default;
  ~ScopedParameters() { hprj_ProParametersFree(&parameters); }
  ScopedParameters(const ScopedParameters&) = delete;
  ScopedParameters& operator=(const ScopedParameters&) = delete;
  Hprj_ProParameters* parameters = nullptr;
};

// A local counted text released when it goes (empty after a transfer out).
struct ScopedText {
  ScopedText() = default;
  ~ScopedText() { hmif_PTRFreeContents(&text); }
  ScopedText(const ScopedText&) = delete;
  ScopedText& operator=(const ScopedText&) = delete;
  Hmif_String text{};
};

}  // namespace

extern "C" SMOD_API void smod_RSMCoordinateSystemSet(RSM_Model* model,
                                                     const Hprj_Projection* projection,
                                                     const char* horizontalUnits,
                                                     const Hprj_ElevationInfo* elevationInfo,
                                                     ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMCoordinateSystemSet");
  if (!model || !horizontalUnits || !elevationInfo) {
    SMOD_FAIL(slot, "Args");
    return;
  }
  // Everything new is made in locals first: the record changes only when all of it exists.
  ScopedParameters parameters;
  senmod::ScopedHolder projectionHolder;
  if (projection) {
    auto* live = static_cast<const Hprj_ProParameters*>(
        hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
    if (live) {
      CalleeSlot host;
      parameters.parameters = hprj_ProParametersCopy(live, nullptr, host.get());
      if (!parameters.parameters) {
        SMOD_FAIL(slot, "hprj_ProParametersCopy failed", host.take());
        return;
      }
    }
    if (!senmod::projectionToHolder(projection, &projectionHolder.holder, slot)) return;
  }
  ScopedText units;
  units.text.data = hstr_Duplicate(horizontalUnits);
  if (!units.text.data) {
    SMOD_FAIL(slot, "hstr_Duplicate failed");
    return;
  }
  units.text.count = static_cast<int32_t>(htxt_Text_strlen(units.text.data) + 1);
  senmod::ScopedHolder elevationHolder;
  if (!senmod::elevationInfoToHolder(elevationInfo, &elevationHolder.holder, slot)) return;

  hmif_MIFObjectTransferContents(&model->outputProjection, &projectionHolder.holder);
  hmif_PTRTransferContents(&model->outputHorizontalUnits, &units.text);
  hmif_MIFObjectTransferContents(&model->outputElevationInfo, &elevationHolder.holder);
  std::swap(model->rsm.obsoletePlaceHolder0, parameters.parameters);
}

extern "C" SMOD_API void smod_RSMCoordinateSystemGet(const RSM_Model* model,
                                                     Hprj_Projection** projection,
                                                     char** horizontalUnits,
                                                     Hprj_ElevationInfo** elevationInfo,
                                                     ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMCoordianteSystemGet");
  if (!model || !projection || !horizontalUnits || !elevationInfo) {
    SMOD_FAIL(slot, "Args");
    return;
  }
  // The live parameters win over the persistent form.
  senmod::ScopedProjection newProjection;
  if (model->rsm.obsoletePlaceHolder0) {
    CalleeSlot host;
    newProjection.reset(
        hprj_ProjectionInit(hint_GetInit(), model->rsm.obsoletePlaceHolder0, host.get()));
    if (!newProjection.get()) {
      SMOD_FAIL(slot, "hprj_MapProjectionInit failed", host.take());
      return;
    }
  } else if (!senmod::holderIsEmpty(model->outputProjection)) {
    newProjection.reset(senmod::projectionFromHolder(model->outputProjection, slot));
    if (!newProjection.get()) return;
  }
  // The host copies to the terminating zero, which must lie within the count.
  const Hmif_String& storedUnits = model->outputHorizontalUnits;
  if (storedUnits.data && !senmod::countedTextIsSound(storedUnits)) {
    SMOD_FAIL(slot, "Horizontal units text is not terminated");
    return;
  }
  senmod::HeapBlock<char> units(storedUnits.data ? hstr_Duplicate(storedUnits.data) : nullptr);
  if (storedUnits.data && !units.get()) {
    SMOD_FAIL(slot, "hstr_Duplicate failed");
    return;
  }
  senmod::ScopedElevationInfo newInfo;
  if (!senmod::holderIsEmpty(model->outputElevationInfo)) {
    newInfo.reset(senmod::elevationInfoFromHolder(model->outputElevationInfo, slot));
    if (!newInfo.get()) return;
  }
  *projection = newProjection.release();
  *horizontalUnits = units.release();
  *elevationInfo = newInfo.release();
}
