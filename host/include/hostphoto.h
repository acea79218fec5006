/*
 * hostphoto: the host toolkit's photogrammetry services as senmod uses them.
 */
#ifndef HOSTPHOTO_H
#define HOSTPHOTO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Value at (x, y, z) of the three-variable polynomial of order 1 or 2 whose coefficients are,
 * for order 2, the ten terms 1, x, y, z, xx, xy, xz, yy, yz, zz (the order of the NITF RSMPIA
 * record) and for order 1 the first four. Another order or null coefficients give NaN. */
double hpho_RationalFunctionGetPolyValueDirect(const double* coefficients, double x, double y,
                                               double z, int32_t order);

#ifdef __cplusplus
}
#endif

#endif /* HOSTPHOTO_H */
