// Messages shared by the evaluators.
#ifndef SENMOD_POLY_MESSAGES_H
#define SENMOD_POLY_MESSAGES_H

namespace senmod {

constexpr const char* kPolynomialsNotAvailable = "Rational polynomials not available.";
constexpr const char* kInvalidDenominator = "Invalid denominator.";
constexpr const char* kPowerOutOfRange = "Polynomial power out of range.";
constexpr const char* kCountDoesNotFit = "Coefficient count does not fit the powers.";
constexpr const char* kStartDoesNotFit = "Starting polynomial does not fit its order.";
constexpr const char* kModelNotAvailable = "Replacement sensor model not available";

}  // namespace senmod

#endif  // SENMOD_POLY_MESSAGES_H
