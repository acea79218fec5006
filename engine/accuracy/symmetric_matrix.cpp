#include "symmetric_matrix.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace senmod_io {

void symmetricEigen(const SymmetricMatrix& m, std::vector<double>* values,
                    SymmetricMatrix* vectors) {
  const size_t n = m.n;
  SymmetricMatrix a = m;
  SymmetricMatrix v(n);
  for (size_t i = 0; i < n; ++i) v(i, i) = 1.0;
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0, diagonal = 0.0;
    for (size_t i = 0; i < n; ++i) {
      diagonal += a(i, i) * a(i, i);
      for (size_t j = i + 1; j < n; ++j) off += a(i, j) * a(i, j);
    }
    if (off <= 1e-32 * diagonal) break;
    for (size_t p = 0; p < n; ++p) {
      for (size_t q = p + 1; q < n; ++q) {
        const double apq = a(p, q);
        if (apq == 0.0) continue;
        const double theta = (a(q, q) - a(p, p)) / (2.0 * apq);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::hypot(theta, 1.0));
        const double c = 1.0 / std::hypot(t, 1.0), s = t * c;
        for (size_t k = 0; k < n; ++k) {
          const double akp = a(k, p), akq = a(k, q);
          a(k, p) = c * akp - s * akq;
          a(k, q) = s * akp + c * akq;
        }
        for (size_t k = 0; k < n; ++k) {
          const double apk = a(p, k), aqk = a(q, k);
          a(p, k) = c * apk - s * aqk;
          a(q, k) = s * apk + c * aqk;
        }
        for (size_t k = 0; k < n; ++k) {
          const double vkp = v(k, p), vkq = v(k, q);
          v(k, p) = c * vkp - s * vkq;
          v(k, q) = s * vkp + c * vkq;
        }
      }
    }
  }
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t i, size_t j) { return a(i, i) < a(j, j); });
  values->resize(n);
  for (size_t k = 0; k < n; ++k) (*values)[k] = a(order[k], order[k]);
  if (!vectors) return;
  *vectors = SymmetricMatrix(n);
  for (size_t k = 0; k < n; ++k) {
    for (size_t i = 0; i < n; ++i) (*vectors)(i, k) = v(i, order[k]);
  }
}

bool choleskyInverse(const SymmetricMatrix& m, SymmetricMatrix* inverse) {
  const size_t n = m.n;
  SymmetricMatrix l(n);  // lower factor, m = L Lᵀ
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j <= i; ++j) {
      double s = m(i, j);
      for (size_t k = 0; k < j; ++k) s -= l(i, k) * l(j, k);
      if (i == j) {
        if (!(s > 0.0)) return false;
        l(i, i) = std::sqrt(s);
      } else {
        l(i, j) = s / l(j, j);
      }
    }
  }
  // L⁻¹, lower, then m⁻¹ = L⁻ᵀ L⁻¹.
  SymmetricMatrix li(n);
  for (size_t j = 0; j < n; ++j) {
    li(j, j) = 1.0 / l(j, j);
    for (size_t i = j + 1; i < n; ++i) {
      double s = 0.0;
      for (size_t k = j; k < i; ++k) s -= l(i, k) * li(k, j);
      li(i, j) = s / l(i, i);
    }
  }
  *inverse = SymmetricMatrix(n);
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j <= i; ++j) {
      double s = 0.0;
      for (size_t k = i; k < n; ++k) s += li(k, i) * li(k, j);
      (*inverse)(i, j) = (*inverse)(j, i) = s;
    }
  }
  return true;
}

std::vector<double> multiply(const SymmetricMatrix& m, const std::vector<double>& x) {
  std::vector<double> y(m.n, 0.0);
  for (size_t i = 0; i < m.n; ++i) {
    for (size_t j = 0; j < m.n; ++j) y[i] += m(i, j) * x[j];
  }
  return y;
}

}  // namespace senmod_io
