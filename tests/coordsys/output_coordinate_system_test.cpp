// The output coordinate system stored in a model record.
#include <gtest/gtest.h>

#include <string>

#include "persist/persist_fixture.h"

namespace {

using persist_test::sweepHeap;

// UTM zone (negative in the south) on WGS 84; free with hprj_ProjectionFree.
Hprj_Projection* utm(int zone) {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = 1;
  parameters->proZone = zone;
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", parameters->proSpheroid, nullptr);
  hprj_DatumByName(hint_GetInit(), "WGS 84", "WGS 84", &parameters->proSpheroid->datum, nullptr);
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  hprj_ProParametersFree(&parameters);
  return projection;
}

int zoneOf(const Hprj_Projection* projection) {
  auto* parameters = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
  return parameters ? parameters->proZone : 0;
}

using Got = persist_test::StoredSystem;

void set(RSM_Model* model, Hprj_Projection* projection, const char* units,
         ErrorReport** err = nullptr) {
  Hprj_ElevationInfo* info = hprj_ElevationInfoCreateByName("WGS 84", "WGS 84", units, "height",
                                                            nullptr);
  smod_RSMCoordinateSystemSet(model, projection, units, info, err);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
}

using OutputCoordinateSystem = persist_test::HeapBalance;

TEST_F(OutputCoordinateSystem, StoredSystemComesBackAsNewLiveObjects) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  {
    Got empty(model);
    EXPECT_TRUE(!empty.projection && !empty.units && !empty.info);
  }
  ErrorReport* err = nullptr;
  set(model, utm(32), "feet", &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(model->rsm.obsoletePlaceHolder0->proZone, 32);
  EXPECT_EQ(model->outputHorizontalUnits.count, 5);
  const Hmif_String& type = model->outputProjection.type;
  EXPECT_EQ(type.count, static_cast<int32_t>(std::string(type.data).size() + 1));
  {
    Got got(model);
    EXPECT_EQ(zoneOf(got.projection), 32);
    EXPECT_STREQ(got.units, "feet");
    EXPECT_STREQ(got.info->units, "feet");
  }
  // The parameters win over the persistent form; without them the persistent form is read.
  Hprj_Projection* other = utm(-33);
  hprj_ProParametersCopy(static_cast<const Hprj_ProParameters*>(
                             hprj_MapProjectionCSRGet(other, "Hprj_ProParameters")),
                         model->rsm.obsoletePlaceHolder0, nullptr);
  hprj_ProjectionFree(&other);
  EXPECT_EQ(zoneOf(Got(model).projection), -33);
  hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);
  EXPECT_EQ(zoneOf(Got(model).projection), 32);

  // Set replaces everything; a null projection clears it.
  set(model, nullptr, "meters", &err);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(model->outputProjection.type.count, 0);
  Got got(model);
  EXPECT_EQ(got.projection, nullptr);
  EXPECT_STREQ(got.units, "meters");
  EXPECT_STREQ(got.info->units, "meters");
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, ProjectionWithoutParametersIsRebuiltFromPersistentForm) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  ErrorReport* err = nullptr;
  set(model, hprj_ProjectionFromDefinition("EPSG:3857", nullptr), "meters", &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(model->rsm.obsoletePlaceHolder0, nullptr);
  Got got(model, &err);
  ASSERT_NE(got.projection, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(hprj_MapProjectionCSRGet(got.projection, "Hprj_ProParameters"), nullptr);
  double x = 0, y = 0;
  EXPECT_EQ(hprj_ProjectionFromGeographic(got.projection, 10.0, 45.0, &x, &y, &err), 0);
  EXPECT_NEAR(x, 1113194.9, 0.1);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, FailuresChangeNothingAtEveryAllocation) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  set(model, utm(32), "meters");
  RSM_Model* reference = smod_RSMCopy(model, nullptr);
  Hprj_ProParameters* parameters = model->rsm.obsoletePlaceHolder0;
  Hprj_Projection* projection = utm(33);
  Hprj_ElevationInfo* info = hprj_ElevationInfoCreateByName("A", "B", "feet", "height", nullptr);
  sweepHeap([&](long n) {
    ErrorReport* err = nullptr;
    smod_RSMCoordinateSystemSet(model, projection, "feet", info, &err);
    bool done = err == nullptr;
    herr_DeleteErrorReportEx(&err);
    if (done) return true;
    EXPECT_EQ(model->rsm.obsoletePlaceHolder0, parameters) << "at allocation " << n;
    EXPECT_EQ(smod_RSMsAreSame(model, reference), 1) << "at allocation " << n;
    EXPECT_EQ(hmif_MIFObjectIsSame(&model->outputElevationInfo, &reference->outputElevationInfo),
              1);
    return false;
  });
  EXPECT_EQ(zoneOf(Got(model).projection), 33);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
  smod_RSMDelete(reference);

  // Get, from the parameters and from the persistent form, leaves the caller's pointers alone.
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);
    sweepHeap([&](long) {
      void* untouched = &model;
      auto* projection = static_cast<Hprj_Projection*>(untouched);
      auto* units = static_cast<char*>(untouched);
      auto* info = static_cast<Hprj_ElevationInfo*>(untouched);
      ErrorReport* err = nullptr;
      smod_RSMCoordinateSystemGet(model, &projection, &units, &info, &err);
      bool done = err == nullptr;
      herr_DeleteErrorReportEx(&err);
      if (done) {
        hprj_ProjectionFree(&projection);
        hmsc_HeapFree(units);
        hprj_ElevationInfoFree(&info);
      } else {
        EXPECT_TRUE(projection == untouched && units == untouched && info == untouched);
      }
      return done;
    });
  }
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, MissingArgumentsAndDamagedStoredFormsAreReported) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  ErrorReport* err = nullptr;
  smod_RSMCoordinateSystemSet(model, nullptr, nullptr, nullptr, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMCoordinateSystemSet");
  herr_DeleteErrorReportEx(&err);
  smod_RSMCoordinateSystemGet(model, nullptr, nullptr, nullptr, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMCoordianteSystemGet");
  herr_DeleteErrorReportEx(&err);

  set(model, utm(32), "meters");
  hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);
  // Each damage is undone by applying it again.
  struct Damage {
    const char* message;
    void (*toggle)(RSM_Model*);
  };
  const Damage damages[] = {
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) { m->outputProjection.MIFObject.count ^= 0x100; }},
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) { m->outputElevationInfo.type.count ^= 1; }},
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) { m->outputProjection.MIFDictionary.data[0] ^= 0x20; }},
      {"Horizontal units text is not terminated",
       [](RSM_Model* m) { m->outputHorizontalUnits.data[6] ^= 'x'; }},
  };
  for (const Damage& damage : damages) {
    damage.toggle(model);
    Got got(model, &err);
    EXPECT_STREQ(herr_ErrorReportMessage(err), damage.message);
    EXPECT_TRUE(!got.projection && !got.units && !got.info);
    herr_DeleteErrorReportEx(&err);
    damage.toggle(model);
  }
  EXPECT_EQ(zoneOf(Got(model).projection), 32);

  // Parameters the host cannot make a projection from.
  model->rsm.obsoletePlaceHolder0 = hprj_ProParametersCreate(nullptr);
  model->rsm.obsoletePlaceHolder0->proType = 99;
  Got got(model, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "hprj_MapProjectionInit failed");
  EXPECT_NE(herr_ErrorReportPrevious(err), nullptr);
  EXPECT_EQ(got.projection, nullptr);
  herr_DeleteErrorReportEx(&err);
  smod_RSMDelete(model);
}

}  // namespace
