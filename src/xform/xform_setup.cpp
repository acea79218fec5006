#include "xform/xform_setup.h"

#include <exception>

#include "common/scoped.h"

namespace senmod {

const char* const kInvalidXformMessage = "Invalid input RSM xform data.";

bool xformUsable(const RSM_Xform* xform) {
  return xform && xform->model && xform->model->rsm.RationalPolyList.count >= 1 &&
         xform->model->rsm.RationalPolyList.data;
}

Hprj_ElevationInfo* outputElevationInfo(const RSM_Model* model) {
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
  // The host's name for this step: its log lines are what users already search for.
  HerrException accumulator(__FILE__, "hpho_CameraXformFillNoMIFData");
  try {
    smod_RSMCoordinateSystemGet(model, &projection, &units, &info, accumulator.ErrorSlot());
    accumulator.Check(__LINE__);
  } catch (const HlogException& exception) {
    accumulator.Log(__LINE__, exception);
  } catch (const std::exception& exception) {
    accumulator.Log(__LINE__, exception.what());
  } catch (...) {
    accumulator.Log(__LINE__);
  }
  accumulator.Clear();
  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  return info;
}

bool makeProjection(RSM_Xform* xform, ErrorSlot& slot) {
  const Hprj_ProParameters* parameters = xform->model->rsm.obsoletePlaceHolder0;
  if (!parameters || xform->projection) return true;
  CalleeSlot host;
  xform->projection = hprj_ProjectionInit(hint_GetInit(), parameters, host.get());
  if (host.failed()) {
    SMOD_FAIL(slot, "hprj_ProjectionInit failed", host.take());
    return false;
  }
  return true;
}

const char* const kDemPointUnits = "degrees";

bool demPointProjection(const RSM_Xform* xform, ScopedProjection& geographic,
                        const Hprj_Projection** projection, ErrorSlot& slot) {
  const Hprj_ProParameters* parameters = xform->model->rsm.obsoletePlaceHolder0;
  *projection = nullptr;
  if (!parameters) return true;
  if (parameters->proType == 0 && parameters->proNumber == 0 && xform->projection) {
    *projection = xform->projection;
    return true;
  }
  // The same spheroid and datum held in latitude/longitude; the host copies what it reads.
  Hprj_ProParameters latLong = *parameters;
  latLong.proType = 0;
  latLong.proNumber = 0;
  latLong.proZone = 0;
  latLong.proName = nullptr;
  CalleeSlot host;
  geographic.reset(hprj_ProjectionInit(hint_GetInit(), &latLong, host.get()));
  if (!geographic.get()) {
    SMOD_FAIL(slot, "hprj_ProjectionInit failed", host.take());
    return false;
  }
  *projection = geographic.get();
  return true;
}

}  // namespace senmod
