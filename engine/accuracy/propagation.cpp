#include "propagation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "adjustment.h"
#include "circular_error.h"
#include "read_error.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kStep = 1.0;  // m, of the central differences
constexpr size_t kBlock = 2048;  // points per pass, bounding the working arrays

bool carried(int status) { return status == SMOD_POINT_OK || status == SMOD_POINT_OFF_DEM; }

// The geodetic points a step either way along three directions from each of count points,
// six per point: the arrays to evaluate central differences on.
struct Stencil {
  std::vector<double> lon, lat, h, sample, row;
  std::vector<uint8_t> ok;
  std::vector<int> status;

  explicit Stencil(size_t count)
      : lon(6 * count), lat(6 * count), h(6 * count), sample(6 * count), row(6 * count),
        ok(6 * count), status(6 * count) {}

  // Steps of kStep along each geocentric direction from the geodetic point (lon, lat, h), taken
  // in longitude, latitude and height through the radii of curvature there: each step strays
  // from the straight line by the same amount either way, which the central difference cancels.
  void place(size_t i, double lon, double lat, double h, const std::array<Vec3, 3>& directions) {
    const std::array<Vec3, 3> enu = eastNorthUp(lon, lat);
    double toLon, toLat;
    degreesPerMetre(lat, h, &toLon, &toLat);
    for (int k = 0; k < 3; ++k) {
      const Vec3& d = directions[k];
      double along[3];
      for (int a = 0; a < 3; ++a) along[a] = d[0] * enu[a][0] + d[1] * enu[a][1] + d[2] * enu[a][2];
      for (int side = 0; side < 2; ++side) {
        const double step = side ? -kStep : kStep;
        const size_t at = 6 * i + 2 * k + side;
        this->lon[at] = lon + step * along[0] * toLon;
        this->lat[at] = lat + step * along[1] * toLat;
        this->h[at] = h + step * along[2];
      }
    }
  }
  // The 2 × 3 derivative of (sample, row) at point i, row-major; false when a step failed.
  bool derivative(size_t i, bool byStatus, double jacobian[6]) const {
    for (int k = 0; k < 3; ++k) {
      const size_t at = 6 * i + 2 * k;
      const bool good = byStatus ? carried(status[at]) && carried(status[at + 1])
                                 : ok[at] && ok[at + 1];
      if (!good) return false;
      jacobian[k] = (sample[at] - sample[at + 1]) / (2.0 * kStep);
      jacobian[3 + k] = (row[at] - row[at + 1]) / (2.0 * kStep);
    }
    return true;
  }
};

// The geocentric axes of a local frame.
std::array<Vec3, 3> frameAxes(const LocalFrame& frame) {
  std::array<Vec3, 3> axes;
  for (int k = 0; k < 3; ++k) axes[k] = {frame.axes[k], frame.axes[3 + k], frame.axes[6 + k]};
  return axes;
}

// The parameters' derivative J (2 × count, row-major: sample then row) at the ground point
// whose local position is x, from the polynomials' derivative P (2 × 3, by local axes) at the
// moved point.
void parameterDerivative(const Adjustment& adjustment, const Vec3& x, const double p[6],
                         std::vector<double>& ground, std::vector<double>& image, double* j) {
  const size_t m = adjustment.count();
  adjustment.partials(x, ground.data(), image.data());
  for (size_t k = 0; k < m; ++k) {
    for (int r = 0; r < 2; ++r) {
      j[r * m + k] = image[2 * k + r] + p[3 * r] * ground[3 * k] +
                     p[3 * r + 1] * ground[3 * k + 1] + p[3 * r + 2] * ground[3 * k + 2];
    }
  }
}

// out (2 × 2) = J C Jᵀ + the unmodelled error, J 2 × m; each part only when asked for.
void imageSpread(const AdjustableParameters& p, const double* j, double out[4],
                 bool parameters = true, bool unmodelled = true) {
  const size_t m = p.count();
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      double sum = 0.0;
      if (parameters && p.hasCovariance()) {
        for (size_t k = 0; k < m; ++k) {
          double cj = 0.0;
          for (size_t l = 0; l < m; ++l) cj += p.covariance[k * m + l] * j[b * m + l];
          sum += j[a * m + k] * cj;
        }
      }
      out[2 * a + b] = sum;
    }
  }
  out[2] = out[1];
  if (unmodelled && p.unmodelled) {
    const auto& u = *p.unmodelled;  // row-row, row-column, column-column
    out[0] += u[2];
    out[1] += u[1];
    out[2] += u[1];
    out[3] += u[0];
  }
}

// The local positions of n ground points and, at their moved positions, the stencil of the
// polynomials' derivative by local axes.
void polynomialStencil(PointEngine& engine, const Adjustment& adjustment, size_t n,
                       const double* lon, const double* lat, const double* h,
                       std::vector<Vec3>& local, Stencil& stencil) {
  const LocalFrame& frame = adjustment.frame();
  const std::array<Vec3, 3> axes = frameAxes(frame);
  for (size_t i = 0; i < n; ++i) {
    local[i] = frame.toLocal(geocentricOf(lon[i], lat[i], h[i]));
    double at[3] = {lon[i], lat[i], h[i]};
    if (adjustment.movesGround()) {
      geodeticOf(frame.toGeocentric(adjustment.moved(local[i])), &at[0], &at[1], &at[2]);
    }
    stencil.place(i, at[0], at[1], at[2], axes);
  }
  engine.polynomialsToImage(6 * n, stencil.lon.data(), stencil.lat.data(), stencil.h.data(),
                            stencil.sample.data(), stencil.row.data(), stencil.ok.data());
}

}  // namespace

void parameterJacobian(PointEngine& engine, const AdjustableParameters& p, size_t n,
                       const double* lon, const double* lat, const double* height,
                       double* jacobian, uint8_t* ok) {
  const Adjustment adjustment(p);
  const size_t m = p.count();
  const size_t block = std::min(n, kBlock);
  std::vector<Vec3> local(block);
  Stencil stencil(block);
  std::vector<double> ground(3 * m), image(2 * m);
  for (size_t start = 0; start < n; start += block) {
    const size_t count = std::min(block, n - start);
    polynomialStencil(engine, adjustment, count, lon + start, lat + start, height + start, local,
                      stencil);
    for (size_t i = 0; i < count; ++i) {
      double* const j = jacobian + 2 * m * (start + i);
      double d[6];
      ok[start + i] = stencil.derivative(i, false, d);
      if (ok[start + i]) {
        parameterDerivative(adjustment, local[i], d, ground, image, j);
      } else {
        std::fill(j, j + 2 * m, kNaN);
      }
    }
  }
}

void groundDerivative(PointEngine& engine, size_t n, const double* lon, const double* lat,
                      const double* height, double* derivative, uint8_t* ok) {
  const size_t block = std::min(n, kBlock);
  Stencil stencil(block);
  for (size_t start = 0; start < n; start += block) {
    const size_t count = std::min(block, n - start);
    for (size_t i = 0; i < count; ++i) {
      const size_t at = start + i;
      stencil.place(i, lon[at], lat[at], height[at], eastNorthUp(lon[at], lat[at]));
    }
    engine.groundToImage(6 * count, stencil.lon.data(), stencil.lat.data(), stencil.h.data(),
                         stencil.sample.data(), stencil.row.data(), nullptr,
                         stencil.status.data(), false);
    for (size_t i = 0; i < count; ++i) {
      double* const d = derivative + 6 * (start + i);
      ok[start + i] = stencil.derivative(i, true, d);
      if (!ok[start + i]) std::fill(d, d + 6, kNaN);
    }
  }
}

void needCovariance(const PointEngine& engine) {
  const auto& p = engine.model().parameters;
  if (!p || (!p->hasCovariance() && !p->unmodelled)) {
    throw ReadError(
        "the model has no error covariance (none of RSMDCA, RSMECA, RSMDCB, RSMECB, nor an "
        "RPC's ERR_BIAS or ERR_RAND): its accuracy is unknown");
  }
}

size_t imageCovariance(PointEngine& engine, size_t n, const double* lon, const double* lat,
                       const double* height, double* cov, int* status) {
  needCovariance(engine);
  const AdjustableParameters& p = *engine.model().parameters;
  const Adjustment adjustment(p);
  const size_t m = p.count();
  const size_t block = std::min(n, kBlock);
  std::vector<double> sample(block), row(block), h(block);
  std::vector<Vec3> local(block);
  Stencil stencil(block);
  std::vector<double> ground(3 * m), image(2 * m), j(2 * m);
  size_t good = 0;
  for (size_t start = 0; start < n; start += block) {
    const size_t count = std::min(block, n - start);
    engine.groundToImage(count, lon + start, lat + start, height ? height + start : nullptr,
                         sample.data(), row.data(), h.data(), status + start);
    for (size_t i = 0; i < count; ++i) {
      if (!carried(status[start + i])) h[i] = kNaN;
    }
    polynomialStencil(engine, adjustment, count, lon + start, lat + start, h.data(), local,
                      stencil);
    for (size_t i = 0; i < count; ++i) {
      double* const out = cov + 4 * (start + i);
      double d[6];
      if (!carried(status[start + i]) || !stencil.derivative(i, false, d)) {
        std::fill(out, out + 4, kNaN);
        if (carried(status[start + i])) status[start + i] = SMOD_POINT_FAILED;
        continue;
      }
      parameterDerivative(adjustment, local[i], d, ground, image, j.data());
      imageSpread(p, j.data(), out);
      ++good;
    }
  }
  return good;
}

size_t groundCovariance(PointEngine& engine, size_t n, const double* sample, const double* row,
                        const double* height, const GroundErrors& errors, double* lon,
                        double* lat, double* heightOut, double* cov, double* ce90, double* le90,
                        int* status) {
  needCovariance(engine);
  const AdjustableParameters& p = *engine.model().parameters;
  const Adjustment adjustment(p);
  const size_t m = p.count();
  const size_t block = std::min(n, kBlock);
  std::vector<double> residual(block), h(block), slopes(6 * block);
  std::vector<uint8_t> sloped(block);
  std::vector<Vec3> local(block);
  Stencil polynomials(block);
  std::vector<double> ground(3 * m), image(2 * m), j(2 * m);
  const double su2 = errors.heightSigma * errors.heightSigma;
  const double si2 = errors.imageSigma * errors.imageSigma;
  size_t good = 0;
  for (size_t start = 0; start < n; start += block) {
    const size_t count = std::min(block, n - start);
    int* const st = status + start;
    engine.imageToGround(count, sample + start, row + start, height ? height + start : nullptr,
                         lon + start, lat + start, heightOut + start, residual.data(), st);
    for (size_t i = 0; i < count; ++i) h[i] = carried(st[i]) ? heightOut[start + i] : kNaN;
    // The adjusted model's derivative in east, north and up, and the polynomials' at the moved
    // points.
    groundDerivative(engine, count, lon + start, lat + start, h.data(), slopes.data(),
                     sloped.data());
    polynomialStencil(engine, adjustment, count, lon + start, lat + start, h.data(), local,
                      polynomials);
    for (size_t i = 0; i < count; ++i) {
      double* const out = cov + 9 * (start + i);
      const double* const g = &slopes[6 * i];
      double d[6];
      const bool derived = carried(st[i]) && sloped[i] && polynomials.derivative(i, false, d);
      // A = the east-north columns of g, b its up column.
      const double det = g[0] * g[4] - g[1] * g[3];
      if (!derived || !(std::fabs(det) > 0.0)) {
        std::fill(out, out + 9, kNaN);
        if (ce90) ce90[start + i] = kNaN;
        if (le90) le90[start + i] = kNaN;
        if (carried(st[i])) st[i] = SMOD_POINT_FAILED;
        continue;
      }
      const double ai[4] = {g[4] / det, -g[1] / det, -g[3] / det, g[0] / det};
      const double b[2] = {g[2], g[5]};
      parameterDerivative(adjustment, local[i], d, ground, image, j.data());
      double s[4];
      imageSpread(p, j.data(), s, errors.parameters, errors.unmodelled);
      for (int a = 0; a < 2; ++a) {
        for (int c = 0; c < 2; ++c) s[2 * a + c] += b[a] * b[c] * su2 + (a == c ? si2 : 0.0);
      }
      // Cov(EN) = A⁻¹ S A⁻ᵀ.
      double en[4];
      for (int a = 0; a < 2; ++a) {
        for (int c = 0; c < 2; ++c) {
          double sum = 0.0;
          for (int k = 0; k < 2; ++k) {
            for (int l = 0; l < 2; ++l) sum += ai[2 * a + k] * s[2 * k + l] * ai[2 * c + l];
          }
          en[2 * a + c] = sum;
        }
      }
      const double eu = -(ai[0] * b[0] + ai[1] * b[1]) * su2;
      const double nu = -(ai[2] * b[0] + ai[3] * b[1]) * su2;
      const double values[9] = {en[0], en[1], eu, en[2], en[3], nu, eu, nu, su2};
      std::copy(values, values + 9, out);
      if (ce90) ce90[start + i] = circularError90(en[0], en[1], en[3]);
      if (le90) le90[start + i] = kLinear90 * errors.heightSigma;
      ++good;
    }
  }
  return good;
}

}  // namespace senmod_io
