#include "ground_outline.h"

#include <cpl_string.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "read_error.h"

namespace senmod_io {

ImageExtent modelImageExtent(const RSM_Xform* model) {
  const Smod_Doubles& d = model->model->rsm.imageDomain;
  if (d.count < 4) return {};
  return {d.data[0], d.data[2], d.data[1] + 1.0, d.data[3] + 1.0};
}

namespace {

double perimeter(const ImageExtent& e) { return 2.0 * (std::fabs(e.x1 - e.x0) + std::fabs(e.y1 - e.y0)); }

}  // namespace

double cappedOutlineStep(const ImageExtent& extent, double step) {
  // A few points spare for the corners and each side's rounding up.
  return std::max(step, perimeter(extent) / (kMaxOutlinePoints - 8));
}

Outline groundOutline(SensorGeometry& geometry, const ImageExtent& e, double step) {
  const double points = perimeter(e) / step + 4.0;
  if (!(points <= kMaxOutlinePoints)) {
    throw ReadError(std::string("the outline would take ") + CPLSPrintf("%.4g", points) +
                    " points, above the limit of " + std::to_string(kMaxOutlinePoints) +
                    ": give a larger step");
  }
  std::vector<double> x, y;
  const double corners[5][2] = {
      {e.x0, e.y0}, {e.x1, e.y0}, {e.x1, e.y1}, {e.x0, e.y1}, {e.x0, e.y0}};
  for (int side = 0; side < 4; ++side) {
    const double* a = corners[side];
    const double* b = corners[side + 1];
    const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
    const long pieces = std::max(1L, static_cast<long>(std::ceil(length / step)));
    for (long k = 0; k < pieces; ++k) {
      const double t = static_cast<double>(k) / pieces;
      x.push_back(a[0] + (b[0] - a[0]) * t);
      y.push_back(a[1] + (b[1] - a[1]) * t);
    }
  }
  std::vector<double> h(x.size());
  std::vector<int> ok(x.size(), 1);
  geometry.pixelToGround(x.size(), x.data(), y.data(), h.data(), ok.data());
  Outline outline;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!ok[i]) {
      ++outline.missed;
      continue;
    }
    outline.lon.push_back(x[i]);
    outline.lat.push_back(y[i]);
    outline.height.push_back(h[i]);
  }
  if (!outline.lon.empty()) {
    outline.lon.push_back(outline.lon.front());
    outline.lat.push_back(outline.lat.front());
    outline.height.push_back(outline.height.front());
  }
  return outline;
}

}  // namespace senmod_io
