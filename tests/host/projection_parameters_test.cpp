// Projection parameters, the spheroid and datum tables.
#include <gtest/gtest.h>

#include <cstring>

#include "hostcore.h"

namespace {

class ProjectionParameters : public ::testing::Test {
 protected:
  void SetUp() override { start_ = hmsc_HeapLiveBlocks(); }
  void TearDown() override {
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), start_);
  }

  // UTM zone 11 north on WGS 84, named.
  static Hprj_ProParameters* Utm11() {
    Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
    parameters->proType = 1;
    parameters->proZone = 11;
    parameters->proParams[3] = 0.5;
    hprj_CharStrCreate("UTM", &parameters->proName, nullptr);
    hprj_SpheroidByName(hint_GetInit(), "WGS 84", parameters->proSpheroid, nullptr);
    hprj_DatumByName(hint_GetInit(), "WGS 84", "WGS 84", &parameters->proSpheroid->datum, nullptr);
    return parameters;
  }
  long start_ = 0;
};

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

  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "GRS 1980", &spheroid, nullptr), 0);
  EXPECT_NEAR(spheroid.b, 6356752.314140, 1e-6);
  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "International 1909", &spheroid, nullptr), 0);
  EXPECT_NEAR(spheroid.b, 6356911.946128, 1e-6);

  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "Sphere", &spheroid, nullptr), 0);
  EXPECT_EQ(spheroid.a, 6370997.0);
  EXPECT_EQ(spheroid.b, 6370997.0);
  EXPECT_EQ(spheroid.radius, 6370997.0);
  EXPECT_EQ(spheroid.eSquared, 0.0);
}

TEST_F(ProjectionParameters, LookupsRejectUnknownNamesAndLeaveRecordsAlone) {
  Hprj_Spheroid spheroid{};
  std::strcpy(spheroid.datum.datumName, "kept");
  ErrorReport* err = nullptr;
  EXPECT_EQ(hprj_SpheroidByName(hint_GetInit(), "Mars 2000", &spheroid, &err), -1);
  EXPECT_EQ(hprj_SpheroidByName(hint_GetInit(), nullptr, &spheroid, &err), -1);
  EXPECT_EQ(hprj_SpheroidByName(hint_GetInit(), "WGS 84", nullptr, &err), -1);
  EXPECT_EQ(spheroid.a, 0.0);
  ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "Clarke 1866", &spheroid, &err), 0);
  EXPECT_STREQ(spheroid.datum.datumName, "kept");

  Hprj_Datum datum{};
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "North American 1927", "Clarke 1866", &datum, &err),
            0);
  EXPECT_STREQ(datum.datumName, "North American 1927");
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "european 1950", "INTERNATIONAL 1909", &datum, &err),
            0);
  EXPECT_STREQ(datum.datumName, "European 1950");
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "North American 1983", "WGS 84", &datum, &err), -1);
  EXPECT_EQ(hprj_DatumByName(hint_GetInit(), "Atlantis", "WGS 84", &datum, &err), -1);
  EXPECT_STREQ(datum.datumName, "European 1950");

  int reports = 0;
  for (const ErrorReport* r = err; r; r = herr_ErrorReportPrevious(r)) ++reports;
  EXPECT_EQ(reports, 5);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Unknown datum \"Atlantis\".");
  herr_DeleteErrorReportEx(&err);
}

TEST_F(ProjectionParameters, CopiesAreDeepAndEqualityCoversEveryField) {
  Hprj_ProParameters* original = Utm11();
  Hprj_ProParameters* copy = hprj_ProParametersCopy(original, nullptr, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->proName, original->proName);
  EXPECT_NE(copy->proSpheroid, original->proSpheroid);
  EXPECT_TRUE(hprj_ProParametersEqual(original, copy, nullptr));
  hprj_CharStrCreate("utm", &copy->proName, nullptr);
  EXPECT_TRUE(hprj_ProParametersEqual(original, copy, nullptr));
  EXPECT_STREQ(original->proName, "UTM");

  // Copying into an existing record replaces its name and keeps its spheroid block.
  Hprj_ProParameters* other = hprj_ProParametersCreate(nullptr);
  hprj_CharStrCreate("old", &other->proName, nullptr);
  Hprj_Spheroid* spheroid = other->proSpheroid;
  EXPECT_EQ(hprj_ProParametersCopy(original, other, nullptr), other);
  EXPECT_EQ(other->proSpheroid, spheroid);
  EXPECT_TRUE(hprj_ProParametersEqual(original, other, nullptr));

  other->proZone = -11;
  EXPECT_FALSE(hprj_ProParametersEqual(original, other, nullptr));
  hprj_ProParametersCopy(original, other, nullptr);
  other->proParams[14] = 1e-300;
  EXPECT_FALSE(hprj_ProParametersEqual(original, other, nullptr));
  hprj_ProParametersCopy(original, other, nullptr);
  other->proSpheroid->a += 1e-6;
  EXPECT_FALSE(hprj_ProParametersEqual(original, other, nullptr));
  hprj_ProParametersCopy(original, other, nullptr);
  std::strcpy(other->proSpheroid->datum.datumName, "WGS 72");
  EXPECT_FALSE(hprj_ProParametersEqual(original, other, nullptr));
  hprj_ProParametersCopy(original, other, nullptr);
  hprj_CharStrCreate(nullptr, &other->proName, nullptr);
  EXPECT_FALSE(hprj_ProParametersEqual(original, other, nullptr));

  ErrorReport* err = nullptr;
  EXPECT_FALSE(hprj_ProParametersEqual(original, nullptr, &err));
  EXPECT_NE(err, nullptr);
  herr_DeleteErrorReportEx(&err);

  for (Hprj_ProParameters* parameters : {original, copy, other}) {
    hprj_ProParametersFree(&parameters);
    EXPECT_EQ(parameters, nullptr);
  }
  hprj_ProParametersFree(nullptr);
}

TEST_F(ProjectionParameters, ExhaustedHeapLeavesNothingBehind) {
  Hprj_ProParameters* original = Utm11();
  Hprj_ProParameters* destination = hprj_ProParametersCreate(nullptr);
  hprj_CharStrCreate("kept", &destination->proName, nullptr);
  for (long allowance = 0; allowance < 3; ++allowance) {
    ErrorReport* err = nullptr;
    const long live = hmsc_HeapLiveBlocks();
    hmsc_HeapFailAfter(allowance);
    Hprj_ProParameters* copy = hprj_ProParametersCopy(original, nullptr, &err);
    hmsc_HeapFailAfter(-1);
    if (copy) {
      EXPECT_EQ(err, nullptr);
      hprj_ProParametersFree(&copy);
    } else {
      EXPECT_NE(err, nullptr);
    }
    herr_DeleteErrorReportEx(&err);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
  }
  hmsc_HeapFailAfter(0);
  EXPECT_EQ(hprj_ProParametersCopy(original, destination, nullptr), nullptr);
  EXPECT_EQ(hprj_CharStrCreate("new", &destination->proName, nullptr), -1);
  hmsc_HeapFailAfter(-1);
  EXPECT_STREQ(destination->proName, "kept");
  EXPECT_EQ(destination->proZone, 0);
  hprj_ProParametersFree(&original);
  hprj_ProParametersFree(&destination);
}

}  // namespace
