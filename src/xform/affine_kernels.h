// The affines around the model over a chunk of points, in vector lanes: each point takes
// (a0 x + a1 y) + a2 and (a3 x + a4 y) + a5 as the plain per-point code forms them.
#ifndef SENMOD_XFORM_AFFINE_KERNELS_H
#define SENMOD_XFORM_AFFINE_KERNELS_H

#include <cstdint>

namespace senmod {

// Points j < n of in (x, y, z triples, or x, y pairs when z is null) through affine a into
// (u[j], v[j]), the z copied into z[j].
void affineIn(const double* a, int32_t n, const double* in, double* u, double* v, double* z);

// Points (x[j], y[j]), j < n, through affine a into out as x, y pairs.
void affineOut(const double* a, int32_t n, const double* x, const double* y, double* out);

}  // namespace senmod

#endif  // SENMOD_XFORM_AFFINE_KERNELS_H
