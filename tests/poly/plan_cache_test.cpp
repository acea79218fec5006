// One-point calls keep the plans they build: a section rewritten in place between calls, and
// more sections taken in turn than a thread keeps, give the bits of a section never seen before.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::Poly;
using model_builder::SectionPolynomials;

namespace {

struct Result {
  std::string message;
  double a = 0.0, b = 0.0;
  bool operator==(const Result& o) const {
    // Bits, so that a stale plan cannot hide behind a near value.
    return message == o.message && std::memcmp(&a, &o.a, sizeof a) == 0 &&
           std::memcmp(&b, &o.b, sizeof b) == 0;
  }
};

void PrintTo(const Result& r, std::ostream* os) {
  *os << "{\"" << r.message << "\", " << r.a << ", " << r.b << "}";
}

// One call of a one-point evaluator (both take a section, three inputs and two outputs).
using OnePoint = void (*)(const RSMFunctions*, double, double, double, double*, double*,
                          ErrorReport**);

Result call(OnePoint f, const RSMFunctions* s, double u, double v, double z) {
  Result r;
  ErrorReport* err = nullptr;
  f(s, u, v, z, &r.a, &r.b, &err);
  r.message = messageOf(err);
  herr_DeleteErrorReportEx(&err);
  return r;
}

// A cubic section of some zero coefficients, near sample = x, row = y, started from order 1.
SectionPolynomials cubic(double twist) {
  SectionPolynomials d;
  auto poly = [&](int lead, double scale) {
    Poly p{3, 3, 3, std::vector<double>(64, 0.0)};
    p.coef[0] = lead == 0 ? 1.0 : 0.0;
    p.coef[1] = lead == 1 ? 1.0 : 0.0;
    p.coef[4] = lead == 4 ? 1.0 : 0.0;
    for (int n : {5, 10, 17, 21, 42, 63}) p.coef[n] = scale * (n % 7 - 3) * 1e-3;
    return p;
  };
  d.sampleNumerator = poly(1, twist);
  d.sampleDenominator = poly(0, 0.5 * twist);
  d.rowNumerator = poly(4, -twist);
  d.rowDenominator = poly(0, 0.25 * twist);
  d.imageToGroundPoly = {1.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
  return d;
}

// Both one-point calls at a few points.
std::vector<Result> results(const RSMFunctions* s) {
  std::vector<Result> r;
  for (double t : {-0.4, 0.1, 0.7}) {
    r.push_back(call(smod_RationalPolynomialsToFileXY, s, t, 0.5 * t, 0.3));
    r.push_back(call(smod_RationalPolynomialsToMapXY, s, 0.2 * t, t, -0.6));
  }
  return r;
}

// The results of a section made from desc now, at an address no call has seen.
std::vector<Result> fresh(const SectionPolynomials& desc) {
  RSMFunctions* s = model_builder::makeSections({desc});
  std::vector<Result> r = results(s);
  smod_RationalPolynomialsFree(s, 1, nullptr);
  return r;
}

using PlanCache = HeapCheckedTest;

TEST_F(PlanCache, RewritesOfASectionInPlaceAreSeenByTheNextCall) {
  SectionPolynomials desc = cubic(1.0);
  RSMFunctions* s = model_builder::makeSections({desc});
  EXPECT_EQ(results(s), fresh(desc));
  // Each edit is made to the section's own arrays and fields, and to desc alike.
  struct Edit {
    const char* what;
    void (*apply)(RSMFunctions*, SectionPolynomials*);
  };
  const Edit edits[] = {
      {"a non-zero coefficient",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->sampleNumerator.data[5] = d->sampleNumerator.coef[5] = 0.25;
       }},
      {"a zero coefficient made non-zero",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->rowDenominator.data[30] = d->rowDenominator.coef[30] = 0.125;
       }},
      {"a coefficient made zero",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->rowNumerator.data[4] = d->rowNumerator.coef[4] = 0.0;
       }},
      {"denominators shared",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->sameDenominators = SMOD_TRUE;
         d->sameDenominators = true;
       }},
      {"normalisation on",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->useNormalization = SMOD_TRUE;
         d->useNormalization = true;
         f->Scales[3] = d->scales[3] = 2.0;
       }},
      {"a lower starting order",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->imageToGroundPoly.data[0] = d->imageToGroundPoly[0] = 0.0;
       }},
      // Order 3 needs 21 values of the 7 there: refused, never read past the array.
      {"a starting order that no longer fits",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->imageToGroundPoly.data[0] = d->imageToGroundPoly[0] = 3.0;
       }},
      {"a lower power",
       [](RSMFunctions* f, SectionPolynomials* d) {
         f->sampleNumeratorPowerZ = d->sampleNumerator.pz = 2;
         d->sampleNumerator.coef.resize(48);
       }},
      {"the solution marked invalid",
       [](RSMFunctions* f, SectionPolynomials*) { f->validSolution = SMOD_FALSE; }},
  };
  for (const Edit& e : edits) {
    e.apply(s, &desc);
    const std::vector<Result> expected =
        s->validSolution == SMOD_TRUE
            ? fresh(desc)
            : std::vector<Result>(6, Result{"Rational polynomials not available."});
    EXPECT_EQ(results(s), expected) << e.what;
  }
  smod_RationalPolynomialsFree(s, 1, nullptr);
}

TEST_F(PlanCache, MoreSectionsInTurnThanAThreadKeeps) {
  std::vector<SectionPolynomials> descs;
  for (int i = 0; i < 7; ++i) descs.push_back(cubic(1.0 + 0.5 * i));
  RSMFunctions* sections = model_builder::makeSections(descs);
  std::vector<std::vector<Result>> expected;
  for (const SectionPolynomials& d : descs) expected.push_back(fresh(d));
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 7; ++i) {
      // Forwards, then backwards, then the same section twice running.
      const int k = round == 1 ? 6 - i : round == 2 ? i / 2 : i;
      EXPECT_EQ(results(&sections[k]), expected[k]) << "round " << round << " section " << k;
    }
  smod_RationalPolynomialsFree(sections, 7, nullptr);
}

}  // namespace
