#include <cmath>

#include "hostphoto.h"

double hpho_RationalFunctionGetPolyValueDirect(const double* coefficients, double x, double y,
                                               double z, int32_t order) {
  if (coefficients == nullptr) return std::nan("");
  const double* c = coefficients;
  if (order == 1) return c[0] + c[1] * x + c[2] * y + c[3] * z;
  if (order != 2) return std::nan("");
  return c[0] + c[1] * x + c[2] * y + c[3] * z + c[4] * x * x + c[5] * x * y + c[6] * x * z +
         c[7] * y * y + c[8] * y * z + c[9] * z * z;
}
