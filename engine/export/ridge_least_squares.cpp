#include "ridge_least_squares.h"

#include <cmath>

namespace senmod_io {

std::vector<double> ridgeLeastSquares(const std::vector<double>& a, const std::vector<double>& b,
                                      size_t rows, size_t columns, double lambda) {
  // Column-major copy of [A; sqrt(lambda) I] and [b; 0].
  const size_t m = rows + columns;
  std::vector<double> q(m * columns, 0.0);
  std::vector<double> y(m, 0.0);
  const double ridge = std::sqrt(lambda);
  for (size_t j = 0; j < columns; ++j) {
    for (size_t i = 0; i < rows; ++i) q[j * m + i] = a[i * columns + j];
    q[j * m + rows + j] = ridge;
  }
  for (size_t i = 0; i < rows; ++i) y[i] = b[i];

  for (size_t k = 0; k < columns; ++k) {
    double* v = &q[k * m];
    double norm = 0.0;
    for (size_t i = k; i < m; ++i) norm += v[i] * v[i];
    norm = std::sqrt(norm);
    if (norm == 0.0) continue;
    const double alpha = v[k] > 0.0 ? -norm : norm;
    v[k] -= alpha;
    double vv = 0.0;
    for (size_t i = k; i < m; ++i) vv += v[i] * v[i];
    for (size_t j = k + 1; j < columns; ++j) {
      double* c = &q[j * m];
      double dot = 0.0;
      for (size_t i = k; i < m; ++i) dot += v[i] * c[i];
      const double f = 2.0 * dot / vv;
      for (size_t i = k; i < m; ++i) c[i] -= f * v[i];
    }
    double dot = 0.0;
    for (size_t i = k; i < m; ++i) dot += v[i] * y[i];
    const double f = 2.0 * dot / vv;
    for (size_t i = k; i < m; ++i) y[i] -= f * v[i];
    v[k] = alpha;  // R's diagonal
  }
  std::vector<double> x(columns, 0.0);
  for (size_t k = columns; k-- > 0;) {
    double sum = y[k];
    for (size_t j = k + 1; j < columns; ++j) sum -= q[j * m + k] * x[j];
    x[k] = sum / q[k * m + k];
  }
  return x;
}

}  // namespace senmod_io
