// Linear least squares with a Tikhonov term, for fits whose unknowns are nearly dependent.
#ifndef SENMOD_IO_RIDGE_LEAST_SQUARES_H
#define SENMOD_IO_RIDGE_LEAST_SQUARES_H

#include <cstddef>
#include <vector>

namespace senmod_io {

// The x minimising |A x - b|^2 + lambda |x|^2, for A of rows x columns (row-major; b of rows
// values; lambda > 0), by Householder QR of A stacked on sqrt(lambda) I, which keeps the
// condition of A rather than squaring it as the normal equations would.
std::vector<double> ridgeLeastSquares(const std::vector<double>& a, const std::vector<double>& b,
                                      size_t rows, size_t columns, double lambda);

}  // namespace senmod_io

#endif
