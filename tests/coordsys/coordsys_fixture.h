// Live host objects for the coordinate-system suites, and a heap-balance fixture.
#ifndef TESTS_COORDSYS_COORDSYS_FIXTURE_H
#define TESTS_COORDSYS_COORDSYS_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>

#include "persist/designs.h"
#include "senmod/senmod.h"

namespace coordsys_test {

// UTM zone (negative in the south) on WGS 84; free with hprj_ProjectionFree.
inline Hprj_Projection* utmProjection(int zone) {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = 1;
  parameters->proZone = zone;
  hprj_CharStrCreate("UTM", &parameters->proName, nullptr);
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", parameters->proSpheroid, nullptr);
  hprj_DatumByName(hint_GetInit(), "WGS 84", "WGS 84", &parameters->proSpheroid->datum, nullptr);
  ErrorReport* err = nullptr;
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, &err);
  EXPECT_NE(projection, nullptr) << herr_ErrorReportMessage(err);
  herr_DeleteErrorReportEx(&err);
  hprj_ProParametersFree(&parameters);
  return projection;
}

inline Hprj_ElevationInfo* elevationInfo(const char* units) {
  return hprj_ElevationInfoCreateByName("WGS 84", "WGS 84", units, "height", nullptr);
}

// Zone of a live projection from its parameters component, 0 when it has none.
inline int zoneOf(const Hprj_Projection* projection) {
  auto* parameters = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
  return parameters ? parameters->proZone : 0;
}

class HeapBalance : public testing::Test {
 protected:
  // One full store and read first, so that whatever the host builds once per process for
  // these conversions exists before the count is taken.
  void SetUp() override {
    senmod::RSM_Model_Design();
    RSM_Model* model = smod_RSMCreate(nullptr);
    Hprj_Projection* projection = nullptr;
    char* units = nullptr;
    Hprj_ElevationInfo* info = nullptr;
    smod_InternalProjectionAndElevInfoGet(&projection, &units, &info, nullptr);
    smod_RSMCoordinateSystemSet(model, projection, units, info, nullptr);
    hprj_ProjectionFree(&projection);
    hmsc_HeapFree(units);
    hprj_ElevationInfoFree(&info);
    hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);  // read the persistent form
    smod_RSMCoordinateSystemGet(model, &projection, &units, &info, nullptr);
    hprj_ProjectionFree(&projection);
    hmsc_HeapFree(units);
    hprj_ElevationInfoFree(&info);
    smod_RSMDelete(model);
    live_ = hmsc_HeapLiveBlocks();
  }
  void TearDown() override {
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live_) << "host heap blocks leaked";
  }

 private:
  long live_ = 0;
};

}  // namespace coordsys_test

#endif  // TESTS_COORDSYS_COORDSYS_FIXTURE_H
