// Ninety-per-cent radii of normal errors.
#ifndef SENMOD_IO_CIRCULAR_ERROR_H
#define SENMOD_IO_CIRCULAR_ERROR_H

namespace senmod_io {

// The one-dimensional 90 % factor: LE90 = kLinear90 σ.
constexpr double kLinear90 = 1.6448536269514722;

// CE90: the radius (m) of the circle about the mean that holds 90 % of a zero-mean bivariate
// normal with covariance [[xx, xy], [xy, yy]] (m²). Exact to a relative 1e-9 for any
// elongation: 2.1460 σ for a round error, 1.6449 σ for one along a line. NaN for a covariance
// that is not finite or not positive semi-definite beyond rounding.
double circularError90(double xx, double xy, double yy);

}  // namespace senmod_io

#endif
