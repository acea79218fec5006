#include <algorithm>
#include <cfloat>
#include <cmath>

#include "hostmodel.h"

namespace {

void SetIdentity(double xc[3], double yc[3]) {
  xc[0] = 0.0; xc[1] = 1.0; xc[2] = 0.0;
  yc[0] = 0.0; yc[1] = 0.0; yc[2] = 1.0;
}

// Centred sums of the fit over the points whose four coordinates are finite: the 2x2 normal
// matrix of the source points and the right-hand sides of both destination coordinates.
struct CentredSums {
  int32_t count = 0;
  double meanSx = 0, meanSy = 0, meanDx = 0, meanDy = 0;
  double sxx = 0, sxy = 0, syy = 0;
  double sxDx = 0, syDx = 0, sxDy = 0, syDy = 0;
  double scale = 0;  // largest source coordinate magnitude, for the rank tests
};

bool Usable(const double* sx, const double* sy, const double* dx, const double* dy, int32_t i) {
  return std::isfinite(sx[i]) && std::isfinite(sy[i]) && std::isfinite(dx[i]) &&
         std::isfinite(dy[i]);
}

CentredSums Sum(const double* sx, const double* sy, const double* dx, const double* dy,
                int32_t count) {
  CentredSums s;
  for (int32_t i = 0; i < count; ++i) {
    if (!Usable(sx, sy, dx, dy, i)) continue;
    ++s.count;
    s.meanSx += sx[i];
    s.meanSy += sy[i];
    s.meanDx += dx[i];
    s.meanDy += dy[i];
    s.scale = std::max(s.scale, std::max(std::fabs(sx[i]), std::fabs(sy[i])));
  }
  if (s.count == 0) return s;
  s.meanSx /= s.count;
  s.meanSy /= s.count;
  s.meanDx /= s.count;
  s.meanDy /= s.count;
  for (int32_t i = 0; i < count; ++i) {
    if (!Usable(sx, sy, dx, dy, i)) continue;
    const double u = sx[i] - s.meanSx;
    const double v = sy[i] - s.meanSy;
    const double p = dx[i] - s.meanDx;
    const double q = dy[i] - s.meanDy;
    s.sxx += u * u;
    s.sxy += u * v;
    s.syy += v * v;
    s.sxDx += u * p;
    s.syDx += v * p;
    s.sxDy += u * q;
    s.syDy += v * q;
  }
  return s;
}

}  // namespace

int hdom_GetAffine(const double* sx, const double* sy, const double* dx, const double* dy,
                   int32_t count, double xc[3], double yc[3]) {
  if (xc == nullptr || yc == nullptr) return -1;
  SetIdentity(xc, yc);
  if (count <= 0) return 0;
  if (sx == nullptr || sy == nullptr || dx == nullptr || dy == nullptr) return -1;

  const CentredSums s = Sum(sx, sy, dx, dy, count);
  if (s.count == 0) return 0;
  // Eigen-decomposition of the symmetric normal matrix: the fit is its pseudo-inverse, so
  // directions in which the points do not spread get no slope.
  const double half = 0.5 * (s.sxx - s.syy);
  const double root = std::hypot(half, s.sxy);
  const double mid = 0.5 * (s.sxx + s.syy);
  const double large = mid + root;
  const double small = mid - root;
  const double noise = 16.0 * s.count * (DBL_EPSILON * s.scale) * (DBL_EPSILON * s.scale);

  double bx[2] = {1.0, 0.0};  // slopes of destination x over (sx, sy)
  double by[2] = {0.0, 1.0};
  if (!(large > noise)) {
    // All points at one place: a shift.
  } else if (small <= large * 1e-12) {
    // Collinear: the unit direction of the line is the eigenvector of the large eigenvalue.
    double ex = 0.0;
    double ey = 0.0;
    if (root == 0.0) {
      ex = 1.0;
    } else if (half >= 0.0) {
      ex = half + root;
      ey = s.sxy;
    } else {
      ex = s.sxy;
      ey = root - half;
    }
    const double norm = std::hypot(ex, ey);
    ex /= norm;
    ey /= norm;
    const double alongX = (ex * s.sxDx + ey * s.syDx) / large;
    const double alongY = (ex * s.sxDy + ey * s.syDy) / large;
    bx[0] = alongX * ex; bx[1] = alongX * ey;
    by[0] = alongY * ex; by[1] = alongY * ey;
  } else {
    const double det = s.sxx * s.syy - s.sxy * s.sxy;
    bx[0] = (s.syy * s.sxDx - s.sxy * s.syDx) / det;
    bx[1] = (s.sxx * s.syDx - s.sxy * s.sxDx) / det;
    by[0] = (s.syy * s.sxDy - s.sxy * s.syDy) / det;
    by[1] = (s.sxx * s.syDy - s.sxy * s.sxDy) / det;
  }
  xc[1] = bx[0];
  xc[2] = bx[1];
  xc[0] = s.meanDx - bx[0] * s.meanSx - bx[1] * s.meanSy;
  yc[1] = by[0];
  yc[2] = by[1];
  yc[0] = s.meanDy - by[0] * s.meanSx - by[1] * s.meanSy;
  return 0;
}
