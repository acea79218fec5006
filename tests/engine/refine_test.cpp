// Refinement with ground control points, against a known truth: the sample model moved by a
// known adjustment, refined with points made from the unmoved model plus noise of known size.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <vector>

#include "engine_test_support.h"
#include "local_frame.h"
#include "parameter_sets.h"
#include "parameter_values.h"
#include "point_engine.h"
#include "propagation.h"
#include "read_error.h"
#include "refinement.h"
#include "senmod/senmod_io.h"
#include "support/refusal.h"

namespace senmod_io {
namespace {

// The sample model with the set's parameters at values (no covariance when covariance is
// empty).
LoadedModel moved(ParameterSet set, const std::vector<double>& values,
                  const std::vector<double>& covariance = {}) {
  const LoadedModel truth = loadModel(enginetest::sampleRsm());
  PointEngine engine(loadModel(enginetest::sampleRsm()));
  AdjustableParameters p = namedParameters(engine, set);
  p.values = values;
  p.covariance = covariance;
  return withParameters(truth, p);
}

// n × n image points spread over the image (inset by a tenth), at heights from 200 to 800 m,
// carried to the ground by the truth; the image points then measured with noise of sigma px.
std::vector<GroundControlPoint> controlPoints(PointEngine& truth, int n, double sigma,
                                              std::mt19937_64& random) {
  std::normal_distribution<double> normal;
  const double* d = truth.model().xform->model->rsm.imageDomain.data;
  std::vector<GroundControlPoint> points;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      GroundControlPoint p;
      const double u = 0.1 + 0.8 * i / (n - 1), v = 0.1 + 0.8 * j / (n - 1);
      p.sample = d[0] + u * (d[1] + 1 - d[0]);
      p.row = d[2] + v * (d[3] + 1 - d[2]);
      p.height = 200 + 600 * ((i + 2 * j) % n) / double(n - 1);
      int status;
      truth.imageToGround(1, &p.sample, &p.row, &p.height, &p.lon, &p.lat, nullptr, nullptr,
                          &status);
      EXPECT_EQ(status, SMOD_POINT_OK);
      p.sample += sigma * normal(random);
      p.row += sigma * normal(random);
      p.sigmaPixels = sigma;
      p.id = std::to_string(points.size() + 1);
      points.push_back(p);
    }
  }
  return points;
}

using testsupport::refusal;

TEST(Refine, RefinedModelMatchesTheTruthWithinItsOwnPropagatedError) {
  PointEngine truth(loadModel(enginetest::sampleRsm()));
  // Tens of metres of offset and a rotation of about a pixel at the image's edge.
  const std::vector<double> adjustment{25.0, -18.0, 6.0, 4e-5, -3e-5, 2e-4};
  PointEngine perturbed(moved(ParameterSet::GroundOffsetRotation, adjustment));
  // Check points: a grid over the image at 500 m, carried to the ground by the truth.
  const double* d = truth.model().xform->model->rsm.imageDomain.data;
  std::vector<double> lon, lat, h;
  for (int i = 0; i < 10; ++i) {
    for (int j = 0; j < 10; ++j) {
      double s = d[0] + (i + 0.5) / 10 * (d[1] + 1 - d[0]);
      double r = d[2] + (j + 0.5) / 10 * (d[3] + 1 - d[2]);
      double x, y, hh = 500;
      int status;
      truth.imageToGround(1, &s, &r, &hh, &x, &y, nullptr, nullptr, &status);
      lon.push_back(x);
      lat.push_back(y);
      h.push_back(hh);
    }
  }
  const size_t k = lon.size();
  std::vector<double> ts(k), tr(k);
  std::vector<int> status(k);
  truth.groundToImage(k, lon.data(), lat.data(), h.data(), ts.data(), tr.data(), nullptr,
                      status.data());

  constexpr double kNoise = 0.5;  // px
  constexpr int kDraws = 100;
  std::mt19937_64 random(11);
  double normalised = 0.0, rms2 = 0.0, expectedRms2 = 0.0, varianceFactor = 0.0;
  int inside = 0, checked = 0;
  for (int draw = 0; draw < kDraws; ++draw) {
    const auto points = controlPoints(truth, 4, kNoise, random);
    RefineOptions options;
    options.set = ParameterSet::GroundOffsetRotation;
    Refinement r = refine(perturbed, points, options);
    EXPECT_GT(r.report.rmsBefore, 10 * kNoise);
    EXPECT_EQ(r.report.used, points.size());
    rms2 += r.report.rmsAfter * r.report.rmsAfter;
    varianceFactor += r.report.varianceFactor;
    // E(Σ r²) = σ² (2n - m): the residuals have 2n - m degrees of freedom.
    expectedRms2 += kNoise * kNoise * r.report.redundancy / double(points.size());
    PointEngine refined(std::move(r.model));
    std::vector<double> s(k), row(k), cov(4 * k);
    refined.groundToImage(k, lon.data(), lat.data(), h.data(), s.data(), row.data(), nullptr,
                          status.data());
    ASSERT_EQ(imageCovariance(refined, k, lon.data(), lat.data(), h.data(), cov.data(),
                              status.data()),
              k);
    for (size_t i = 0; i < k; ++i) {
      const double e[2] = {s[i] - ts[i], row[i] - tr[i]};
      const double* c = &cov[4 * i];
      const double det = c[0] * c[3] - c[1] * c[2];
      const double z = (c[3] * e[0] * e[0] - 2 * c[1] * e[0] * e[1] + c[0] * e[1] * e[1]) / det;
      normalised += z;
      // Inside the 90 % ellipse: χ²(2) below -2 ln 0.1.
      inside += z <= -2 * std::log(0.1);
      ++checked;
    }
  }
  // The refined model's error is as large as its own covariance says, or a little smaller: χ²(2)
  // has mean 2 and 90 % inside its CE90 ellipse, and the variance factor only ever widens the
  // covariance (over draws of other seeds: 1.71 to 1.89, and 0.907 to 0.928 inside).
  EXPECT_NEAR(normalised / checked, 1.8, 0.25);
  EXPECT_NEAR(inside / double(checked), 0.915, 0.03);
  // The residuals are as large as the noise, and the points' weights say so.
  EXPECT_NEAR(std::sqrt(rms2 / kDraws), std::sqrt(expectedRms2 / kDraws), 0.06 * kNoise);
  EXPECT_NEAR(varianceFactor / kDraws, 1.0, 0.1);
}

TEST(Refine, APriorCovarianceWeighsAsStatedAndHoldsWhatItIsSureOf) {
  PointEngine truth(loadModel(enginetest::sampleRsm()));
  std::mt19937_64 random(5);
  const auto points = controlPoints(truth, 3, 0.3, random);
  const std::vector<double> adjustment{20.0, -15.0, 5.0};
  RefineOptions plain;
  plain.set = ParameterSet::GroundOffset;
  PointEngine bare(moved(ParameterSet::GroundOffset, adjustment));
  const Refinement free = refine(bare, points, plain);

  // A loose prior gives the unconstrained solution; a prior sure of GZO (a covariance of rank
  // 2) holds it at its value.
  const double loose = 100.0 * 100.0;
  RefineOptions own;  // the model's own set
  for (const bool sureOfHeight : {false, true}) {
    std::vector<double> c{loose, 0, 0, 0, loose, 0, 0, 0, sureOfHeight ? 0.0 : loose};
    PointEngine model(moved(ParameterSet::GroundOffset, adjustment, c));
    const Refinement r = refine(model, points, own);
    EXPECT_TRUE(r.report.prior);
    const auto& p = *r.model.parameters;
    EXPECT_EQ(p.source, "refined with 9 GCPs (model)");
    if (sureOfHeight) {
      EXPECT_NEAR(p.values[2], 5.0, 1e-2);
      EXPECT_LT(std::sqrt(p.covariance[8]), 2e-3);
    } else {
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(p.values[k], free.report.values[k], 0.05 * free.report.sigmas[k]);
      }
    }
  }
  // The truth has no adjustment.
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(free.report.values[k], 0.0, 4 * free.report.sigmas[k]);
}

TEST(Refine, AGrossErrorIsFlaggedAndLeftOutOnlyWhenAsked) {
  PointEngine truth(loadModel(enginetest::sampleRsm()));
  std::mt19937_64 random(8);
  auto points = controlPoints(truth, 4, 0.3, random);
  points[5].sample += 6.0;  // twenty sigmas
  PointEngine perturbed(moved(ParameterSet::ImageOffset, {4.0, -3.0}));
  RefineOptions options;
  options.set = ParameterSet::ImageOffset;
  const Refinement kept = refine(perturbed, points, options);
  EXPECT_TRUE(kept.report.points[5].flagged);
  EXPECT_EQ(kept.report.used, points.size());
  options.reject = true;
  const Refinement rejected = refine(perturbed, points, options);
  EXPECT_EQ(rejected.report.used, points.size() - 1);
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_EQ(rejected.report.points[i].rejected, i == 5);
    EXPECT_EQ(rejected.report.points[i].flagged, i == 5);
  }
  EXPECT_EQ(rejected.model.parameters->source, "refined with 15 GCPs (image-offset)");
  // Without the outlier the shift is the truth's to its noise, and the residuals the noise.
  for (int k = 0; k < 2; ++k) EXPECT_NEAR(rejected.report.values[k], 0.0, 0.3);
  EXPECT_LT(rejected.report.rmsAfter, 0.6);
  EXPECT_GT(kept.report.rmsAfter, 1.0);
}

TEST(Refine, RefusesWhatCannotBeSolvedNamingTheCause) {
  PointEngine truth(loadModel(enginetest::sampleRsm()));
  std::mt19937_64 random(3);
  const auto grid = controlPoints(truth, 3, 0.5, random);
  RefineOptions options;
  options.set = ParameterSet::GroundOffsetRotation;
  // Two points give four observations for six parameters.
  EXPECT_NE(refusal([&] { refine(truth, {grid[0], grid[4]}, options); }).find("too few"),
            std::string::npos);
  // Points surveyed along a line leave the affine's cross terms free; one point thrice, the
  // height free.
  std::vector<GroundControlPoint> line;
  const Vec3 from = geocentricOf(grid[0].lon, grid[0].lat, grid[0].height);
  const Vec3 to = geocentricOf(grid[8].lon, grid[8].lat, grid[8].height);
  for (int i = 0; i < 4; ++i) {
    GroundControlPoint p = grid[0];
    Vec3 e;
    for (int k = 0; k < 3; ++k) e[k] = from[k] + i * (to[k] - from[k]) / 3;
    geodeticOf(e, &p.lon, &p.lat, &p.height);
    int status;
    truth.groundToImage(1, &p.lon, &p.lat, &p.height, &p.sample, &p.row, nullptr, &status);
    line.push_back(p);
  }
  options.set = ParameterSet::ImageAffine;
  EXPECT_NE(refusal([&] { refine(truth, line, options); }).find("degenerate geometry"),
            std::string::npos);
  options.set = ParameterSet::GroundOffset;
  EXPECT_NE(refusal([&] { refine(truth, {grid[4], grid[4], grid[4]}, options); })
                .find("degenerate geometry"),
            std::string::npos);
  auto outside = grid;
  outside[2].sample = -40;
  EXPECT_NE(refusal([&] { refine(truth, outside, options); }).find("3 at sample -40"),
            std::string::npos);
  // One iteration cannot reach a step of 1e-6 σ from a start tens of metres away.
  PointEngine perturbed(moved(ParameterSet::GroundOffset, {30.0, 20.0, 0.0}));
  options.maxIterations = 1;
  EXPECT_NE(refusal([&] { refine(perturbed, grid, options); }).find("did not converge"),
            std::string::npos);
  options.maxIterations = 10;
  options.set = ParameterSet::Model;
  const std::string own = refusal([&] { refine(truth, grid, options); });
  EXPECT_NE(own.find("no adjustable parameters"), std::string::npos);
  EXPECT_NE(own.find("image-offset, image-affine, ground-offset, ground-offset-rotation"),
            std::string::npos);
  // A height to take from a DEM that is not there.
  auto noHeight = grid;
  noHeight[1].height = NAN;
  options.set = ParameterSet::ImageOffset;
  EXPECT_NE(refusal([&] { refine(truth, noHeight, options); }).find("no DEM"),
            std::string::npos);
}

class GroundControlFile : public enginetest::ScratchTest {
 protected:
  std::string write(const std::string& name, const std::string& text) {
    std::ofstream(path(name)) << text;
    return path(name);
  }
};

TEST_F(GroundControlFile, ReadsTextCsvAndGeoJsonAndNamesTheLineOfABadPoint) {
  const auto text = readGroundControl(write("a.txt",
                                            "# sample row lon lat h\n\n"
                                            "10 20 7.5 46.9 500\n"
                                            "11, 21, 7.6, 46.8, nan, 2, 3, 0.5, pillar-4\n"
                                            "12 22 7.7 46.7 510 gate\n"));
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(text[0].id, "line 3");
  EXPECT_EQ(text[0].sigmaPixels, kDefaultSigmaPixels);
  EXPECT_TRUE(std::isnan(text[1].height));
  EXPECT_EQ(text[1].sigmaVertical, 3.0);
  EXPECT_EQ(text[1].id, "pillar-4");
  EXPECT_EQ(text[2].id, "gate");
  const auto csv = readGroundControl(
      write("b.csv", "id,lat,lon,height,sample,row,sigma_px\nP1,46.9,7.5,500,10,20,0.25\n"));
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_EQ(csv[0].lon, 7.5);
  EXPECT_EQ(csv[0].sample, 10.0);
  EXPECT_EQ(csv[0].sigmaPixels, 0.25);
  EXPECT_EQ(csv[0].id, "P1");
  const auto json = readGroundControl(write(
      "c.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
        "geometry": {"type": "Point", "coordinates": [7.5, 46.9, 480]},
        "properties": {"sample": 10, "row": 20.5, "sigma_h": 1.5, "id": "K7"}}]})"));
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(json[0].height, 480.0);
  EXPECT_EQ(json[0].row, 20.5);
  EXPECT_EQ(json[0].sigmaHorizontal, 1.5);
  EXPECT_EQ(json[0].id, "K7");

  const std::pair<const char*, const char*> bad[] = {
      {"10 20 7.5 46.9 500\n10 20 7.5 x 500\n", "line 2: the latitude \"x\" is not a number"},
      {"10 20 7.5 46.9 500 1 2\n", "line 1: 7 fields"},
      {"10 20 7.5 96.9 500\n", "line 1: the latitude is not a number from -90 to 90"},
      {"10 20 7.5 46.9 500 1 1 -1\n", "line 1: a standard deviation is negative"},
      {"sample,row,lon,lat,z\n", "line 1: unknown column \"z\""},
      {"# nothing\n", "no ground control points"},
      {R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
          {"type": "Point", "coordinates": [7.5, 46.9]}, "properties": {"row": 3}}]})",
       "feature 1: no sample and row"},
  };
  for (const auto& [contents, message] : bad) {
    const std::string file = write("bad.txt", contents);
    EXPECT_NE(refusal([&] { readGroundControl(file); }).find(message), std::string::npos)
        << contents;
  }
}

}  // namespace
}  // namespace senmod_io
