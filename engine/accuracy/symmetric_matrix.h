// Small dense symmetric matrices (a few dozen rows: covariances, normal equations): factorised,
// inverted and taken apart into eigenvalues, plainly.
#ifndef SENMOD_IO_SYMMETRIC_MATRIX_H
#define SENMOD_IO_SYMMETRIC_MATRIX_H

#include <cstddef>
#include <vector>

namespace senmod_io {

// An n × n matrix, row-major.
struct SymmetricMatrix {
  size_t n = 0;
  std::vector<double> a;

  explicit SymmetricMatrix(size_t size = 0) : n(size), a(size * size, 0.0) {}
  double& operator()(size_t i, size_t j) { return a[i * n + j]; }
  double operator()(size_t i, size_t j) const { return a[i * n + j]; }
};

// The eigenvalues (ascending) and eigenvectors (column k of vectors, row-major n × n, belongs
// to values[k]; vectors may be null) of m, by cyclic Jacobi rotations: accurate to rounding for
// any symmetric m.
void symmetricEigen(const SymmetricMatrix& m, std::vector<double>* values,
                    SymmetricMatrix* vectors);

// The inverse of a positive definite m by its Cholesky factor; false when m is not positive
// definite (a pivot not above zero), leaving inverse unspecified.
bool choleskyInverse(const SymmetricMatrix& m, SymmetricMatrix* inverse);

// y = m x.
std::vector<double> multiply(const SymmetricMatrix& m, const std::vector<double>& x);

}  // namespace senmod_io

#endif
