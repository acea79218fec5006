// Refinement of NGA's i_6130a with its own adjustable parameters, their covariance (RSMECA) the
// prior: with the truth a draw from that prior and points measured with known noise, the
// refined model's error is as its posterior covariance says.
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "model_loader.h"
#include "parameter_values.h"
#include "point_engine.h"
#include "propagation.h"
#include "refinement.h"
#include "senmod/senmod_io.h"
#include "tool_fixtures.h"

namespace {

using namespace senmod_io;

LoadedModel ngaModel() {
  std::ifstream in(tooltest::testData("nga-i6130a/i_6130a_tres.xml"));
  std::stringstream xml;
  xml << in.rdbuf();
  return modelFromTreRecords(parseTreXml(xml.str(), "i_6130a"), "i_6130a");
}

TEST(RefineNga, PosteriorOfTheRecordsPriorHoldsTheTruth) {
  PointEngine truth(ngaModel());
  const AdjustableParameters& p = *truth.model().parameters;
  ASSERT_TRUE(p.hasCovariance());
  const size_t m = p.count();
  // The prior's Cholesky factor, to draw the start values (the truth is at p.values).
  std::vector<double> chol(m * m, 0.0);
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j <= i; ++j) {
      double s = p.covariance[m * i + j];
      for (size_t k = 0; k < j; ++k) s -= chol[m * i + k] * chol[m * j + k];
      chol[m * i + j] = i == j ? std::sqrt(s) : s / chol[m * j + j];
    }
  }
  const double* d = truth.model().xform->model->rsm.imageDomain.data;
  const double mean = truth.modelMeanHeight();
  // Points and check points over the image, at heights about the mean.
  std::vector<double> s, r, h, lon, lat;
  for (int i = 0; i < 7; ++i) {
    for (int j = 0; j < 7; ++j) {
      s.push_back(d[0] + (i + 0.5) / 7 * (d[1] + 1 - d[0]));
      r.push_back(d[2] + (j + 0.5) / 7 * (d[3] + 1 - d[2]));
      h.push_back(mean + 100.0 * ((i + 3 * j) % 5 - 2));
    }
  }
  const size_t n = s.size();
  lon.resize(n);
  lat.resize(n);
  std::vector<int> status(n);
  truth.imageToGround(n, s.data(), r.data(), h.data(), lon.data(), lat.data(), nullptr, nullptr,
                      status.data());
  constexpr double kNoise = 0.5;
  std::mt19937_64 random(17);
  std::normal_distribution<double> normal;
  double normalised = 0.0;
  int checked = 0;
  for (int draw = 0; draw < 60; ++draw) {
    std::vector<double> start(m, 0.0);
    for (size_t i = 0; i < m; ++i) {
      for (size_t k = 0; k <= i; ++k) start[i] += chol[m * i + k] * normal(random);
      start[i] += p.values[i];
    }
    PointEngine moved(withParameterValues(truth.model(), start));
    // Every other point is a control point, the rest check points.
    std::vector<GroundControlPoint> points;
    for (size_t i = 0; i < n; i += 2) {
      GroundControlPoint g;
      g.sample = s[i] + kNoise * normal(random);
      g.row = r[i] + kNoise * normal(random);
      g.lon = lon[i];
      g.lat = lat[i];
      g.height = h[i];
      g.sigmaPixels = kNoise;
      g.id = std::to_string(i);
      points.push_back(g);
    }
    Refinement refined = refine(moved, points, RefineOptions{});
    ASSERT_TRUE(refined.report.prior);
    PointEngine engine(std::move(refined.model));
    std::vector<double> cs(n), cr(n), cov(4 * n);
    engine.groundToImage(n, lon.data(), lat.data(), h.data(), cs.data(), cr.data(), nullptr,
                         status.data());
    imageCovariance(engine, n, lon.data(), lat.data(), h.data(), cov.data(), status.data());
    for (size_t i = 1; i < n; i += 2) {
      // The posterior's part of the image covariance: the unmodelled error is no error of the
      // refined parameters.
      double c[4] = {cov[4 * i], cov[4 * i + 1], cov[4 * i + 2], cov[4 * i + 3]};
      if (p.unmodelled) {
        c[0] -= (*p.unmodelled)[2];
        c[1] -= (*p.unmodelled)[1];
        c[2] -= (*p.unmodelled)[1];
        c[3] -= (*p.unmodelled)[0];
      }
      const double e[2] = {cs[i] - s[i], cr[i] - r[i]};
      const double det = c[0] * c[3] - c[1] * c[2];
      normalised += (c[3] * e[0] * e[0] - 2 * c[1] * e[0] * e[1] + c[0] * e[1] * e[1]) / det;
      ++checked;
    }
  }
  // χ²(2) has mean 2 (over draws of other seeds: 1.91 to 2.12).
  EXPECT_NEAR(normalised / checked, 2.0, 0.3);
}

}  // namespace
