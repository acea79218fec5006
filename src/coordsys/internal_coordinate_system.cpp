#include "common/error_slot.h"
#include "common/scoped.h"
#include "senmod/senmod.h"

namespace {

struct ScopedParameters {
  explicit ScopedParameters(Hprj_ProParameters* made) : parameters(made) {}
  ~ScopedParameters() { hprj_ProParametersFree(&parameters); }
  ScopedParameters(const ScopedParameters&) = delete;
  ScopedParameters& operator=(const ScopedParameters&) = delete;
  Hprj_ProParameters* parameters;
};

}  // namespace

extern "C" SMOD_API void smod_InternalProjectionAndElevInfoGet(Hprj_Projection** projection,
                                                               char** horizontalUnits,
                                                               Hprj_ElevationInfo** elevationInfo,
                                                               ErrorReport** err) {
  senmod::ErrorSlot slot(err, "hpsi_InternalProjectionAndElevInfoGet");
  if (!projection || !horizontalUnits || !elevationInfo) {
    SMOD_FAIL(slot, "Args");
    return;
  }
  // Every host call below reports into one holder, examined after the projection step.
  senmod::CalleeSlot host;
  senmod::HeapBlock<char> units(hstr_Duplicate("degrees"));
  HintInit* init = hint_GetInit();
  ScopedParameters geographic(hprj_ProParametersCreate(host.get()));
  senmod::ScopedProjection made;
  if (Hprj_ProParameters* parameters = geographic.parameters) {
    parameters->proType = 0;
    parameters->proNumber = 0;
    hprj_CharStrCreate("Geographic (Lat/Lon)", &parameters->proName, host.get());
    hprj_SpheroidByName(init, "WGS 84", parameters->proSpheroid, host.get());
    hprj_DatumByName(init, "WGS 84", "WGS 84", &parameters->proSpheroid->datum, host.get());
    made.reset(hprj_ProjectionInit(init, parameters, host.get()));
  }
  if (host.failed() || !made.get() || !units.get()) {
    *projection = nullptr;
    *horizontalUnits = nullptr;
    bool projectionFailed = host.failed() || !made.get();
    SMOD_FAIL(slot, projectionFailed ? "hprj_ProjectionInit failed." : "hstr_Duplicate failed",
              host.take());
    return;
  }
  const Hprj_Spheroid* spheroid = geographic.parameters->proSpheroid;
  *elevationInfo = hprj_ElevationInfoCreateByName(spheroid->sphereName, spheroid->datum.datumName,
                                                  "meters", "height", host.get());
  if (host.failed() || !*elevationInfo) {
    hprj_ElevationInfoFree(elevationInfo);
    *projection = nullptr;
    *horizontalUnits = nullptr;
    SMOD_FAIL(slot, "hprj_ElevationInfoCreateByName failed.", host.take());
    return;
  }
  *projection = made.release();
  *horizontalUnits = units.release();
}
