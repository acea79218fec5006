// Two- and three-variable polynomials, the first-order fit and geocentric conversion.
#include <cmath>

#include <gtest/gtest.h>

#include "hostmodel.h"
#include "hostphoto.h"

namespace {

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84E2 = 0.00669437999014132;

TEST(PolyCalc, TermsRunByDegreeThenFallingPowerOfX) {
  const double x = 1.7;
  const double y = -0.6;
  // Order 3: 1, x, y, x², xy, y², x³, x²y, xy², y³.
  const double expected[10] = {1, x, y, x * x, x * y, y * y, x * x * x, x * x * y, x * y * y,
                               y * y * y};
  for (int term = 0; term < 10; ++term) {
    double c[10] = {};
    c[term] = 1.0;
    EXPECT_DOUBLE_EQ(hmod_PolyCalc(c, 3, x, y), expected[term]) << "term " << term;
  }
  double c66[66];
  for (int i = 0; i < 66; ++i) c66[i] = 0.0;
  c66[65] = 2.0;  // y^10, last term of order 10
  EXPECT_DOUBLE_EQ(hmod_PolyCalc(c66, 10, x, y), 2.0 * std::pow(y, 10));
}

TEST(RationalFunctionTerms, OrderTwoAndOne) {
  const double x = 0.3, y = -1.1, z = 2.5;
  const double expected[10] = {1, x, y, z, x * x, x * y, x * z, y * y, y * z, z * z};
  for (int term = 0; term < 10; ++term) {
    double c[10] = {};
    c[term] = 1.0;
    EXPECT_DOUBLE_EQ(hpho_RationalFunctionGetPolyValueDirect(c, x, y, z, 2), expected[term]);
    if (term < 4) {
      EXPECT_DOUBLE_EQ(hpho_RationalFunctionGetPolyValueDirect(c, x, y, z, 1), expected[term]);
    }
  }
  const double c[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_TRUE(std::isnan(hpho_RationalFunctionGetPolyValueDirect(c, x, y, z, 3)));
  EXPECT_TRUE(std::isnan(hpho_RationalFunctionGetPolyValueDirect(nullptr, x, y, z, 2)));
}

// Fits and checks that hmod_PolyCalc of order 1 reproduces destination points.
void ExpectFitReproduces(const double* sx, const double* sy, const double* dx, const double* dy,
                         int n, double tolerance) {
  double xc[3], yc[3];
  ASSERT_EQ(hdom_GetAffine(sx, sy, dx, dy, n, xc, yc), 0);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(std::isfinite(xc[i]) && std::isfinite(yc[i]));
  }
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(hmod_PolyCalc(xc, 1, sx[i], sy[i]), dx[i], tolerance) << i;
    EXPECT_NEAR(hmod_PolyCalc(yc, 1, sx[i], sy[i]), dy[i], tolerance) << i;
  }
}

TEST(GetAffine, ExactOnAffineDataFarFromTheOrigin) {
  // Image corners mapped to UTM-sized coordinates: conditioning matters.
  const double sx[5] = {0, 30000, 30000, 0, 15000};
  const double sy[5] = {0, 0, 20000, 20000, 10000};
  double dx[5], dy[5];
  for (int i = 0; i < 5; ++i) {
    dx[i] = 512345.25 + 0.5 * sx[i] - 0.01 * sy[i];
    dy[i] = 4123456.5 + 0.02 * sx[i] - 0.5 * sy[i];
  }
  double xc[3], yc[3];
  ASSERT_EQ(hdom_GetAffine(sx, sy, dx, dy, 5, xc, yc), 0);
  EXPECT_NEAR(xc[0], 512345.25, 1e-6);
  EXPECT_NEAR(xc[1], 0.5, 1e-12);
  EXPECT_NEAR(xc[2], -0.01, 1e-12);
  EXPECT_NEAR(yc[0], 4123456.5, 1e-6);
  EXPECT_NEAR(yc[1], 0.02, 1e-12);
  EXPECT_NEAR(yc[2], -0.5, 1e-12);
}

TEST(GetAffine, DegenerateCountsStayFinite) {
  double xc[3] = {7, 7, 7}, yc[3] = {7, 7, 7};
  ASSERT_EQ(hdom_GetAffine(nullptr, nullptr, nullptr, nullptr, 0, xc, yc), 0);
  EXPECT_EQ(xc[0], 0); EXPECT_EQ(xc[1], 1); EXPECT_EQ(xc[2], 0);
  EXPECT_EQ(yc[0], 0); EXPECT_EQ(yc[1], 0); EXPECT_EQ(yc[2], 1);

  // One point, and several at one place: a shift.
  const double one[3] = {10.1, 10.1, 10.1}, two[3] = {-3.3, -3.3, -3.3};
  const double d1[3] = {100.0, 100.0, 100.0}, d2[3] = {50.0, 50.0, 50.0};
  for (int n : {1, 3}) {
    ASSERT_EQ(hdom_GetAffine(one, two, d1, d2, n, xc, yc), 0);
    EXPECT_DOUBLE_EQ(xc[1], 1.0);
    EXPECT_DOUBLE_EQ(yc[2], 1.0);
    EXPECT_NEAR(hmod_PolyCalc(xc, 1, 10.1, -3.3), 100.0, 1e-9);
    EXPECT_NEAR(hmod_PolyCalc(yc, 1, 10.1, -3.3), 50.0, 1e-9);
  }

  // Two points and collinear points: exact along the line, no change across it.
  const double sx[4] = {0, 1, 2, 3}, sy[4] = {0, 2, 4, 6};
  const double dx[4] = {5, 7, 9, 11}, dy[4] = {1, 0, -1, -2};
  ExpectFitReproduces(sx, sy, dx, dy, 2, 1e-12);
  ExpectFitReproduces(sx, sy, dx, dy, 4, 1e-12);
  ASSERT_EQ(hdom_GetAffine(sx, sy, dx, dy, 4, xc, yc), 0);
  // (2, -1) is across the line of direction (1, 2).
  EXPECT_NEAR(2 * xc[1] - xc[2], 0.0, 1e-12);
  EXPECT_NEAR(2 * yc[1] - yc[2], 0.0, 1e-12);
}

TEST(GetAffine, PointsThatAreNotFiniteAreLeftOut) {
  const double sx[4] = {0, NAN, 1, 0}, sy[4] = {0, 0, 0, 1};
  const double dx[4] = {3, 3, 5, 3}, dy[4] = {1, 1, 1, INFINITY};
  double xc[3], yc[3];
  ASSERT_EQ(hdom_GetAffine(sx, sy, dx, dy, 4, xc, yc), 0);
  // What is left is the pair (0, 0) -> (3, 1) and (1, 0) -> (5, 1).
  EXPECT_NEAR(xc[0], 3, 1e-12); EXPECT_NEAR(xc[1], 2, 1e-12); EXPECT_NEAR(xc[2], 0, 1e-12);
  EXPECT_NEAR(yc[0], 1, 1e-12); EXPECT_NEAR(yc[1], 0, 1e-12); EXPECT_NEAR(yc[2], 0, 1e-12);
}

TEST(GetAffine, NullListWithPointsIsRefused) {
  const double s[2] = {1, 2};
  double xc[3], yc[3];
  EXPECT_EQ(hdom_GetAffine(s, nullptr, s, s, 2, xc, yc), -1);
  EXPECT_EQ(xc[1], 1.0);
  EXPECT_EQ(yc[2], 1.0);
}

TEST(Geocentric, KnownPoints) {
  const double b = kWgs84A * std::sqrt(1 - kWgs84E2);
  double x, y, z;
  ASSERT_EQ(hmod_GeographicToGeocentric(0, 0, 0, &x, &y, &z, kWgs84E2, kWgs84A), 0);
  EXPECT_NEAR(x, kWgs84A, 1e-6); EXPECT_NEAR(y, 0, 1e-6); EXPECT_NEAR(z, 0, 1e-6);
  ASSERT_EQ(hmod_GeographicToGeocentric(M_PI / 2, 0, 100, &x, &y, &z, kWgs84E2, kWgs84A), 0);
  EXPECT_NEAR(x, 0, 1e-6); EXPECT_NEAR(y, kWgs84A + 100, 1e-6);
  ASSERT_EQ(hmod_GeographicToGeocentric(0.3, -M_PI / 2, 0, &x, &y, &z, kWgs84E2, kWgs84A), 0);
  EXPECT_NEAR(z, -b, 1e-6); EXPECT_NEAR(std::hypot(x, y), 0, 1e-6);

  double lon, lat, h;
  ASSERT_EQ(hmod_GeocentricToGeographic(0, 0, b + 5, &lon, &lat, &h, kWgs84E2, kWgs84A), 0);
  EXPECT_NEAR(lat, M_PI / 2, 1e-12);
  EXPECT_NEAR(h, 5, 1e-6);
  ASSERT_EQ(hmod_GeocentricToGeographic(-kWgs84A, 0, 0, &lon, &lat, &h, kWgs84E2, kWgs84A), 0);
  EXPECT_DOUBLE_EQ(lon, M_PI);  // the antimeridian comes out as +pi
}

TEST(Geocentric, RoundTripsWellUnderAMillimetre) {
  const double lons[] = {-3.1, -1.0, 0.0, 0.7, 3.14159};
  const double lats[] = {-1.5707963, -0.8, 0.0, 0.45, 1.3, 1.5707963};
  const double heights[] = {-420.0, 0.0, 8848.0, 35786000.0};
  for (double e2 : {kWgs84E2, 0.0}) {
    for (double lon : lons) {
      for (double lat : lats) {
        for (double h : heights) {
          double x, y, z, lon2, lat2, h2;
          ASSERT_EQ(hmod_GeographicToGeocentric(lon, lat, h, &x, &y, &z, e2, kWgs84A), 0);
          ASSERT_EQ(hmod_GeocentricToGeographic(x, y, z, &lon2, &lat2, &h2, e2, kWgs84A), 0);
          double x2, y2, z2;
          ASSERT_EQ(hmod_GeographicToGeocentric(lon2, lat2, h2, &x2, &y2, &z2, e2, kWgs84A), 0);
          EXPECT_NEAR(std::hypot(std::hypot(x - x2, y - y2), z - z2), 0.0, 1e-5);
          EXPECT_NEAR(h2, h, 1e-5);
          EXPECT_NEAR(lat2, lat, 1e-12);
        }
      }
    }
  }
}

TEST(Geocentric, BadSpheroidLeavesOutputsAlone) {
  double x = 1, y = 2, z = 3;
  EXPECT_EQ(hmod_GeographicToGeocentric(0, 0, 0, &x, &y, &z, kWgs84E2, 0.0), -1);
  EXPECT_EQ(hmod_GeographicToGeocentric(0, 0, 0, &x, &y, &z, 1.0, kWgs84A), -1);
  EXPECT_EQ(hmod_GeographicToGeocentric(0, 0, 0, &x, &y, &z, -0.1, kWgs84A), -1);
  EXPECT_EQ(hmod_GeocentricToGeographic(1, 1, 1, &x, &y, &z, NAN, kWgs84A), -1);
  EXPECT_EQ(x, 1); EXPECT_EQ(y, 2); EXPECT_EQ(z, 3);
}

}  // namespace
