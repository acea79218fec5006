#include <cmath>

#include "hostmodel.h"

namespace {
constexpr int kMaxOrder = 10;
}

double hmod_PolyCalc(const double* coefficients, int32_t order, double x, double y) {
  if (coefficients == nullptr || order < 0 || order > kMaxOrder) return std::nan("");
  double xPower[kMaxOrder + 1];
  double yPower[kMaxOrder + 1];
  xPower[0] = 1.0;
  yPower[0] = 1.0;
  for (int i = 1; i <= order; ++i) {
    xPower[i] = xPower[i - 1] * x;
    yPower[i] = yPower[i - 1] * y;
  }
  double sum = 0.0;
  const double* c = coefficients;
  for (int degree = 0; degree <= order; ++degree) {
    for (int yDegree = 0; yDegree <= degree; ++yDegree) {
      sum += *c++ * xPower[degree - yDegree] * yPower[yDegree];
    }
  }
  return sum;
}
