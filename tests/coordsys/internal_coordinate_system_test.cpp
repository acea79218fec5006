// The library's fixed internal coordinate system.
#include <gtest/gtest.h>

#include "persist/persist_fixture.h"

namespace {

using Internal = persist_test::InternalSystem;

using InternalCoordinateSystem = persist_test::HeapBalance;

TEST_F(InternalCoordinateSystem, IsGeographicWgs84InDegreesWithHeightsInMeters) {
  auto* first = new Internal();
  Internal second;
  ASSERT_NE(second.projection, nullptr);
  EXPECT_NE(first->projection, second.projection);
  EXPECT_NE(first->units, second.units);
  EXPECT_NE(first->info, second.info);
  delete first;  // the other call's objects stay usable

  auto* parameters = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(second.projection, "Hprj_ProParameters"));
  EXPECT_EQ(parameters->proType, 0);
  EXPECT_EQ(parameters->proNumber, 0);
  EXPECT_STREQ(parameters->proName, "Geographic (Lat/Lon)");
  EXPECT_EQ(parameters->proSpheroid->a, 6378137.0);
  EXPECT_STREQ(parameters->proSpheroid->datum.datumName, "WGS 84");
  double longitude = 0, latitude = 0;
  EXPECT_EQ(hprj_ProjectionToGeographic(second.projection, -71.5, 42.25, &longitude, &latitude,
                                        nullptr),
            0);
  EXPECT_DOUBLE_EQ(longitude, -71.5);
  EXPECT_STREQ(second.units, "degrees");
  EXPECT_STREQ(second.info->spheroidName, "WGS 84");
  EXPECT_STREQ(second.info->datumName, "WGS 84");
  EXPECT_STREQ(second.info->units, "meters");
  EXPECT_STREQ(second.info->elevationType, "height");
}

TEST_F(InternalCoordinateSystem, FailuresGiveNullsAndLeaveNothing) {
  persist_test::sweepHeap([](long) {
    ErrorReport* err = nullptr;
    Internal got(&err);
    bool done = err == nullptr;
    EXPECT_EQ(done, got.projection && got.units && got.info);
    EXPECT_EQ(done, got.projection != nullptr || got.units != nullptr);
    herr_DeleteErrorReportEx(&err);
    return done;
  });
  ErrorReport* err = nullptr;
  smod_InternalProjectionAndElevInfoGet(nullptr, nullptr, nullptr, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "hpsi_InternalProjectionAndElevInfoGet");
  herr_DeleteErrorReportEx(&err);
}

}  // namespace
