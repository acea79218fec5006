// The evaluator skips zero coefficients and fills only the powers it uses: on sections of every
// power pattern, half their coefficients zero, it still gives the bits of the plain sum over
// every term of the table x^i y^j z^k = (x^i y^j) z^k.
#include <gtest/gtest.h>

#include <random>

#include "support/model_builder.h"

namespace {

using model_builder::Poly;
using model_builder::SectionPolynomials;

double powerOf(double v, int n) {
  double p = 1.0;
  for (int i = 1; i <= n; ++i) p = p * v;
  return p;
}

double plainSum(const Poly& p, double x, double y, double z) {
  double value = 0.0;
  if (p.px < 0 || p.py < 0 || p.pz < 0) return value;
  int n = 0;
  for (int k = 0; k <= p.pz; ++k)
    for (int j = 0; j <= p.py; ++j)
      for (int i = 0; i <= p.px; ++i)
        value = value + p.coef[n++] * ((powerOf(x, i) * powerOf(y, j)) * powerOf(z, k));
  return value;
}

Poly randomPoly(std::mt19937_64& random, double constant) {
  std::uniform_int_distribution<int> power(-1, 5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Poly p{power(random), power(random), power(random), {}};
  if (p.px < 0 || p.py < 0 || p.pz < 0) return p;
  p.coef.assign((p.px + 1) * (p.py + 1) * (p.pz + 1), 0.0);
  for (double& c : p.coef)
    if (unit(random) > 0.0) c = unit(random);
  p.coef[0] = constant;
  return p;
}

TEST(PlainSum, EvaluationGivesThePlainSumsBits) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int m = 0; m < 200; ++m) {
    SectionPolynomials desc;
    desc.sampleNumerator = randomPoly(random, 0.5);
    desc.sampleDenominator = randomPoly(random, 3.0);
    desc.rowNumerator = randomPoly(random, -0.5);
    desc.rowDenominator = randomPoly(random, 3.0);
    desc.sameDenominators = m % 3 == 0;
    RSMFunctions* section = model_builder::makeSections({desc});
    for (int p = 0; p < 50; ++p) {
      const double x = unit(random), y = unit(random), z = unit(random);
      const double ds = plainSum(desc.sampleDenominator, x, y, z);
      const double dr = desc.sameDenominators ? ds : plainSum(desc.rowDenominator, x, y, z);
      double sample, row;
      ErrorReport* err = nullptr;
      smod_RationalPolynomialsToFileXY(section, x, y, z, &sample, &row, &err);
      ASSERT_EQ(err != nullptr, ds == 0.0 || dr == 0.0) << "model " << m;
      herr_DeleteErrorReportEx(&err);
      if (ds == 0.0 || dr == 0.0) continue;
      EXPECT_EQ(sample, plainSum(desc.sampleNumerator, x, y, z) / ds) << "model " << m;
      EXPECT_EQ(row, plainSum(desc.rowNumerator, x, y, z) / dr) << "model " << m;
    }
    smod_RationalPolynomialsFree(section, 1, nullptr);
  }
}

}  // namespace
