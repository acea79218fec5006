#include "rpc_fit.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "read_error.h"
#include "ridge_least_squares.h"

namespace senmod_io {

namespace {

// The Tikhonov weight per fitting point, against a normalised term's mean square of about 0.1
// to 1: it settles the near-null direction of a ratio whose numerator and denominator could
// share a factor, and leaves the fit alone (from 1e-18 to 1e-14 the residuals of the sample and
// of NGA's i_6130a stay put; from 1e-10 they grow tenfold).
constexpr double kRpcTikhonov = 1e-14;
// Fitting passes: an unweighted one, then two reweighted by the previous denominators.
constexpr int kRpcPasses = 3;

int termsOfDegree(int degree) { return degree == 1 ? 4 : degree == 2 ? 10 : kRpcTerms; }

double roundedTo(double value, double unit) { return std::round(value / unit) * unit; }
double upTo(double value, double unit) { return std::max(std::ceil(value / unit), 1.0) * unit; }

// Offset and scale of values within [low, high], on a grid of unit.
void normalisation(double low, double high, double unit, double& offset, double& scale) {
  offset = roundedTo((low + high) / 2.0, unit);
  scale = upTo(std::max(high - offset, offset - low), unit);
}

void termsAt(double l, double p, double h, double* t) {
  const double lp[4] = {1.0, l, l * l, l * l * l};
  const double pp[4] = {1.0, p, p * p, p * p * p};
  const double hp[4] = {1.0, h, h * h, h * h * h};
  for (int k = 0; k < kRpcTerms; ++k) {
    t[k] = lp[kRpcPowers[k][0]] * pp[kRpcPowers[k][1]] * hp[kRpcPowers[k][2]];
  }
}

// Numerator and denominator of one normalised image coordinate, value[i] at terms[i].
void fitRatio(const std::vector<double>& terms, const std::vector<double>& value, int used,
              std::array<double, kRpcTerms>& num, std::array<double, kRpcTerms>& den) {
  const size_t n = value.size();
  const size_t columns = static_cast<size_t>(2 * used - 1);
  num.fill(0.0);
  den.fill(0.0);
  den[0] = 1.0;
  std::vector<double> a(n * columns), b(n);
  for (int pass = 0; pass < kRpcPasses; ++pass) {
    for (size_t i = 0; i < n; ++i) {
      const double* t = &terms[i * kRpcTerms];
      double d = 0.0;
      for (int k = 0; k < used; ++k) d += den[k] * t[k];
      const double w = 1.0 / d;
      double* row = &a[i * columns];
      for (int k = 0; k < used; ++k) row[k] = w * t[k];
      for (int k = 1; k < used; ++k) row[used + k - 1] = -w * value[i] * t[k];
      b[i] = w * value[i];
    }
    const std::vector<double> x =
        ridgeLeastSquares(a, b, n, columns, kRpcTikhonov * static_cast<double>(n));
    for (int k = 0; k < used; ++k) num[k] = x[k];
    for (int k = 1; k < used; ++k) den[k] = x[used + k - 1];
  }
}

}  // namespace

void checkRpcFitOptions(const RpcFitOptions& o) {
  if (o.degree < 1 || o.degree > 3) throw ReadError("DEGREE takes 1, 2 or 3");
  if (o.grid < o.degree + 1 || o.grid > kMaxRpcGrid) {
    throw ReadError("GRID needs from " + std::to_string(o.degree + 1) + " to " +
                    std::to_string(kMaxRpcGrid) + " points per side for degree " +
                    std::to_string(o.degree));
  }
  if (o.heights < o.degree + 1 || o.heights > kMaxRpcHeights) {
    throw ReadError("HEIGHTS needs from " + std::to_string(o.degree + 1) + " to " +
                    std::to_string(kMaxRpcHeights) + " layers for degree " +
                    std::to_string(o.degree));
  }
}

RpcFit fitRpc(PointEngine& engine, const RpcDomain& domain, const RpcFitOptions& options) {
  checkRpcFitOptions(options);
  const GroundSamples g = sampleGround(engine, domain, options.grid, options.heights);
  const int used = termsOfDegree(options.degree);
  const size_t n = g.lon.size();
  // Each coordinate has 2 used - 1 unknowns; twice as many points leave the fit determined
  // by the model rather than by the Tikhonov term.
  if (n < static_cast<size_t>(4 * used)) {
    throw ReadError("only " + std::to_string(n) + " of the " +
                    std::to_string(n + g.missed) +
                    " fitting points reach the ground: the model cannot be fitted");
  }
  RpcFit fit;
  fit.points = n;
  fit.missed = g.missed;
  Rpc& rpc = fit.rpc;
  // The RPC's pixel convention puts the first pixel's centre at 0, GDAL's at 0.5.
  const ImageExtent& e = domain.image;
  normalisation(e.x0 - 0.5, e.x1 - 0.5, 1.0, rpc.sampOff, rpc.sampScale);
  normalisation(e.y0 - 0.5, e.y1 - 0.5, 1.0, rpc.lineOff, rpc.lineScale);
  normalisation(domain.heightMin, domain.heightMax, 1.0, rpc.heightOff, rpc.heightScale);
  const auto [lonMin, lonMax] = std::minmax_element(g.lon.begin(), g.lon.end());
  const auto [latMin, latMax] = std::minmax_element(g.lat.begin(), g.lat.end());
  normalisation(*lonMin, *lonMax, 1e-4, rpc.longOff, rpc.longScale);
  normalisation(*latMin, *latMax, 1e-4, rpc.latOff, rpc.latScale);

  std::vector<double> terms(n * kRpcTerms), line(n), sample(n);
  for (size_t i = 0; i < n; ++i) {
    termsAt((g.lon[i] - rpc.longOff) / rpc.longScale, (g.lat[i] - rpc.latOff) / rpc.latScale,
            (g.height[i] - rpc.heightOff) / rpc.heightScale, &terms[i * kRpcTerms]);
    line[i] = (g.line[i] - 0.5 - rpc.lineOff) / rpc.lineScale;
    sample[i] = (g.pixel[i] - 0.5 - rpc.sampOff) / rpc.sampScale;
  }
  fitRatio(terms, line, used, rpc.lineNum, rpc.lineDen);
  fitRatio(terms, sample, used, rpc.sampNum, rpc.sampDen);
  return fit;
}

}  // namespace senmod_io
