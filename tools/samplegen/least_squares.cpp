#include "least_squares.h"

#include <cmath>

namespace samplegen {

std::vector<double> leastSquares(std::vector<double> a, std::vector<double> b, int rows,
                                 int columns) {
  auto at = [&](int r, int c) -> double& { return a[static_cast<size_t>(r) * columns + c]; };
  for (int k = 0; k < columns; ++k) {
    double norm = 0.0;
    for (int r = k; r < rows; ++r) norm += at(r, k) * at(r, k);
    norm = std::sqrt(norm);
    const double alpha = at(k, k) > 0 ? -norm : norm;
    std::vector<double> v(rows - k);
    for (int r = k; r < rows; ++r) v[r - k] = at(r, k);
    v[0] -= alpha;
    double vv = 0.0;
    for (double x : v) vv += x * x;
    if (vv == 0.0) continue;
    for (int c = k; c < columns; ++c) {
      double s = 0.0;
      for (int r = k; r < rows; ++r) s += v[r - k] * at(r, c);
      s = 2.0 * s / vv;
      for (int r = k; r < rows; ++r) at(r, c) -= s * v[r - k];
    }
    double s = 0.0;
    for (int r = k; r < rows; ++r) s += v[r - k] * b[r];
    s = 2.0 * s / vv;
    for (int r = k; r < rows; ++r) b[r] -= s * v[r - k];
  }
  std::vector<double> x(columns);
  for (int k = columns - 1; k >= 0; --k) {
    double s = b[k];
    for (int c = k + 1; c < columns; ++c) s -= at(k, c) * x[c];
    x[k] = s / at(k, k);
  }
  return x;
}

}  // namespace samplegen
