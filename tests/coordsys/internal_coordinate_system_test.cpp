// The library's fixed internal coordinate system.
#include <gtest/gtest.h>

#include "coordsys/coordsys_fixture.h"
#include "senmod/senmod.h"

namespace {

using InternalCoordinateSystem = coordsys_test::HeapBalance;

TEST_F(InternalCoordinateSystem, IsGeographicWgs84InDegreesWithHeightsInMeters) {
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
  ErrorReport* err = nullptr;
  smod_InternalProjectionAndElevInfoGet(&projection, &units, &info, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  ASSERT_NE(projection, nullptr);
  EXPECT_NE(hprj_ProjectionIsGeographic(projection), 0);
  auto* parameters = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
  ASSERT_NE(parameters, nullptr);
  EXPECT_EQ(parameters->proType, 0);
  EXPECT_EQ(parameters->proNumber, 0);
  EXPECT_STREQ(parameters->proName, "Geographic (Lat/Lon)");
  EXPECT_STREQ(parameters->proSpheroid->sphereName, "WGS 84");
  EXPECT_EQ(parameters->proSpheroid->a, 6378137.0);
  EXPECT_STREQ(parameters->proSpheroid->datum.datumName, "WGS 84");
  EXPECT_STREQ(units, "degrees");
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->spheroidName, "WGS 84");
  EXPECT_STREQ(info->datumName, "WGS 84");
  EXPECT_STREQ(info->units, "meters");
  EXPECT_STREQ(info->elevationType, "height");
  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  hprj_ElevationInfoFree(&info);
}

TEST_F(InternalCoordinateSystem, EveryCallGivesIndependentObjects) {
  Hprj_Projection* first = nullptr;
  Hprj_Projection* second = nullptr;
  char* firstUnits = nullptr;
  char* secondUnits = nullptr;
  Hprj_ElevationInfo* firstInfo = nullptr;
  Hprj_ElevationInfo* secondInfo = nullptr;
  smod_InternalProjectionAndElevInfoGet(&first, &firstUnits, &firstInfo, nullptr);
  smod_InternalProjectionAndElevInfoGet(&second, &secondUnits, &secondInfo, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_NE(firstUnits, secondUnits);
  EXPECT_NE(firstInfo, secondInfo);
  hprj_ProjectionFree(&first);
  hmsc_HeapFree(firstUnits);
  hprj_ElevationInfoFree(&firstInfo);

  double longitude = 0, latitude = 0;
  ErrorReport* err = nullptr;
  EXPECT_EQ(hprj_ProjectionToGeographic(second, -71.5, 42.25, &longitude, &latitude, &err), 0);
  EXPECT_DOUBLE_EQ(longitude, -71.5);
  EXPECT_DOUBLE_EQ(latitude, 42.25);
  EXPECT_STREQ(secondUnits, "degrees");
  EXPECT_STREQ(secondInfo->units, "meters");
  hprj_ProjectionFree(&second);
  hmsc_HeapFree(secondUnits);
  hprj_ElevationInfoFree(&secondInfo);
}

TEST_F(InternalCoordinateSystem, ExhaustedHeapGivesNullsAndLeavesNothing) {
  long before = hmsc_HeapLiveBlocks();
  for (long n = 0;; ++n) {
    Hprj_Projection* projection = nullptr;
    char* units = nullptr;
    Hprj_ElevationInfo* info = nullptr;
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    smod_InternalProjectionAndElevInfoGet(&projection, &units, &info, &err);
    hmsc_HeapFailAfter(-1);
    if (!err) {
      ASSERT_NE(projection, nullptr);
      ASSERT_NE(units, nullptr);
      ASSERT_NE(info, nullptr);
      hprj_ProjectionFree(&projection);
      hmsc_HeapFree(units);
      hprj_ElevationInfoFree(&info);
      break;
    }
    EXPECT_EQ(projection, nullptr);
    EXPECT_EQ(units, nullptr);
    EXPECT_EQ(info, nullptr);
    herr_DeleteErrorReportEx(&err);
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
}

TEST_F(InternalCoordinateSystem, MissingResultPointerIsReported) {
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
  ErrorReport* err = nullptr;
  smod_InternalProjectionAndElevInfoGet(nullptr, &units, &info, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "hpsi_InternalProjectionAndElevInfoGet");
  EXPECT_EQ(units, nullptr);
  herr_DeleteErrorReportEx(&err);
}

}  // namespace
