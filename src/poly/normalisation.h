// Normalisation of a section's coordinates; index 0 x, 1 y, 2 z, 3 sample, 4 row.
#ifndef SENMOD_POLY_NORMALISATION_H
#define SENMOD_POLY_NORMALISATION_H

#include "senmod/senmod.h"

namespace senmod {

enum NormIndex { kGroundX = 0, kGroundY = 1, kGroundZ = 2, kSample = 3, kRow = 4 };

inline double normalise(const RSMFunctions& s, int m, double v) {
  return (v - s.Offsets[m]) / s.Scales[m];
}

inline double denormalise(const RSMFunctions& s, int m, double v) {
  return s.Scales[m] * v + s.Offsets[m];
}

}  // namespace senmod

#endif  // SENMOD_POLY_NORMALISATION_H
