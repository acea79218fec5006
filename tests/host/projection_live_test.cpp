// Live projections: known UTM coordinates, axis order, definitions, bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hostcore.h"
#include "support/heap_check.h"

namespace {

Hprj_ProParameters* MakeParameters(int type, int zone, const char* spheroid, const char* datum) {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = type;
  parameters->proZone = zone;
  hprj_SpheroidByName(hint_GetInit(), spheroid, parameters->proSpheroid, nullptr);
  if (datum) {
    hprj_DatumByName(hint_GetInit(), datum, spheroid, &parameters->proSpheroid->datum, nullptr);
  }
  return parameters;
}

Hprj_Projection* MakeProjection(int type, int zone, const char* spheroid = "WGS 84",
                                const char* datum = "WGS 84") {
  Hprj_ProParameters* parameters = MakeParameters(type, zone, spheroid, datum);
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  hprj_ProParametersFree(&parameters);
  return projection;
}

class ProjectionLive : public HeapCheckedTest {
 protected:
  // Projects (lon, lat), compares with the expected map point (to 1 mm) and projects back.
  static void ExpectRoundTrip(const Hprj_Projection* projection, double longitude,
                              double latitude, double x, double y) {
    double mapX = 0, mapY = 0, backLongitude = 0, backLatitude = 0;
    ASSERT_EQ(hprj_ProjectionFromGeographic(projection, longitude, latitude, &mapX, &mapY,
                                            nullptr),
              0);
    EXPECT_NEAR(mapX, x, 1e-3);
    EXPECT_NEAR(mapY, y, 1e-3);
    ASSERT_EQ(hprj_ProjectionToGeographic(projection, mapX, mapY, &backLongitude, &backLatitude,
                                          nullptr),
              0);
    EXPECT_NEAR(backLongitude, longitude, 1e-9);
    EXPECT_NEAR(backLatitude, latitude, 1e-9);
  }
};

// Expected values come from an independent evaluation of Krueger's series on WGS 84.
TEST_F(ProjectionLive, UtmMatchesKnownCoordinatesNorthAndSouth) {
  Hprj_Projection* north = MakeProjection(1, 11);
  ASSERT_NE(north, nullptr);
  EXPECT_FALSE(hprj_ProjectionIsGeographic(north));
  ExpectRoundTrip(north, -117.0, 33.0, 500000.0, 3651286.9440);
  ExpectRoundTrip(north, -116.0, 34.0, 592349.6033, 3762606.6599);
  Hprj_Projection* south = MakeProjection(1, -55);
  ASSERT_NE(south, nullptr);
  ExpectRoundTrip(south, 147.0, -42.0, 500000.0, 5350223.7752);
  ExpectRoundTrip(south, 149.5, -35.3, 727317.5466, 6090820.4118);
  hprj_ProjectionFree(&north);
  hprj_ProjectionFree(&south);
}

TEST_F(ProjectionLive, ConversionIsOnTheProjectionsOwnSpheroid) {
  Hprj_Projection* wgs = MakeProjection(1, 11);
  Hprj_Projection* nad27 = MakeProjection(1, 11, "Clarke 1866", "North American 1927");
  // A spheroid with no datum of the table still makes a projection on its own axes.
  Hprj_Projection* bessel = MakeProjection(1, 11, "Bessel 1841", nullptr);
  ASSERT_NE(wgs, nullptr);
  ASSERT_NE(nad27, nullptr);
  ASSERT_NE(bessel, nullptr);
  double x1, y1, x2, y2, x3, y3;
  ASSERT_EQ(hprj_ProjectionFromGeographic(wgs, -117.0, 33.0, &x1, &y1, nullptr), 0);
  ASSERT_EQ(hprj_ProjectionFromGeographic(nad27, -117.0, 33.0, &x2, &y2, nullptr), 0);
  ASSERT_EQ(hprj_ProjectionFromGeographic(bessel, -117.0, 33.0, &x3, &y3, nullptr), 0);
  EXPECT_NEAR(x2, 500000.0, 1e-6);
  EXPECT_GT(std::fabs(y2 - y1), 10.0);
  EXPECT_GT(std::fabs(y3 - y1), 10.0);
  EXPECT_GT(std::fabs(y3 - y2), 10.0);
  for (Hprj_Projection* p : {wgs, nad27, bessel}) hprj_ProjectionFree(&p);
}

TEST_F(ProjectionLive, GeographicAxesAreLongitudeThenLatitude) {
  Hprj_Projection* fromParameters = MakeProjection(0, 0);
  ErrorReport* err = nullptr;
  Hprj_Projection* fromCode = hprj_ProjectionFromDefinition("EPSG:4326", &err);
  ASSERT_NE(fromParameters, nullptr);
  ASSERT_NE(fromCode, nullptr);
  for (const Hprj_Projection* projection : {fromParameters, fromCode}) {
    EXPECT_TRUE(hprj_ProjectionIsGeographic(projection));
    double longitude = 0, latitude = 0, x = 0, y = 0;
    ASSERT_EQ(hprj_ProjectionToGeographic(projection, -117.0, 33.0, &longitude, &latitude, &err),
              0);
    EXPECT_EQ(longitude, -117.0);
    EXPECT_EQ(latitude, 33.0);
    ASSERT_EQ(hprj_ProjectionFromGeographic(projection, -117.0, 33.0, &x, &y, &err), 0);
    EXPECT_EQ(x, -117.0);
    EXPECT_EQ(y, 33.0);
  }
  // The WKT describes the axes in that order too.
  Hprj_Projection* again = hprj_ProjectionFromDefinition(hprj_ProjectionWkt(fromCode), &err);
  ASSERT_NE(again, nullptr);
  const std::string wkt = hprj_ProjectionWkt(again);
  EXPECT_LT(wkt.find("longitude"), wkt.find("latitude"));
  EXPECT_EQ(err, nullptr);
  for (Hprj_Projection* p : {fromParameters, fromCode, again}) hprj_ProjectionFree(&p);
}

TEST_F(ProjectionLive, ParametersAreCopiedAndDefinitionsHaveNone) {
  Hprj_ProParameters* parameters = MakeParameters(1, 11, "WGS 84", "WGS 84");
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  ASSERT_NE(projection, nullptr);
  const auto* held = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
  ASSERT_NE(held, nullptr);
  EXPECT_NE(held, parameters);
  EXPECT_TRUE(hprj_ProParametersEqual(held, parameters, nullptr));
  hprj_ProParametersFree(&parameters);
  EXPECT_EQ(held->proZone, 11);
  EXPECT_EQ(hprj_MapProjectionCSRGet(projection, "Other"), nullptr);

  // The same CRS through its WKT and through its code.
  Hprj_Projection* fromWkt = hprj_ProjectionFromDefinition(hprj_ProjectionWkt(projection), nullptr);
  Hprj_Projection* fromCode = hprj_ProjectionFromDefinition("EPSG:32611", nullptr);
  ASSERT_NE(fromWkt, nullptr);
  ASSERT_NE(fromCode, nullptr);
  for (const Hprj_Projection* p : {fromWkt, fromCode}) {
    EXPECT_EQ(hprj_MapProjectionCSRGet(p, "Hprj_ProParameters"), nullptr);
    ExpectRoundTrip(p, -116.0, 34.0, 592349.6033, 3762606.6599);
  }
  for (Hprj_Projection* p : {projection, fromWkt, fromCode}) hprj_ProjectionFree(&p);
}

TEST_F(ProjectionLive, BadInputIsReportedAndPrintsNothing) {
  testing::internal::CaptureStderr();
  ErrorReport* err = nullptr;
  EXPECT_EQ(hprj_ProjectionInit(hint_GetInit(), nullptr, &err), nullptr);
  Hprj_ProParameters* parameters = MakeParameters(7, 0, "WGS 84", "WGS 84");
  EXPECT_EQ(hprj_ProjectionInit(hint_GetInit(), parameters, &err), nullptr);
  parameters->proType = 1;
  for (int zone : {0, 61, -61}) {
    parameters->proZone = zone;
    EXPECT_EQ(hprj_ProjectionInit(hint_GetInit(), parameters, &err), nullptr);
  }
  // UTM is not made on a sphere, and a spheroid that was never filled has no axes at all.
  parameters->proZone = 11;
  hprj_SpheroidByName(hint_GetInit(), "Sphere", parameters->proSpheroid, nullptr);
  EXPECT_EQ(hprj_ProjectionInit(hint_GetInit(), parameters, &err), nullptr);
  parameters->proType = 0;
  std::memset(parameters->proSpheroid, 0, sizeof(Hprj_Spheroid));
  EXPECT_EQ(hprj_ProjectionInit(hint_GetInit(), parameters, &err), nullptr);
  hprj_ProParametersFree(&parameters);

  for (const char* definition : {"", "nonsense", "EPSG:999999", "+proj=utm +zone=11",
                                 "EPSG:4978", "EPSG:4807", "EPSG:27572"}) {
    EXPECT_EQ(hprj_ProjectionFromDefinition(definition, &err), nullptr) << definition;
  }
  EXPECT_EQ(hprj_ProjectionFromDefinition(nullptr, &err), nullptr);

  Hprj_Projection* utm = MakeProjection(1, 11);
  double x = 0, y = 0;
  EXPECT_EQ(hprj_ProjectionFromGeographic(utm, NAN, 33.0, &x, &y, &err), -1);
  EXPECT_EQ(hprj_ProjectionToGeographic(utm, 1e300, 0.0, &x, &y, &err), -1);
  EXPECT_EQ(hprj_ProjectionToGeographic(nullptr, 0.0, 0.0, &x, &y, &err), -1);
  EXPECT_EQ(x, 0.0);
  hprj_ProjectionFree(&utm);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  int reports = 0;
  for (const ErrorReport* r = err; r; r = herr_ErrorReportPrevious(r)) ++reports;
  EXPECT_EQ(reports, 18);
  herr_DeleteErrorReportEx(&err);
}

// Projections made and used on several threads at once, one of them shared by all.
TEST_F(ProjectionLive, ThreadsMakeAndUseProjectionsAtOnce) {
  Hprj_Projection* shared = MakeProjection(1, 11);
  ASSERT_NE(shared, nullptr);
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      Hprj_Projection* own = MakeProjection(1, 11 + t);
      for (int i = 0; i < 200 && own; ++i) {
        const double longitude = 6.0 * (11 + t) - 183.0;
        double x = 0, y = 0, sharedX = 0, sharedY = 0;
        failures[t] += hprj_ProjectionFromGeographic(own, longitude, 33.0, &x, &y, nullptr) != 0 ||
                       std::fabs(x - 500000.0) > 1e-6 || std::fabs(y - 3651286.9440) > 1e-3;
        failures[t] += hprj_ProjectionFromGeographic(shared, -116.0, 34.0, &sharedX, &sharedY,
                                                     nullptr) != 0 ||
                       std::fabs(sharedX - 592349.6033) > 1e-3;
      }
      failures[t] += own == nullptr;
      hprj_ProjectionFree(&own);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  hprj_ProjectionFree(&shared);
}

TEST_F(ProjectionLive, ExhaustedHeapFailsCleanly) {
  Hprj_ProParameters* parameters = MakeParameters(1, 11, "WGS 84", "WGS 84");
  bool made = false;
  for (long allowance = 0; !made; ++allowance) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(allowance);
    Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, &err);
    hmsc_HeapFailAfter(-1);
    made = projection != nullptr;
    EXPECT_EQ(made, err == nullptr);
    herr_DeleteErrorReportEx(&err);
    hprj_ProjectionFree(&projection);
  }
  hprj_ProParametersFree(&parameters);
}

}  // namespace
