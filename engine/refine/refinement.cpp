#include "refinement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "parameter_values.h"
#include "propagation.h"
#include "read_error.h"
#include "senmod/senmod_io.h"
#include "symmetric_matrix.h"

namespace senmod_io {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The smallest eigenvalue of the normal matrix at unit diagonal, relative to its largest,
// below which the points do not determine the parameters: the weakest combination would be
// known 10⁴ times worse than the best (points on a line come to 1e-10, a spread 1e-1).
constexpr double kLeastEigenvalue = 1e-8;
// The least eigenvalue of a prior covariance, relative to its largest.
constexpr double kPriorFloor = 1e-10;
// A step below this fraction of every parameter's standard deviation ends the iterations.
constexpr double kStepOfSigma = 1e-6;

bool carried(int status) { return status == SMOD_POINT_OK || status == SMOD_POINT_OFF_DEM; }

// What the solution is about: the points, their weights, the parameters and the prior.
struct Problem {
  const LoadedModel* model = nullptr;
  AdjustableParameters parameters;  // values at the start (the prior's when there is one)
  std::optional<SymmetricMatrix> priorInverse;
  std::vector<double> lon, lat, height, sample, row;
  std::vector<std::array<double, 4>> weight;  // 2 × 2, sample then row
  std::vector<std::array<double, 6>> ground;  // the image's derivative in east, north, up

  size_t size() const { return lon.size(); }
};

struct Solution {
  std::vector<double> values;
  SymmetricMatrix inverse;     // N⁻¹
  std::vector<double> residual;  // 2 per point, sample then row (px)
  double chi2 = 0.0;           // Σ rᵀ W r over the points used, plus the prior's misfit
  int iterations = 0;
};

// Measured minus computed image positions (2 per point) of engine's model.
std::vector<double> residuals(const Problem& pr, const std::vector<GroundControlPoint>& points,
                              PointEngine& engine) {
  const size_t n = pr.size();
  std::vector<double> s(n), r(n), out(2 * n);
  std::vector<int> status(n);
  engine.groundToImage(n, pr.lon.data(), pr.lat.data(), pr.height.data(), s.data(), r.data(),
                       nullptr, status.data(), false);
  for (size_t i = 0; i < n; ++i) {
    if (!carried(status[i])) {
      throw ReadError("ground control point " + points[i].id + ": the model cannot carry its "
                      "ground point to the image (" + smod_PointStatusText(status[i]) + ")");
    }
    out[2 * i] = pr.sample[i] - s[i];
    out[2 * i + 1] = pr.row[i] - r[i];
  }
  return out;
}

double weighted(const std::array<double, 4>& w, const double* r) {
  return r[0] * (w[0] * r[0] + w[1] * r[1]) + r[1] * (w[2] * r[0] + w[3] * r[1]);
}

// Throws ReadError when N, scaled to unit diagonal, is singular or nearly so, naming the
// parameters of its weakest direction.
void checkGeometry(const SymmetricMatrix& n, const std::vector<std::string>& names) {
  const size_t m = n.n;
  SymmetricMatrix scaled(m);
  for (size_t k = 0; k < m; ++k) {
    if (!(n(k, k) > 0.0)) {
      throw ReadError("degenerate geometry: the points do not determine " + names[k]);
    }
  }
  for (size_t k = 0; k < m; ++k) {
    for (size_t l = 0; l < m; ++l) scaled(k, l) = n(k, l) / std::sqrt(n(k, k) * n(l, l));
  }
  std::vector<double> values;
  SymmetricMatrix vectors;
  symmetricEigen(scaled, &values, &vectors);
  if (values.front() > kLeastEigenvalue * values.back()) return;
  // The parameters of every direction so weakly held.
  std::string weak;
  for (size_t k = 0; k < m; ++k) {
    bool in = false;
    for (size_t e = 0; e < m && values[e] <= kLeastEigenvalue * values.back(); ++e) {
      in = in || std::fabs(vectors(k, e)) > 0.2;
    }
    if (in) weak += (weak.empty() ? "" : ", ") + names[k];
  }
  throw ReadError("degenerate geometry: the points (all on a line or at one point?) do not "
                  "determine " + weak + " apart (condition " +
                  std::to_string(values.back() / std::max(values.front(), 0.0)) + ")");
}

Solution solve(const Problem& pr, const std::vector<GroundControlPoint>& points,
               PointEngine& engine, const std::vector<bool>& active, int maxIterations) {
  const AdjustableParameters& p = pr.parameters;
  const size_t n = pr.size(), m = p.count();
  Solution s;
  s.values = p.values;
  std::vector<double> jacobian(2 * m * n), wj(2 * m);
  std::vector<uint8_t> ok(n);
  AdjustableParameters trial = p;
  for (int it = 1; it <= maxIterations; ++it) {
    trial.values = s.values;
    PointEngine adjusted(withParameters(*pr.model, trial));
    const std::vector<double> r = residuals(pr, points, adjusted);
    parameterJacobian(engine, trial, n, pr.lon.data(), pr.lat.data(), pr.height.data(),
                      jacobian.data(), ok.data());
    SymmetricMatrix normal(m);
    std::vector<double> b(m, 0.0);
    for (size_t i = 0; i < n; ++i) {
      if (!active[i]) continue;
      if (!ok[i]) {
        throw ReadError("ground control point " + points[i].id +
                        ": the model's derivative cannot be taken there");
      }
      const double* j = &jacobian[2 * m * i];  // m sample derivatives, then m row derivatives
      const auto& w = pr.weight[i];
      for (size_t k = 0; k < m; ++k) {
        wj[k] = w[0] * j[k] + w[1] * j[m + k];
        wj[m + k] = w[2] * j[k] + w[3] * j[m + k];
      }
      for (size_t k = 0; k < m; ++k) {
        for (size_t l = 0; l < m; ++l) normal(k, l) += j[k] * wj[l] + j[m + k] * wj[m + l];
        b[k] += wj[k] * r[2 * i] + wj[m + k] * r[2 * i + 1];
      }
    }
    if (pr.priorInverse) {
      std::vector<double> away(m);
      for (size_t k = 0; k < m; ++k) away[k] = s.values[k] - p.values[k];
      const std::vector<double> pull = multiply(*pr.priorInverse, away);
      for (size_t k = 0; k < m; ++k) {
        b[k] -= pull[k];
        for (size_t l = 0; l < m; ++l) normal(k, l) += (*pr.priorInverse)(k, l);
      }
    } else {
      checkGeometry(normal, p.names);
    }
    if (!choleskyInverse(normal, &s.inverse)) {
      throw ReadError("degenerate geometry: the normal equations are singular");
    }
    const std::vector<double> step = multiply(s.inverse, b);
    bool converged = true;
    for (size_t k = 0; k < m; ++k) {
      s.values[k] += step[k];
      if (!std::isfinite(s.values[k])) {
        throw ReadError("the refinement diverged: " + p.names[k] + " is not a finite number");
      }
      converged = converged && std::fabs(step[k]) <= kStepOfSigma * std::sqrt(s.inverse(k, k));
    }
    if (converged) {
      trial.values = s.values;
      PointEngine refined(withParameters(*pr.model, trial));
      s.residual = residuals(pr, points, refined);
      s.iterations = it;
      for (size_t i = 0; i < n; ++i) {
        if (active[i]) s.chi2 += weighted(pr.weight[i], &s.residual[2 * i]);
      }
      if (pr.priorInverse) {
        std::vector<double> away(m);
        for (size_t k = 0; k < m; ++k) away[k] = s.values[k] - p.values[k];
        const std::vector<double> pull = multiply(*pr.priorInverse, away);
        for (size_t k = 0; k < m; ++k) s.chi2 += away[k] * pull[k];
      }
      return s;
    }
  }
  throw ReadError("the refinement did not converge in " + std::to_string(maxIterations) +
                  " iterations (steps still above 1e-6 of the parameters' standard deviations)");
}

// The inverse of a prior covariance, its eigenvalues raised to at least kPriorFloor of the
// largest.
SymmetricMatrix priorInverseOf(const AdjustableParameters& p) {
  const size_t m = p.count();
  SymmetricMatrix c(m);
  c.a = p.covariance;
  std::vector<double> values;
  SymmetricMatrix vectors;
  symmetricEigen(c, &values, &vectors);
  if (!(values.back() > 0.0)) throw ReadError("the model's parameter covariance is zero");
  const double floor = kPriorFloor * values.back();
  SymmetricMatrix inverse(m);
  for (size_t k = 0; k < m; ++k) {
    const double inv = 1.0 / std::max(values[k], floor);
    for (size_t i = 0; i < m; ++i) {
      for (size_t j = 0; j < m; ++j) inverse(i, j) += vectors(i, k) * inv * vectors(j, k);
    }
  }
  return inverse;
}

// The set's parameters with their start values, and the prior's inverse when there is one.
void chooseParameters(PointEngine& engine, ParameterSet set, Problem& pr) {
  const auto& own = engine.model().parameters;
  const std::string sets = namedParameterSets();
  if (set == ParameterSet::Model) {
    if (!own || own->count() == 0) {
      throw ReadError("the model has no adjustable parameters of its own: name a set (" + sets +
                      ")");
    }
    if (!own->hasCovariance()) {
      throw ReadError("the model's adjustable parameters (" + own->source +
                      ") have no covariance to refine them with: name a set (" + sets + ")");
    }
    pr.parameters = *own;
    pr.priorInverse = priorInverseOf(*own);
    return;
  }
  pr.parameters = namedParameters(engine, set);
  if (own && own->applies()) {
    // A model refined before with this set goes on from its values, in its frame.
    if (own->names != pr.parameters.names) {
      throw ReadError("the model's own adjustable parameters (" + own->source +
                      ") have values that the set " + parameterSetName(set) +
                      " would drop: refine the model's own set");
    }
    pr.parameters = *own;
    pr.parameters.covariance.clear();
    pr.parameters.unmodelled.reset();
  }
}

// The heights of points without one, from engine's DEM.
void fillHeights(PointEngine& engine, std::vector<GroundControlPoint>& points) {
  std::vector<size_t> missing;
  for (size_t i = 0; i < points.size(); ++i) {
    if (std::isnan(points[i].height)) missing.push_back(i);
  }
  if (missing.empty()) return;
  if (engine.dem().empty()) {
    throw ReadError("ground control point " + points[missing[0]].id +
                    " has no height, and no DEM is set to take it from");
  }
  const size_t k = missing.size();
  std::vector<double> lon(k), lat(k), s(k), r(k), h(k);
  std::vector<int> status(k);
  for (size_t i = 0; i < k; ++i) {
    lon[i] = points[missing[i]].lon;
    lat[i] = points[missing[i]].lat;
  }
  engine.groundToImage(k, lon.data(), lat.data(), nullptr, s.data(), r.data(), h.data(),
                       status.data());
  for (size_t i = 0; i < k; ++i) {
    if (status[i] != SMOD_POINT_OK) {
      throw ReadError("ground control point " + points[missing[i]].id +
                      " has no height, and the DEM gives none there (" +
                      smod_PointStatusText(status[i]) + ")");
    }
    points[missing[i]].height = h[i];
  }
}

void checkInsideImage(const PointEngine& engine, const std::vector<GroundControlPoint>& points) {
  const Smod_Doubles& domain = engine.model().xform->model->rsm.imageDomain;
  if (domain.count < 4 || !domain.data) return;
  const double* d = domain.data;
  for (const GroundControlPoint& p : points) {
    if (!(p.sample >= d[0] && p.sample <= d[1] + 1.0 && p.row >= d[2] && p.row <= d[3] + 1.0)) {
      throw ReadError("ground control point " + p.id + " at sample " + std::to_string(p.sample) +
                      ", row " + std::to_string(p.row) + " lies outside the image (samples " +
                      std::to_string(d[0]) + " to " + std::to_string(d[1] + 1.0) + ", rows " +
                      std::to_string(d[2]) + " to " + std::to_string(d[3] + 1.0) + ")");
    }
  }
}

// Each point's weight, and the image's derivative in east, north and up at it.
void weigh(PointEngine& engine, const std::vector<GroundControlPoint>& points, Problem& pr) {
  const size_t n = points.size();
  std::vector<double> g(6 * n);
  std::vector<uint8_t> ok(n);
  groundDerivative(engine, n, pr.lon.data(), pr.lat.data(), pr.height.data(), g.data(),
                   ok.data());
  const auto& u = pr.parameters.unmodelled;
  for (size_t i = 0; i < n; ++i) {
    if (!ok[i]) {
      throw ReadError("ground control point " + points[i].id +
                      ": the model cannot carry the ground about it to the image");
    }
    std::array<double, 6> d;
    std::copy(&g[6 * i], &g[6 * i + 6], d.begin());
    pr.ground.push_back(d);
    const GroundControlPoint& p = points[i];
    const double sg[3] = {p.sigmaHorizontal * p.sigmaHorizontal,
                          p.sigmaHorizontal * p.sigmaHorizontal,
                          p.sigmaVertical * p.sigmaVertical};
    double c[4] = {p.sigmaPixels * p.sigmaPixels, 0.0, 0.0, p.sigmaPixels * p.sigmaPixels};
    for (int a = 0; a < 2; ++a) {
      for (int b = 0; b < 2; ++b) {
        for (int k = 0; k < 3; ++k) c[2 * a + b] += d[3 * a + k] * sg[k] * d[3 * b + k];
      }
    }
    if (u) {  // row-row, row-sample, sample-sample
      c[0] += (*u)[2];
      c[1] += (*u)[1];
      c[2] += (*u)[1];
      c[3] += (*u)[0];
    }
    const double det = c[0] * c[3] - c[1] * c[2];
    if (!(det > 0.0)) {
      throw ReadError("ground control point " + p.id + ": its image error has no extent");
    }
    pr.weight.push_back({c[3] / det, -c[1] / det, -c[2] / det, c[0] / det});
  }
}

// The horizontal ground miss (m) of an image residual r (px) at point i.
double groundMiss(const Problem& pr, size_t i, const double* r) {
  const auto& g = pr.ground[i];
  const double det = g[0] * g[4] - g[1] * g[3];
  const double east = (g[4] * r[0] - g[1] * r[1]) / det;
  const double north = (-g[3] * r[0] + g[0] * r[1]) / det;
  return std::hypot(east, north);
}

}  // namespace

Refinement refine(PointEngine& engine, std::vector<GroundControlPoint> points,
                  const RefineOptions& options) {
  if (options.maxIterations < 1) throw ReadError("the refinement needs at least one iteration");
  if (points.empty()) throw ReadError("no ground control points");
  Problem pr;
  pr.model = &engine.model();
  chooseParameters(engine, options.set, pr);
  const size_t m = pr.parameters.count();
  const bool prior = pr.priorInverse.has_value();
  if (!prior && 2 * points.size() < m) {
    throw ReadError("too few ground control points: " + std::to_string(points.size()) +
                    " give " + std::to_string(2 * points.size()) + " observations for " +
                    std::to_string(m) + " parameters (" + parameterSetName(options.set) + ")");
  }
  fillHeights(engine, points);
  checkInsideImage(engine, points);
  for (const GroundControlPoint& p : points) {
    pr.lon.push_back(p.lon);
    pr.lat.push_back(p.lat);
    pr.height.push_back(p.height);
    pr.sample.push_back(p.sample);
    pr.row.push_back(p.row);
  }
  const std::vector<double> before = residuals(pr, points, engine);
  weigh(engine, points, pr);

  const size_t n = points.size();
  std::vector<bool> active(n, true);
  size_t used = n;
  Solution s = solve(pr, points, engine, active, options.maxIterations);
  while (options.reject && (prior || 2 * (used - 1) > m)) {
    size_t worst = n;
    double largest = kFlagResidual;
    for (size_t i = 0; i < n; ++i) {
      const double z = std::sqrt(weighted(pr.weight[i], &s.residual[2 * i]));
      if (active[i] && z > largest) {
        largest = z;
        worst = i;
      }
    }
    if (worst == n) break;
    active[worst] = false;
    --used;
    s = solve(pr, points, engine, active, options.maxIterations);
  }

  RefineReport report;
  report.set = parameterSetName(options.set);
  report.prior = prior;
  report.iterations = s.iterations;
  report.used = used;
  report.redundancy = static_cast<int>(2 * used) - (prior ? 0 : static_cast<int>(m));
  report.varianceFactor = report.redundancy > 0 ? s.chi2 / report.redundancy : kNaN;
  // Never better than the points' stated errors: a fit closer than them (few points, or exact
  // ones) would otherwise hand the model an accuracy of nothing.
  const double scale =
      !prior && report.redundancy > 0 ? std::max(1.0, report.varianceFactor) : 1.0;
  AdjustableParameters refined = pr.parameters;
  refined.values = s.values;
  refined.covariance.assign(m * m, 0.0);
  for (size_t k = 0; k < m * m; ++k) refined.covariance[k] = scale * s.inverse.a[k];
  refined.source = "refined with " + std::to_string(used) + " GCPs (" + report.set + ")";
  report.source = refined.source;
  report.names = refined.names;
  report.values = refined.values;
  for (size_t k = 0; k < m; ++k) report.sigmas.push_back(std::sqrt(refined.covariance[k * m + k]));
  double sums[4] = {};
  for (size_t i = 0; i < n; ++i) {
    PointResidual r;
    r.point = points[i];
    std::copy(&before[2 * i], &before[2 * i + 2], r.before);
    std::copy(&s.residual[2 * i], &s.residual[2 * i + 2], r.after);
    r.beforeMetres = groundMiss(pr, i, r.before);
    r.afterMetres = groundMiss(pr, i, r.after);
    r.normalised = std::sqrt(weighted(pr.weight[i], r.after));
    r.flagged = r.normalised > kFlagResidual;
    r.rejected = !active[i];
    if (active[i]) {
      sums[0] += r.before[0] * r.before[0] + r.before[1] * r.before[1];
      sums[1] += r.after[0] * r.after[0] + r.after[1] * r.after[1];
      sums[2] += r.beforeMetres * r.beforeMetres;
      sums[3] += r.afterMetres * r.afterMetres;
    }
    report.points.push_back(std::move(r));
  }
  report.rmsBefore = std::sqrt(sums[0] / used);
  report.rmsAfter = std::sqrt(sums[1] / used);
  report.rmsBeforeMetres = std::sqrt(sums[2] / used);
  report.rmsAfterMetres = std::sqrt(sums[3] / used);
  return {withParameters(engine.model(), refined), std::move(report)};
}

}  // namespace senmod_io
