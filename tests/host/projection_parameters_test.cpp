// Projection parameters, the spheroid and datum tables.
#include <gtest/gtest.h>

#include <cstring>

#include "hostcore.h"
#include "support/heap_check.h"

namespace {

using ProjectionParameters = HeapCheckedTest;

TEST_F(ProjectionParameters, SpheroidsFollowFromAxisAndFlattening) {
  Hprj_Spheroid spheroid{};
  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "wgs 84", &spheroid, nullptr), 0);
  EXPECT_STREQ(spheroid.sphereName, "WGS 84");
  EXPECT_EQ(spheroid.a, 6378137.0);
  EXPECT_NEAR(spheroid.b, 6356752.314245, 1e-6);
  EXPECT_NEAR(spheroid.eSquared, 0.00669437999014, 1e-14);
  EXPECT_NEAR(spheroid.radius, 6371007.1809, 1e-4);
  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "Clarke 1866", &spheroid, nullptr), 0);
  EXPECT_EQ(spheroid.b, 6356583.8);
  EXPECT_NEAR(spheroid.eSquared, 0.006768657997, 1e-12);
  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "Sphere", &spheroid, nullptr), 0);
  EXPECT_EQ(spheroid.b, 6370997.0);
  EXPECT_EQ(spheroid.radius, 6370997.0);
  EXPECT_EQ(spheroid.eSquared, 0.0);
}

TEST_F(ProjectionParameters, LookupsRejectUnknownNamesAndLeaveRecordsAlone) {
  Hprj_Spheroid spheroid{};
  ErrorReport* err = nullptr;
  EXPECT_EQ(hprj_SpheroidByName(hint_GetInit(), "Mars 2000", &spheroid, &err), -1);
  EXPECT_EQ(spheroid.a, 0.0);

  Hprj_Datum datum{};
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "european 1950", "INTERNATIONAL 1909", &datum, &err),
            0);
  EXPECT_STREQ(datum.datumName, "European 1950");
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "North American 1983", "WGS 84", &datum, &err), -1);
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "Atlantis", "WGS 84", &datum, &err), -1);
  EXPECT_STREQ(datum.datumName, "European 1950");
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Unknown datum \"Atlantis\".");
  int reports = 0;
  for (const ErrorReport* r = err; r; r = herr_ErrorReportPrevious(r)) ++reports;
  EXPECT_EQ(reports, 3);
  herr_DeleteErrorReportEx(&err);
}

TEST_F(ProjectionParameters, CopiesAreDeepAndEqualityCoversEveryField) {
  Hprj_ProParameters* original = hprj_ProParametersCreate(nullptr);
  original->proType = 1;
  original->proZone = 11;
  hprj_CharStrCreate("UTM", &original->proName, nullptr);
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", original->proSpheroid, nullptr);
  hprj_DatumByName(hint_GetInit(), "WGS 84", "WGS 84", &original->proSpheroid->datum, nullptr);

  // Copying into an existing record replaces its name and keeps its spheroid block.
  Hprj_ProParameters* copy = hprj_ProParametersCreate(nullptr);
  hprj_CharStrCreate("old", &copy->proName, nullptr);
  Hprj_Spheroid* spheroid = copy->proSpheroid;
  EXPECT_EQ(hprj_ProParametersCopy(original, copy, nullptr), copy);
  EXPECT_EQ(copy->proSpheroid, spheroid);
  EXPECT_NE(copy->proName, original->proName);
  hprj_CharStrCreate("utm", &copy->proName, nullptr);
  EXPECT_TRUE(hprj_ProParametersEqual(original, copy, nullptr));
  EXPECT_STREQ(original->proName, "UTM");

  // Each field on its own makes a difference.
  const auto differs = [&](void (*change)(Hprj_ProParameters*)) {
    hprj_ProParametersCopy(original, copy, nullptr);
    change(copy);
    return !hprj_ProParametersEqual(original, copy, nullptr);
  };
  EXPECT_TRUE(differs([](Hprj_ProParameters* p) { p->proZone = -11; }));
  EXPECT_TRUE(differs([](Hprj_ProParameters* p) { p->proParams[14] = 1e-300; }));
  EXPECT_TRUE(differs([](Hprj_ProParameters* p) { p->proSpheroid->a += 1e-6; }));
  EXPECT_TRUE(differs(
      [](Hprj_ProParameters* p) { std::strcpy(p->proSpheroid->datum.datumName, "WGS 72"); }));
  EXPECT_TRUE(differs([](Hprj_ProParameters* p) { hprj_CharStrCreate(nullptr, &p->proName, 0); }));

  ErrorReport* err = nullptr;
  EXPECT_FALSE(hprj_ProParametersEqual(original, nullptr, &err));
  EXPECT_NE(err, nullptr);
  herr_DeleteErrorReportEx(&err);
  hprj_ProParametersFree(&original);
  hprj_ProParametersFree(&copy);
  EXPECT_EQ(copy, nullptr);
}

TEST_F(ProjectionParameters, ExhaustedHeapLeavesNothingBehindAndDestinationAlone) {
  Hprj_ProParameters* original = hprj_ProParametersCreate(nullptr);
  hprj_CharStrCreate("Geographic", &original->proName, nullptr);
  for (long allowance = 0; allowance < 3; ++allowance) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(allowance);
    Hprj_ProParameters* copy = hprj_ProParametersCopy(original, nullptr, &err);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(copy == nullptr, err != nullptr);
    hprj_ProParametersFree(&copy);
    herr_DeleteErrorReportEx(&err);
  }
  Hprj_ProParameters* destination = hprj_ProParametersCreate(nullptr);
  destination->proZone = 5;
  hprj_CharStrCreate("kept", &destination->proName, nullptr);
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(hprj_ProParametersCopy(original, destination, nullptr), nullptr);
  EXPECT_EQ(hprj_CharStrCreate("new", &destination->proName, nullptr), -1);
  hmsc_HeapFailAfter(-1);
  EXPECT_STREQ(destination->proName, "kept");
  EXPECT_EQ(destination->proZone, 5);
  hprj_ProParametersFree(&original);
  hprj_ProParametersFree(&destination);
}

}  // namespace
