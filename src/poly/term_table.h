// The products x^i y^j z^k that every polynomial of a section is summed from, and the sums.
// The order of every operation is fixed: results must be bit-identical on every machine.
#ifndef SENMOD_POLY_TERM_TABLE_H
#define SENMOD_POLY_TERM_TABLE_H

namespace senmod {

// Highest power the table holds in each variable.
constexpr int kMaxPower = 5;
constexpr int kTableSide = kMaxPower + 1;

// Powers of one polynomial; any of them negative makes the polynomial empty.
struct Powers {
  int x;
  int y;
  int z;
};

// T[i][j][k] = x^i y^j z^k, k varying fastest. Only the corner up to the largest powers in use
// is filled; it lives on the caller's stack.
struct TermTable {
  double t[kTableSide][kTableSide][kTableSide];

  // Fills the corner up to (mX, mY, mZ), each at most kMaxPower, at (x, y, z).
  void fill(int mX, int mY, int mZ, double x, double y, double z) {
    double xp[kTableSide];
    double yp[kTableSide];
    double zp[kTableSide];
    xp[0] = 1.0;
    yp[0] = 1.0;
    zp[0] = 1.0;
    for (int i = 1; i <= mX; ++i) xp[i] = xp[i - 1] * x;
    for (int j = 1; j <= mY; ++j) yp[j] = yp[j - 1] * y;
    for (int k = 1; k <= mZ; ++k) zp[k] = zp[k - 1] * z;
    for (int k = 0; k <= mZ; ++k)
      for (int j = 0; j <= mY; ++j)
        for (int i = 0; i <= mX; ++i) t[i][j][k] = (xp[i] * yp[j]) * zp[k];
  }

  // Value of the polynomial with coefficients coef (x power fastest, then y, then z).
  double sum(const double* coef, Powers p) const {
    double value = 0.0;
    if (p.z < 0) return value;
    int n = 0;
    for (int k = 0; k <= p.z; ++k)
      for (int j = 0; j <= p.y; ++j)
        for (int i = 0; i <= p.x; ++i) value = value + coef[n++] * t[i][j][k];
    return value;
  }

  // Partial derivative with respect to x; the coefficients of x^0 terms are skipped.
  double derivativeX(const double* coef, Powers p) const {
    double value = 0.0;
    if (p.x <= 0 || p.z < 0) return value;
    for (int k = 0; k <= p.z; ++k)
      for (int j = 0; j <= p.y; ++j) {
        const int row = (p.x + 1) * (j + (p.y + 1) * k);
        for (int i = 1; i <= p.x; ++i)
          value = value + (static_cast<double>(i) * t[i - 1][j][k]) * coef[row + i];
      }
    return value;
  }

  // Partial derivative with respect to y; the coefficients of y^0 terms are skipped.
  double derivativeY(const double* coef, Powers p) const {
    double value = 0.0;
    if (p.y <= 0 || p.z < 0) return value;
    for (int k = 0; k <= p.z; ++k)
      for (int j = 1; j <= p.y; ++j) {
        const int row = (p.x + 1) * (j + (p.y + 1) * k);
        for (int i = 0; i <= p.x; ++i)
          value = value + (t[i][j - 1][k] * static_cast<double>(j)) * coef[row + i];
      }
    return value;
  }
};

}  // namespace senmod

#endif  // SENMOD_POLY_TERM_TABLE_H
