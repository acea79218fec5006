// Messages shared by the evaluators.
#ifndef SENMOD_POLY_MESSAGES_H
#define SENMOD_POLY_MESSAGES_H

#include <cmath>

namespace senmod {

constexpr const char* kPolynomialsNotAvailable = "Rational polynomials not available.";
constexpr const char* kInvalidDenominator = "Invalid denominator.";
constexpr const char* kPowerOutOfRange = "Polynomial power out of range.";
constexpr const char* kCountDoesNotFit = "Coefficient count does not fit the powers.";
constexpr const char* kStartDoesNotFit = "Starting polynomial does not fit its order.";
constexpr const char* kModelNotAvailable = "Replacement sensor model not available";
constexpr const char* kGroundFrameNotAvailable =
    "Rectangular ground domain's origin and rotation not available";
constexpr const char* kLowOrderNotAvailable = "Low-order polynomial not available";
constexpr const char* kPointNotFinite = "The point's coordinates are not finite numbers";

// False for a point that the one-point calls refuse with kPointNotFinite.
inline bool pointIsFinite(double x, double y, double z) {
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

}  // namespace senmod

#endif  // SENMOD_POLY_MESSAGES_H
