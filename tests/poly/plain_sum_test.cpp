// The evaluator skips zero coefficients and fills only the powers it uses, and the inverter runs
// its points' Newton passes in vectors: on sections of every power pattern, half their
// coefficients zero, both still give the bits of the plain sums over every term of the table
// x^i y^j z^k = (x^i y^j) z^k and of the plain one-point Newton iteration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

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

// The x (wrtX) or y derivative, each term formed as (i * T) * coef or (T * j) * coef.
double plainSlope(const Poly& p, bool wrtX, double x, double y, double z) {
  double value = 0.0;
  if (p.px < 0 || p.py < 0 || p.pz < 0 || (wrtX ? p.px : p.py) == 0) return value;
  int n = 0;
  for (int k = 0; k <= p.pz; ++k)
    for (int j = 0; j <= p.py; ++j)
      for (int i = 0; i <= p.px; ++i, ++n) {
        if ((wrtX ? i : j) == 0) continue;
        const double t = wrtX ? (powerOf(x, i - 1) * powerOf(y, j)) * powerOf(z, k)
                              : (powerOf(x, i) * powerOf(y, j - 1)) * powerOf(z, k);
        value = value + (wrtX ? i * t : t * j) * p.coef[n];
      }
  return value;
}

double quotientSlope(double dn, double dq, double n, double q) {
  return (dn * q - dq * n) / (q * q);
}

// A section's normalisation: offset and scale of x, y, z, sample and row.
struct Normalisation {
  double offset[5], scale[5];
};

// The plain Newton iteration from (0, 0), counting its passes; false at a zero denominator. With
// a normalisation, the image point, the height and the start are normalised first and the ground
// point taken back.
bool plainInversion(const SectionPolynomials& s, const Normalisation* norm, double sample,
                    double row, double z, double* x, double* y, int* passes) {
  double gx = 0.0, gy = 0.0, dx = 0.0, dy = 0.0, largest = 1.001;
  const auto normalise = [&](int m, double v) { return (v - norm->offset[m]) / norm->scale[m]; };
  if (norm) {
    gx = normalise(0, gx);
    gy = normalise(1, gy);
    z = normalise(2, z);
    sample = normalise(3, sample);
    row = normalise(4, row);
  }
  for (*passes = 0; largest > 1e-8;) {
    gx = gx + dx;
    gy = gy + dy;
    const double ns = plainSum(s.sampleNumerator, gx, gy, z);
    const double ds = plainSum(s.sampleDenominator, gx, gy, z);
    const double nr = plainSum(s.rowNumerator, gx, gy, z);
    const double dr = s.sameDenominators ? ds : plainSum(s.rowDenominator, gx, gy, z);
    if (ds == 0.0 || dr == 0.0) return false;
    const double sx = quotientSlope(plainSlope(s.sampleNumerator, true, gx, gy, z),
                                    plainSlope(s.sampleDenominator, true, gx, gy, z), ns, ds);
    const double sy = quotientSlope(plainSlope(s.sampleNumerator, false, gx, gy, z),
                                    plainSlope(s.sampleDenominator, false, gx, gy, z), ns, ds);
    const double rx = quotientSlope(plainSlope(s.rowNumerator, true, gx, gy, z),
                                    plainSlope(s.rowDenominator, true, gx, gy, z), nr, dr);
    const double ry = quotientSlope(plainSlope(s.rowNumerator, false, gx, gy, z),
                                    plainSlope(s.rowDenominator, false, gx, gy, z), nr, dr);
    const double es = sample - ns / ds;
    const double er = row - nr / dr;
    dy = (er * sx - es * rx) / (ry * sx - rx * sy);
    dx = std::fabs(rx) < std::fabs(sx) ? (es - sy * dy) / sx : (er - ry * dy) / rx;
    largest = std::fabs(dy) > std::fabs(dx) ? std::fabs(dy) : std::fabs(dx);
    if (++*passes == 5) break;
  }
  *x = gx + dx;
  *y = gy + dy;
  if (norm) {
    *x = norm->scale[0] * *x + norm->offset[0];
    *y = norm->scale[1] * *y + norm->offset[1];
  }
  return true;
}

bool sameBits(double a, double b) {
  uint64_t ua, ub;
  std::memcpy(&ua, &a, sizeof a);
  std::memcpy(&ub, &b, sizeof b);
  return ua == ub || (std::isnan(a) && std::isnan(b));
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

// Random polynomials of every power pattern: numerators with constant c and -c, denominators
// with constant 3; every third section shares its denominators.
SectionPolynomials randomSection(std::mt19937_64& random, double c, int m) {
  SectionPolynomials desc;
  desc.sampleNumerator = randomPoly(random, c);
  desc.sampleDenominator = randomPoly(random, 3.0);
  desc.rowNumerator = randomPoly(random, -c);
  desc.rowDenominator = randomPoly(random, 3.0);
  desc.sameDenominators = m % 3 == 0;
  return desc;
}

// Random polynomials that share their powers (0 ... 3) and their zero coefficients, as cubic
// rational functions usually do, the terms of degree 0 and 1 always held; with byDegree, only
// the terms of total degree up to the highest power are non-zero. Every third section shares its
// denominators.
SectionPolynomials alikeSection(std::mt19937_64& random, double c, int m, bool byDegree) {
  std::uniform_int_distribution<int> power(0, 3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int px = power(random), py = power(random), pz = power(random);
  const int highest = std::max(px, std::max(py, pz));
  std::vector<bool> held;
  for (int k = 0; k <= pz; ++k)
    for (int j = 0; j <= py; ++j)
      for (int i = 0; i <= px; ++i)
        held.push_back(byDegree ? i + j + k <= highest : i + j + k <= 1 || unit(random) > -0.5);
  const auto poly = [&](double constant) {
    Poly p{px, py, pz, std::vector<double>(held.size(), 0.0)};
    for (size_t n = 0; n < held.size(); ++n)
      if (held[n]) p.coef[n] = unit(random);
    p.coef[0] = constant;
    return p;
  };
  SectionPolynomials desc;
  desc.sampleNumerator = poly(c);
  desc.sampleDenominator = poly(3.0);
  desc.rowNumerator = poly(-c);
  desc.sameDenominators = m % 3 == 0;
  desc.rowDenominator = desc.sameDenominators ? desc.sampleDenominator : poly(3.0);
  return desc;
}

TEST(PlainSum, EvaluationGivesThePlainSumsBits) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int m = 0; m < 200; ++m) {
    const SectionPolynomials desc = randomSection(random, 0.5, m);
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

// Sections near sample = 2x, row = 2y, so that most points converge in two to five passes and
// some do not; empty denominators fail at the first pass. Counts the points by their passes.
// With a normalisation, the section takes it and the points lie where it maps them near 0.
void expectPlainInversions(SectionPolynomials desc, std::mt19937_64& random, int m,
                           int (&withPasses)[6], const Normalisation* norm = nullptr) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (Poly* p : {&desc.sampleNumerator, &desc.rowNumerator})
    for (double& c : p->coef) c *= 0.3;
  Poly& sn = desc.sampleNumerator;
  Poly& rn = desc.rowNumerator;
  if (sn.px >= 1 && sn.py >= 0 && sn.pz >= 0) sn.coef[1] += 6.0;
  if (rn.py >= 1 && rn.px >= 0 && rn.pz >= 0) rn.coef[rn.px + 1] += 6.0;
  RSMFunctions* section = model_builder::makeSections({desc});
  if (norm) {
    section->useNormalization = SMOD_TRUE;
    for (int k = 0; k < 5; ++k) {
      section->Offsets[k] = norm->offset[k];
      section->Scales[k] = norm->scale[k];
    }
  }
  const auto raw = [&](int k, double v) { return norm ? norm->offset[k] + norm->scale[k] * v : v; };
  for (int p = 0; p < 40; ++p) {
    const double sample = raw(3, unit(random)), row = raw(4, unit(random)),
                 z = raw(2, unit(random));
    double want[2] = {7.0, 7.0};
    int passes;
    const bool wantOk = plainInversion(desc, norm, sample, row, z, &want[0], &want[1], &passes);
    double got[2] = {7.0, 7.0};
    ErrorReport* err = nullptr;
    smod_RationalPolynomialsToMapXY(section, sample, row, z, &got[0], &got[1], &err);
    ASSERT_EQ(err == nullptr, wantOk) << "model " << m << " point " << p;
    herr_DeleteErrorReportEx(&err);
    if (wantOk) ++withPasses[passes];
    EXPECT_TRUE(sameBits(got[0], want[0]) && sameBits(got[1], want[1]))
        << "model " << m << " point " << p << ": " << got[0] << " " << got[1] << " against "
        << want[0] << " " << want[1];
  }
  smod_RationalPolynomialsFree(section, 1, nullptr);
}

TEST(PlainSum, InversionGivesThePlainNewtonIterationsBits) {
  std::mt19937_64 random(5);
  int withPasses[6] = {};
  for (int m = 0; m < 200; ++m)
    expectPlainInversions(randomSection(random, 0.1, m), random, m, withPasses);
  // Every pass count occurs, so that the later passes' vectors hold mixed points.
  for (int passes = 1; passes <= 5; ++passes) EXPECT_GT(withPasses[passes], 10) << passes;
}

// Sections whose four polynomials share their terms, which the inverter may sum without its
// table: whole boxes with zeros, and terms up to a total degree.
TEST(PlainSum, InversionOfSectionsAlikeGivesThePlainNewtonIterationsBits) {
  std::mt19937_64 random(7);
  int withPasses[6] = {};
  for (int m = 0; m < 200; ++m)
    expectPlainInversions(alikeSection(random, 0.1, m, m % 2 == 1), random, m, withPasses);
  // Points take three to five passes, so that the later passes' vectors hold mixed points.
  for (int passes = 3; passes <= 5; ++passes) EXPECT_GT(withPasses[passes], 10) << passes;
}

// Normalised sections, whose start 0, 0 is normalised once per plan: sections of every power
// pattern (summed through the table) and sections alike (summed without it on AVX-512).
TEST(PlainSum, InversionOfNormalisedSectionsGivesThePlainNewtonIterationsBits) {
  std::mt19937_64 random(9);
  const Normalisation norm{{0.3, -0.7, 120.0, 512.5, -40.25}, {1.5, 0.25, 400.0, 640.0, 96.0}};
  int withPasses[6] = {};
  for (int m = 0; m < 100; ++m) {
    expectPlainInversions(randomSection(random, 0.1, m), random, m, withPasses, &norm);
    expectPlainInversions(alikeSection(random, 0.1, m, m % 2 == 1), random, m, withPasses, &norm);
  }
  for (int passes = 2; passes <= 5; ++passes) EXPECT_GT(withPasses[passes], 10) << passes;
}

}  // namespace
