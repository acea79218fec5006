// Linear least squares by Householder QR.
#ifndef SMODTOOL_LEAST_SQUARES_H
#define SMODTOOL_LEAST_SQUARES_H

#include <vector>

namespace samplegen {

// The x minimising |A x - b| for A of rows x columns (row-major, rows >= columns, full rank).
std::vector<double> leastSquares(std::vector<double> a, std::vector<double> b, int rows,
                                 int columns);

}  // namespace samplegen

#endif
