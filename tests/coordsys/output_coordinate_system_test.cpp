// The output coordinate system stored in a model record.
#include <gtest/gtest.h>

#include <string>

#include "coordsys/coordsys_fixture.h"
#include "support/model_builder.h"
#include "senmod/senmod.h"

namespace {

using coordsys_test::elevationInfo;
using coordsys_test::utmProjection;
using coordsys_test::zoneOf;

// What Get hands back, released when it goes.
struct Got {
  ~Got() {
    hprj_ProjectionFree(&projection);
    hmsc_HeapFree(units);
    hprj_ElevationInfoFree(&info);
  }
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
};

void get(const RSM_Model* model, Got& got, ErrorReport** err) {
  smod_RSMCoordinateSystemGet(model, &got.projection, &got.units, &got.info, err);
}

void set(RSM_Model* model, int zone, const char* units, ErrorReport** err) {
  Hprj_Projection* projection = zone ? utmProjection(zone) : nullptr;
  Hprj_ElevationInfo* info = elevationInfo(units);
  smod_RSMCoordinateSystemSet(model, projection, units, info, err);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
}

using OutputCoordinateSystem = coordsys_test::HeapBalance;

int32_t savedCount = 0;

TEST_F(OutputCoordinateSystem, NewRecordGivesThreeNulls) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  Got got;
  ErrorReport* err = nullptr;
  get(model, got, &err);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(got.projection, nullptr);
  EXPECT_EQ(got.units, nullptr);
  EXPECT_EQ(got.info, nullptr);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, StoredSystemComesBackAsNewLiveObjects) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  ErrorReport* err = nullptr;
  set(model, 32, "feet", &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  ASSERT_NE(model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(model->rsm.obsoletePlaceHolder0->proZone, 32);
  EXPECT_FALSE(model->outputProjection.MIFObject.data == nullptr);
  EXPECT_EQ(model->outputHorizontalUnits.count, 5);
  EXPECT_STREQ(model->outputHorizontalUnits.data, "feet");
  EXPECT_EQ(model->outputProjection.type.count,
            static_cast<int32_t>(std::string(model->outputProjection.type.data).size() + 1));

  Got got;
  get(model, got, nullptr);
  ASSERT_NE(got.projection, nullptr);
  EXPECT_EQ(zoneOf(got.projection), 32);
  EXPECT_STREQ(got.units, "feet");
  ASSERT_NE(got.info, nullptr);
  EXPECT_STREQ(got.info->units, "feet");
  EXPECT_STREQ(got.info->elevationType, "height");

  // Without the live parameters the persistent form gives the same projection.
  Hprj_ProParameters* parameters = model->rsm.obsoletePlaceHolder0;
  model->rsm.obsoletePlaceHolder0 = nullptr;
  Got fromStored;
  get(model, fromStored, &err);
  model->rsm.obsoletePlaceHolder0 = parameters;
  ASSERT_NE(fromStored.projection, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(zoneOf(fromStored.projection), 32);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, LiveParametersWinOverThePersistentForm) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  set(model, 32, "meters", nullptr);
  Hprj_Projection* other = utmProjection(-33);
  hprj_ProParametersCopy(static_cast<const Hprj_ProParameters*>(
                             hprj_MapProjectionCSRGet(other, "Hprj_ProParameters")),
                         model->rsm.obsoletePlaceHolder0, nullptr);
  hprj_ProjectionFree(&other);
  Got got;
  get(model, got, nullptr);
  EXPECT_EQ(zoneOf(got.projection), -33);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, ProjectionWithoutParametersIsKeptInPersistentFormOnly) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  ErrorReport* err = nullptr;
  Hprj_Projection* projection = hprj_ProjectionFromDefinition("EPSG:3857", &err);
  ASSERT_NE(projection, nullptr) << herr_ErrorReportMessage(err);
  Hprj_ElevationInfo* info = elevationInfo("meters");
  smod_RSMCoordinateSystemSet(model, projection, "meters", info, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_FALSE(model->outputProjection.MIFObject.data == nullptr);

  Got got;
  get(model, got, &err);
  ASSERT_NE(got.projection, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(hprj_MapProjectionCSRGet(got.projection, "Hprj_ProParameters"), nullptr);
  EXPECT_NE(std::string(hprj_ProjectionWkt(got.projection)).find("Pseudo-Mercator"),
            std::string::npos);
  double x = 0, y = 0;
  EXPECT_EQ(hprj_ProjectionFromGeographic(got.projection, 10.0, 45.0, &x, &y, &err), 0);
  EXPECT_NEAR(x, 1113194.9, 0.1);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, EachSetReplacesEverythingAndNullClearsTheProjection) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  set(model, 32, "meters", nullptr);
  set(model, 33, "feet", nullptr);
  {
    Got got;
    get(model, got, nullptr);
    EXPECT_EQ(zoneOf(got.projection), 33);
    EXPECT_STREQ(got.units, "feet");
    EXPECT_STREQ(got.info->units, "feet");
  }
  ErrorReport* err = nullptr;
  set(model, 0, "meters", &err);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(model->outputProjection.MIFObject.data, nullptr);
  EXPECT_EQ(model->outputProjection.type.count, 0);
  Got got;
  get(model, got, nullptr);
  EXPECT_EQ(got.projection, nullptr);
  EXPECT_STREQ(got.units, "meters");
  ASSERT_NE(got.info, nullptr);
  EXPECT_STREQ(got.info->units, "meters");
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, FailedSetLeavesTheRecordAsItWasAtEveryAllocation) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  set(model, 32, "meters", nullptr);
  RSM_Model* reference = smod_RSMCopy(model, nullptr);
  ASSERT_NE(reference, nullptr);
  Hprj_ProParameters* parameters = model->rsm.obsoletePlaceHolder0;
  Hprj_Projection* projection = utmProjection(33);
  Hprj_ElevationInfo* info = elevationInfo("feet");
  long before = hmsc_HeapLiveBlocks();
  for (long n = 0;; ++n) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    smod_RSMCoordinateSystemSet(model, projection, "feet", info, &err);
    hmsc_HeapFailAfter(-1);
    if (!err) break;
    herr_DeleteErrorReportEx(&err);
    ASSERT_EQ(model->rsm.obsoletePlaceHolder0, parameters) << "at allocation " << n;
    ASSERT_EQ(smod_RSMsAreSame(model, reference), 1) << "at allocation " << n;
    ASSERT_EQ(hmif_MIFObjectIsSame(&model->outputProjection, &reference->outputProjection), 1);
    ASSERT_EQ(hmif_MIFObjectIsSame(&model->outputElevationInfo, &reference->outputElevationInfo),
              1);
    ASSERT_STREQ(model->outputHorizontalUnits.data, "meters");
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
  Got got;
  get(model, got, nullptr);
  EXPECT_EQ(zoneOf(got.projection), 33);
  EXPECT_STREQ(got.units, "feet");
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
  smod_RSMDelete(reference);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, FailedGetLeavesTheCallersPointersAlone) {
  // Geographic keeps the sweep fast: each projection the host makes costs a PROJ context.
  Hprj_Projection* geographic = nullptr;
  char* degrees = nullptr;
  Hprj_ElevationInfo* meters = nullptr;
  smod_InternalProjectionAndElevInfoGet(&geographic, &degrees, &meters, nullptr);
  RSM_Model* model = smod_RSMCreate(nullptr);
  smod_RSMCoordinateSystemSet(model, geographic, degrees, meters, nullptr);
  hprj_ProjectionFree(&geographic);
  hmsc_HeapFree(degrees);
  hprj_ElevationInfoFree(&meters);
  Hprj_ProParameters* parameters = model->rsm.obsoletePlaceHolder0;
  for (bool fromStored : {false, true}) {
    if (fromStored) model->rsm.obsoletePlaceHolder0 = nullptr;
    long before = hmsc_HeapLiveBlocks();
    for (long n = 0;; ++n) {
      Hprj_Projection* projection = reinterpret_cast<Hprj_Projection*>(1);
      char* units = reinterpret_cast<char*>(2);
      Hprj_ElevationInfo* info = reinterpret_cast<Hprj_ElevationInfo*>(3);
      ErrorReport* err = nullptr;
      hmsc_HeapFailAfter(n);
      smod_RSMCoordinateSystemGet(model, &projection, &units, &info, &err);
      hmsc_HeapFailAfter(-1);
      if (!err) {
        EXPECT_NE(projection, nullptr);
        hprj_ProjectionFree(&projection);
        hmsc_HeapFree(units);
        hprj_ElevationInfoFree(&info);
        break;
      }
      herr_DeleteErrorReportEx(&err);
      ASSERT_EQ(projection, reinterpret_cast<Hprj_Projection*>(1));
      ASSERT_EQ(units, reinterpret_cast<char*>(2));
      ASSERT_EQ(info, reinterpret_cast<Hprj_ElevationInfo*>(3));
      ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
    }
  }
  model->rsm.obsoletePlaceHolder0 = parameters;
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, MissingArgumentsAreReportedUnderEachName) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  Hprj_ElevationInfo* info = elevationInfo("meters");
  ErrorReport* err = nullptr;
  for (int missing = 0; missing < 3; ++missing) {
    smod_RSMCoordinateSystemSet(missing == 0 ? nullptr : model, nullptr,
                                missing == 1 ? nullptr : "meters", missing == 2 ? nullptr : info,
                                &err);
    EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
    EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMCoordinateSystemSet");
    EXPECT_EQ(herr_ErrorReportSeverity(err), 2);
    herr_DeleteErrorReportEx(&err);
  }
  EXPECT_EQ(model->outputHorizontalUnits.data, nullptr);
  smod_RSMCoordinateSystemSet(nullptr, nullptr, "meters", info, nullptr);

  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  smod_RSMCoordinateSystemGet(model, &projection, &units, nullptr, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMCoordianteSystemGet");
  herr_DeleteErrorReportEx(&err);
  smod_RSMCoordinateSystemGet(nullptr, &projection, &units, nullptr, nullptr);
  hprj_ElevationInfoFree(&info);
  smod_RSMDelete(model);
}

TEST_F(OutputCoordinateSystem, DamagedStoredFormsAreReportedNotRead) {
  RSM_Model* model = smod_RSMCreate(nullptr);
  set(model, 32, "meters", nullptr);
  hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);

  struct Damage {
    const char* message;
    void (*apply)(RSM_Model*);
    void (*undo)(RSM_Model*);
  };
  const Damage damages[] = {
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) { m->outputProjection.MIFObject.count /= 2; },
       [](RSM_Model* m) { m->outputProjection.MIFObject.count *= 2; }},
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) {
         savedCount = m->outputElevationInfo.MIFObject.count;
         m->outputElevationInfo.MIFObject.count = 1;
       },
       [](RSM_Model* m) { m->outputElevationInfo.MIFObject.count = savedCount; }},
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) { m->outputProjection.type.count -= 1; },
       [](RSM_Model* m) { m->outputProjection.type.count += 1; }},
      {"hmif_MIFableObjectConvertFromMIF failed",
       [](RSM_Model* m) { m->outputElevationInfo.MIFDictionary.count = 0; },
       [](RSM_Model* m) {
         m->outputElevationInfo.MIFDictionary.count = static_cast<int32_t>(
             std::string(m->outputElevationInfo.MIFDictionary.data).size() + 1);
       }},
      {"Horizontal units text is not terminated",
       [](RSM_Model* m) { m->outputHorizontalUnits.data[6] = 'x'; },
       [](RSM_Model* m) { m->outputHorizontalUnits.data[6] = '\0'; }},
  };
  for (const Damage& damage : damages) {
    damage.apply(model);
    Got got;
    ErrorReport* err = nullptr;
    get(model, got, &err);
    EXPECT_STREQ(herr_ErrorReportMessage(err), damage.message);
    EXPECT_EQ(got.projection, nullptr);
    EXPECT_EQ(got.units, nullptr);
    herr_DeleteErrorReportEx(&err);
    damage.undo(model);
  }
  Got got;
  get(model, got, nullptr);
  EXPECT_EQ(zoneOf(got.projection), 32);
  smod_RSMDelete(model);
}

}  // namespace
