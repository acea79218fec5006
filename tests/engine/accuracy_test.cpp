// Adjustable parameters applied to the sample model, and its covariance carried to image and
// ground, checked against hand-computed moves and against Monte-Carlo draws.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "circular_error.h"
#include "engine_test_support.h"
#include "local_frame.h"
#include "parameter_values.h"
#include "point_engine.h"
#include "propagation.h"
#include "senmod/senmod_io.h"

namespace senmod_io {
namespace {

using Kind = AdjustmentTerm::Kind;

// The sample model's ground point under image point (400, 250) at 500 m, inside one section
// (on a seam between sections the two directions take different sections).
constexpr double kSample = 400, kRow = 250, kHeight = 500;

struct Scene {
  double lon, lat;
  LoadedModel model;
};

Scene scene() {
  PointEngine plain(loadModel(enginetest::sampleRsm()));
  double lon, lat, h;
  int status;
  plain.imageToGround(1, &kSample, &kRow, &kHeight, &lon, &lat, &h, nullptr, &status);
  return {lon, lat, loadModel(enginetest::sampleRsm())};
}

// Ground offsets and rotations in the east-north-up frame at (lon, lat, 0), a row offset and a
// sample term in x: parameters 0-5 GXO ... GZR, 6 IRO, 7 ICX.
AdjustableParameters parametersAt(double lon, double lat) {
  AdjustableParameters p;
  p.source = "test";
  const LocalFrame frame = eastNorthUpFrame(lon, lat, 0.0);
  p.origin = frame.origin;
  p.axes = frame.axes;
  for (int g = 0; g < 6; ++g) p.addGroundTerm(static_cast<GroundTerm>(g));
  p.addImageTerm(Kind::Row, {0, 0, 0});
  p.addImageTerm(Kind::Sample, {1, 0, 0});
  return p;
}

void groundToImage(PointEngine& engine, const Vec3& e, double* s, double* r) {
  double lon, lat, h;
  geodeticOf(e, &lon, &lat, &h);
  int status;
  engine.groundToImage(1, &lon, &lat, &h, s, r, nullptr, &status);
  ASSERT_EQ(status, SMOD_POINT_OK);
}

TEST(Adjustment, EachTermMovesThePointAsWrittenAndImageToGroundInvertsIt) {
  Scene sc = scene();
  PointEngine plain(loadModel(enginetest::sampleRsm()));
  // And the scale and one affine term: parameters 8 GS, 9 GXZ.
  AdjustableParameters terms = parametersAt(sc.lon, sc.lat);
  terms.addGroundTerm(GroundTerm::S);
  terms.addGroundTerm(GroundTerm::XZ);
  sc.model.parameters = terms;
  const Vec3 p = geocentricOf(sc.lon, sc.lat, kHeight);
  const auto enu = eastNorthUp(sc.lon, sc.lat);
  auto along = [&](const Vec3& from, int axis, double metres) {
    return Vec3{from[0] + metres * enu[axis][0], from[1] + metres * enu[axis][1],
                from[2] + metres * enu[axis][2]};
  };
  struct Case {
    int parameter;
    double value;
    Vec3 movedTo;  // where the polynomials see the point
    double dSample, dRow;
  };
  // The point lies 500 m up the frame's z axis: a rotation W about x moves it by X × W,
  // (0, 500 w, 0); about y by (-500 w, 0, 0); the scale by (0, 0, 500 s); GXZ by (500 g, 0, 0).
  const Case cases[] = {
      {0, 12.0, along(p, 0, 12.0), 0, 0},
      {2, -30.0, along(p, 2, -30.0), 0, 0},
      {3, 1e-4, along(p, 1, 500 * 1e-4), 0, 0},
      {4, 2e-4, along(p, 0, -500 * 2e-4), 0, 0},
      {6, 0.75, p, 0, 0.75},
      {8, 1e-3, along(p, 2, 500 * 1e-3), 0, 0},
      {9, 2e-3, along(p, 0, 500 * 2e-3), 0, 0},
  };
  for (const Case& c : cases) {
    LoadedModel copy = withParameterValues(sc.model, [&] {
      std::vector<double> v(10, 0.0);
      v[c.parameter] = c.value;
      return v;
    }());
    PointEngine adjusted(std::move(copy));
    double s0, r0, s1, r1;
    groundToImage(plain, c.movedTo, &s0, &r0);
    groundToImage(adjusted, p, &s1, &r1);
    EXPECT_NEAR(s1, s0 + c.dSample, 1e-6) << "parameter " << c.parameter;
    EXPECT_NEAR(r1, r0 + c.dRow, 1e-6) << "parameter " << c.parameter;
  }
  // All at once, with a sample term in x, and back to the ground.
  PointEngine adjusted(withParameterValues(sc.model, {3, -4, 5, 2e-5, -1e-5, 3e-5, 0.4, 1e-3, 2e-4, -3e-4}));
  const Vec3 east = along(p, 0, 200.0);
  double lon, lat, h, s, r;
  geodeticOf(east, &lon, &lat, &h);
  int status;
  adjusted.groundToImage(1, &lon, &lat, &h, &s, &r, nullptr, &status);
  ASSERT_EQ(status, SMOD_POINT_OK);
  double backLon, backLat, backH, residual;
  adjusted.imageToGround(1, &s, &r, &h, &backLon, &backLat, &backH, &residual, &status);
  ASSERT_EQ(status, SMOD_POINT_OK);
  // To the few nanometres that geocentric conversions round to (GeographicLib: 5 nm).
  constexpr double kMetresPerDegree = 111320.0;
  EXPECT_LT(std::hypot((backLon - lon) * std::cos(lat * M_PI / 180.0), backLat - lat) *
                kMetresPerDegree,
            5e-9);
  // The sample term: 1e-3 px per metre east, at 200 m east of the frame's origin.
  PointEngine onlySample(withParameterValues(sc.model, {0, 0, 0, 0, 0, 0, 0, 1e-3, 0, 0}));
  double s2, r2, s3, r3;
  groundToImage(plain, east, &s2, &r2);
  groundToImage(onlySample, east, &s3, &r3);
  EXPECT_NEAR(s3 - s2, 0.2, 1e-6);
  EXPECT_NEAR(r3 - r2, 0.0, 1e-12);
}

TEST(Accuracy, PropagatedCovarianceMatchesMonteCarloDraws) {
  Scene sc = scene();
  AdjustableParameters p = parametersAt(sc.lon, sc.lat);
  // Offsets of metres, rotations of tens of microradians, image terms of tenths of a pixel,
  // some correlated; and an unmodelled error.
  const double sd[8] = {4, 3, 6, 2e-5, 3e-5, 5e-5, 0.3, 2e-4};
  p.covariance.assign(64, 0.0);
  for (int k = 0; k < 8; ++k) p.covariance[9 * k] = sd[k] * sd[k];
  p.covariance[0 * 8 + 4] = p.covariance[4 * 8 + 0] = 0.5 * sd[0] * sd[4];
  p.covariance[2 * 8 + 6] = p.covariance[6 * 8 + 2] = -0.4 * sd[2] * sd[6];
  p.unmodelled = std::array<double, 3>{0.04, 0.01, 0.09};
  sc.model.parameters = p;
  PointEngine engine(withParameterValues(sc.model, std::vector<double>(8, 0.0)));

  const double lon = sc.lon + 0.003, lat = sc.lat - 0.002, h = 700;
  double cov[4];
  int status;
  ASSERT_EQ(imageCovariance(engine, 1, &lon, &lat, &h, cov, &status), 1u);
  double glon, glat, gh, gcov[9], ce90, le90;
  const double heightSigma = 5.0;
  ASSERT_EQ(groundCovariance(engine, 1, &kSample, &kRow, &kHeight, {heightSigma, 0.2}, &glon,
                             &glat, &gh, gcov, &ce90, &le90, &status),
            1u);

  // Draws of the parameters (Cholesky factor of the covariance) and of the unmodelled, image
  // and height errors, each carried through a model with those values.
  constexpr int kDraws = 20000;
  std::vector<double> chol(64, 0.0);
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j <= i; ++j) {
      double s = p.covariance[8 * i + j];
      for (int k = 0; k < j; ++k) s -= chol[8 * i + k] * chol[8 * j + k];
      chol[8 * i + j] = i == j ? std::sqrt(s) : s / chol[8 * j + j];
    }
  }
  std::mt19937_64 random(7);
  std::normal_distribution<double> normal;
  double sum[2] = {}, sum2[3] = {};
  int inside = 0;
  const Vec3 truth = geocentricOf(glon, glat, gh);
  const auto enu = eastNorthUp(glon, glat);
  for (int d = 0; d < kDraws; ++d) {
    std::vector<double> v(8, 0.0);
    double z[8];
    for (double& x : z) x = normal(random);
    for (int i = 0; i < 8; ++i) {
      for (int k = 0; k <= i; ++k) v[i] += chol[8 * i + k] * z[k];
    }
    PointEngine drawn(withParameterValues(sc.model, v));
    double s, r, g[3];
    drawn.groundToImage(1, &lon, &lat, &h, &s, &r, nullptr, &status);
    ASSERT_EQ(status, SMOD_POINT_OK);
    // The unmodelled error: row-row 0.04, row-sample 0.01, sample-sample 0.09.
    const double u1 = normal(random), u2 = normal(random);
    const double dr = 0.2 * u1, ds = 0.05 * u1 + std::sqrt(0.09 - 0.0025) * u2;
    g[0] = s + ds;
    g[1] = r + dr;
    sum[0] += g[0];
    sum[1] += g[1];
    sum2[0] += g[0] * g[0];
    sum2[1] += g[0] * g[1];
    sum2[2] += g[1] * g[1];
    // The same image point measured with the image error and the unmodelled error, on a
    // height with its own error.
    const double ms = kSample + 0.2 * normal(random) + ds, mr = kRow + 0.2 * normal(random) + dr;
    const double mh = kHeight + heightSigma * normal(random);
    double dl, dt, dh;
    drawn.imageToGround(1, &ms, &mr, &mh, &dl, &dt, &dh, nullptr, &status);
    ASSERT_EQ(status, SMOD_POINT_OK);
    const Vec3 e = geocentricOf(dl, dt, dh);
    const Vec3 off{e[0] - truth[0], e[1] - truth[1], e[2] - truth[2]};
    const double east = off[0] * enu[0][0] + off[1] * enu[0][1] + off[2] * enu[0][2];
    const double north = off[0] * enu[1][0] + off[1] * enu[1][1] + off[2] * enu[1][2];
    inside += std::hypot(east, north) <= ce90;
  }
  const double ms = sum[0] / kDraws, mr = sum[1] / kDraws;
  const double var[3] = {sum2[0] / kDraws - ms * ms, sum2[1] / kDraws - ms * mr,
                         sum2[2] / kDraws - mr * mr};
  EXPECT_NEAR(var[0], cov[0], 0.03 * cov[0]);
  EXPECT_NEAR(var[1], cov[1], 0.03 * std::sqrt(cov[0] * cov[3]));
  EXPECT_NEAR(var[2], cov[3], 0.03 * cov[3]);
  EXPECT_EQ(cov[1], cov[2]);
  EXPECT_NEAR(inside / double(kDraws), 0.90, 0.01);
  EXPECT_DOUBLE_EQ(le90, kLinear90 * heightSigma);
  EXPECT_DOUBLE_EQ(gcov[8], heightSigma * heightSigma);
}

TEST(Accuracy, CircularErrorHasItsKnownLimitsAndAModelWithoutCovarianceSaysSo) {
  EXPECT_NEAR(circularError90(4, 0, 4), 2.0 * std::sqrt(2.0 * std::log(10.0)), 1e-12);
  EXPECT_NEAR(circularError90(9, 0, 0), 3.0 * kLinear90, 1e-12);
  // A rotated ellipse has the radius of its principal axes.
  const double c = std::cos(0.6), s = std::sin(0.6), a = 9, b = 0.25;
  EXPECT_NEAR(circularError90(a * c * c + b * s * s, (a - b) * c * s, a * s * s + b * c * c),
              circularError90(a, 0, b), 1e-9);
  EXPECT_TRUE(std::isnan(circularError90(1, 2, 1)));

  PointEngine bare(loadModel(enginetest::sampleRsm()));
  double cov[4];
  int status;
  const double lon = 7.45, lat = 46.95, h = 500;
  try {
    imageCovariance(bare, 1, &lon, &lat, &h, cov, &status);
    FAIL() << "a model without covariance gave an accuracy";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("no error covariance"), std::string::npos);
  }
}

}  // namespace
}  // namespace senmod_io
