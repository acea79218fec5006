#include "sample_image.h"

#include <algorithm>
#include <cmath>

#include "terrain.h"

namespace samplegen {

namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;
constexpr double kHalfArm = 12.5;   // pixels
constexpr double kHalfWidth = 1.5;  // pixels
constexpr int kSubsamples = 4;      // per pixel side, for the crosses' edges

// Longitude and latitude (degrees) where the ray meets the terrain: the secant method on the
// height above the terrain along the ray.
void groundOf(const Vec3& origin, const Vec3& direction, double& lon, double& lat) {
  auto above = [&](double t, double& lo, double& la) {
    const Vec3 p = {origin[0] + t * direction[0], origin[1] + t * direction[1],
                    origin[2] + t * direction[2]};
    const Vec3 g = ecefToGeodetic(p);
    lo = g[0] * kDeg;
    la = g[1] * kDeg;
    return g[2] - terrain(lo, la);
  };
  double t0 = 4000.0, t1 = 6000.0;
  double f0 = above(t0, lon, lat), f1 = above(t1, lon, lat);
  for (int i = 0; i < 30 && std::fabs(f1) > 1e-6; ++i) {
    const double t2 = t1 - f1 * (t1 - t0) / (f1 - f0);
    t0 = t1;
    f0 = f1;
    t1 = t2;
    f1 = above(t1, lon, lat);
  }
}

// How much of pixel (c, r) the cross centred at (x, y) covers, 0 ... 1.
double crossCover(int c, int r, double x, double y) {
  int inside = 0;
  for (int i = 0; i < kSubsamples; ++i) {
    for (int j = 0; j < kSubsamples; ++j) {
      const double dx = std::fabs(c + (j + 0.5) / kSubsamples - x);
      const double dy = std::fabs(r + (i + 0.5) / kSubsamples - y);
      inside += (dx <= kHalfWidth && dy <= kHalfArm) || (dy <= kHalfWidth && dx <= kHalfArm);
    }
  }
  return static_cast<double>(inside) / (kSubsamples * kSubsamples);
}

}  // namespace

std::vector<unsigned char> renderImage(const FrameCamera& camera, int columns, int rows,
                                       const std::vector<Mark>& marks) {
  std::vector<double> shade(static_cast<size_t>(columns) * rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      Vec3 origin, direction;
      camera.ray(c + 0.5, r + 0.5, origin, direction);
      double lon = 0.0, lat = 0.0;
      groundOf(origin, direction, lon, lat);
      shade[static_cast<size_t>(r) * columns + c] = 40.0 + 215.0 * hillshade(lon, lat);
    }
  }
  for (const Mark& m : marks) {
    double x = 0.0, y = 0.0;
    camera.project(m.lon / kDeg, m.lat / kDeg, m.h, x, y);
    const int c0 = std::max(0, static_cast<int>(x - kHalfArm) - 1);
    const int c1 = std::min(columns - 1, static_cast<int>(x + kHalfArm) + 1);
    const int r0 = std::max(0, static_cast<int>(y - kHalfArm) - 1);
    const int r1 = std::min(rows - 1, static_cast<int>(y + kHalfArm) + 1);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        shade[static_cast<size_t>(r) * columns + c] *= 1.0 - crossCover(c, r, x, y);
      }
    }
  }
  std::vector<unsigned char> pixels(shade.size());
  std::transform(shade.begin(), shade.end(), pixels.begin(),
                 [](double v) { return static_cast<unsigned char>(std::lround(v)); });
  return pixels;
}

}  // namespace samplegen
