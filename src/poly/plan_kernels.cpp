// Compiled once per vector target; the widest one the processor runs is chosen at the first
// call. Multiplies and adds stay separate operations (the build does not contract them), so a
// lane computes what the plain per-point code computes.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "poly/plan_kernels.cpp"
#include "poly/plan_kernels.h"

#include <cstring>

#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"
#include "poly/normalisation.h"

HWY_BEFORE_NAMESPACE();
namespace senmod {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);
constexpr double kTolerance = 1e-8;
// Degrees per radian (180 / pi as a double), as the ground-domain conversion takes it.
constexpr double kRho = 57.29577951308232;
constexpr int kMaxPasses = 5;
// Coefficients of each half (sample, row) of the low-order polynomial.
constexpr int kLowOrderHalf = 10;

// Vectors of the plan's table entries, entry e at table + e * lanes.
struct Table {
  HWY_ALIGN double t[kTableSlots * kMaxLanes];
};

HWY_INLINE V normalised(D d, const RSMFunctions& s, int m, V v) {
  return hn::Div(hn::Sub(v, hn::Set(d, s.Offsets[m])), hn::Set(d, s.Scales[m]));
}

HWY_INLINE V denormalised(D d, const RSMFunctions& s, int m, V v) {
  return hn::Add(hn::Mul(hn::Set(d, s.Scales[m]), v), hn::Set(d, s.Offsets[m]));
}

// The table's constant slots, which no fill changes.
HWY_INLINE void setConstants(D d, Table* table) {
  for (int c = 0; c < kConstantSlots; ++c) hn::Store(hn::Set(d, c), d, table->t + c * hn::Lanes(d));
}

// The powers 0 ... M of x, y and z, each the previous one times the variable, in registers once
// the loops that index them are unrolled.
template <int M>
struct PowersUpTo {
  HWY_INLINE PowersUpTo(D d, V u, V v, V w) {
    x[0] = y[0] = z[0] = hn::Set(d, 1.0);
#pragma GCC unroll 8
    for (int n = 1; n <= M; ++n) {
      x[n] = n == 1 ? u : hn::Mul(x[n - 1], u);
      y[n] = n == 1 ? v : hn::Mul(y[n - 1], v);
      z[n] = n == 1 ? w : hn::Mul(z[n - 1], w);
    }
  }
  // x^i y^j as the plan forms it.
  HWY_INLINE V xy(int i, int j) const {
    return i == 0 ? y[j] : j == 0 ? x[i] : hn::Mul(x[i], y[j]);
  }
  V x[M + 1], y[M + 1], z[M + 1];
};

// The plan's table at (x, y, z), its constants set, for plans whose powers are at most M, from
// powers held in registers: each product is formed from them as the plan prescribes.
template <int M>
HWY_INLINE void fillUpTo(D d, const SectionPlan& p, V x, V y, V z, Table* table) {
  const size_t lanes = hn::Lanes(d);
  double* t = table->t;
  const PowersUpTo<M> w(d, x, y, z);
#pragma GCC unroll 8
  for (int n = 1; n <= M; ++n) {
    if (n <= p.mX) hn::Store(w.x[n], d, t + p.xPower[n] * lanes);
    if (n <= p.mY) hn::Store(w.y[n], d, t + p.yPower[n] * lanes);
    if (n <= p.mZ) hn::Store(w.z[n], d, t + p.zPower[n] * lanes);
  }
#pragma GCC unroll 8
  for (int j = 0; j <= M; ++j) {
#pragma GCC unroll 8
    for (int i = 0; i <= M; ++i) {
      const int highest = p.highestZ[i][j];
      if (highest < 0) continue;
      const V xy = w.xy(i, j);
      if (i > 0 && j > 0) hn::Store(xy, d, t + p.term[i][j][0] * lanes);
#pragma GCC unroll 8
      for (int k = 1; k <= M; ++k) {
        if (k > highest) break;
        const uint16_t slot = p.term[i][j][k];
        if (slot != kNoSlot) hn::Store(hn::Mul(xy, w.z[k]), d, t + slot * lanes);
      }
    }
  }
}

// The same for any plan: the powers, then each group's x^i y^j once, from x^i and y^j as the
// table holds them, and its products with the powers of z, which stay in registers.
HWY_INLINE void fillByGroups(D d, const SectionPlan& p, V x, V y, V z, Table* table) {
  const size_t lanes = hn::Lanes(d);
  double* t = table->t;
  V power = x;
  for (int n = 1; n <= p.mX; ++n) {
    if (n > 1) power = hn::Mul(power, x);
    hn::Store(power, d, t + p.xPower[n] * lanes);
  }
  power = y;
  for (int n = 1; n <= p.mY; ++n) {
    if (n > 1) power = hn::Mul(power, y);
    hn::Store(power, d, t + p.yPower[n] * lanes);
  }
  V zs[kTableSide];
  zs[0] = hn::Set(d, 1.0);
#pragma GCC unroll 8
  for (int n = 1; n < kTableSide; ++n) {
    zs[n] = n == 1 ? z : hn::Mul(zs[n - 1], z);
    if (n <= p.mZ) hn::Store(zs[n], d, t + p.zPower[n] * lanes);
  }
  for (int32_t g = 0; g < p.groups; ++g) {
    const TermGroup& e = p.group[g];
    const V xy = hn::Mul(hn::Load(d, t + e.x * lanes), hn::Load(d, t + e.y * lanes));
    if (e.xy != kNoSlot) hn::Store(xy, d, t + e.xy * lanes);
#pragma GCC unroll 8
    for (int k = 1; k < kTableSide; ++k) {
      if (k > e.highest) break;
      if (e.z[k] != kNoSlot) hn::Store(hn::Mul(xy, zs[k]), d, t + e.z[k] * lanes);
    }
  }
}

// Plans of powers up to 3 (cubic sections, the common case) fill from registers; unrolling the
// same for higher powers would cost far more code than it saves time.
HWY_INLINE void fill(D d, const SectionPlan& p, V x, V y, V z, Table* table) {
  switch (highestPower(p)) {
    case 0:
      return;
    case 1:
      return fillUpTo<1>(d, p, x, y, z, table);
    case 2:
      return fillUpTo<2>(d, p, x, y, z, table);
    case 3:
      return fillUpTo<3>(d, p, x, y, z, table);
    default:
      return fillByGroups(d, p, x, y, z, table);
  }
}

// On AVX-512 a multiplication can read a coefficient from memory and broadcast it to every lane as
// part of the operation, where a separate broadcast costs a vector operation of its own (a whole
// one on processors that run 512-bit operations in two halves). The compiler shares one broadcast
// between the multiplications that use the same coefficient and folds a table load, rather than the
// coefficient or factor, into a multiplication; these two hints undo both.

// Sets of[u] to sums for each of N vectors, through pointers the compiler cannot prove equal, so
// that each vector's multiplications read their coefficients themselves.
template <typename Sums, int N>
HWY_INLINE void perVector(const Sums& sums, const Sums* (&of)[N]) {
  for (int u = 0; u < N; ++u) {
    const Sums* p = &sums;
#if HWY_TARGET <= HWY_AVX3
    if (u > 0) asm("" : "+r"(p));
#endif
    of[u] = p;
  }
}

// v, held in a register so that the multiplication that takes it reads its other operand, a
// coefficient or a derivative's factor, from memory.
HWY_INLINE V inRegister(V v) {
#if HWY_TARGET <= HWY_AVX3
  asm("" : "+v"(v.raw));
#endif
  return v;
}

// The table entry of term n of sum k.
template <typename Sums>
HWY_INLINE V entry(D d, const Sums& sums, int k, int32_t n, const Table& table) {
  return hn::Load(d, table.t + sums.slot[k][n] * hn::Lanes(d));
}

// Value sum k plus its term n, whose table entry is t.
HWY_INLINE V addValue(D d, V value, const ValueSums& sums, int k, int32_t n, V t) {
  return hn::Add(value, hn::Mul(hn::Set(d, sums.coef[k][n]), t));
}

// The factor times the table entry of term n of derivative sum k.
HWY_INLINE V slopeEntry(D d, const SlopeSums& sums, int k, int32_t n, const Table& table) {
  return hn::Mul(hn::Set(d, sums.factor[k][n]), inRegister(entry(d, sums, k, n, table)));
}

// The first K value sums of N vectors of points, tables[0 .. N), advancing together (each in its
// own register) so that their additions overlap; with Same, every sum's term n reads the entry of
// sum 0's. Sum k of vector v goes to out[v * kPolys + k].
template <int K, bool Same, int N>
HWY_NOINLINE void valueSums(D d, const ValueSums& sums, const Table* tables, V* out) {
  V v[N][kPolys];
#pragma GCC unroll 2
  for (int u = 0; u < N; ++u)
#pragma GCC unroll 4
    for (int k = 0; k < kPolys; ++k) v[u][k] = hn::Zero(d);
  const ValueSums* of[N];
  perVector(sums, of);
  for (int32_t n = 0; n < sums.count; ++n) {
    V t[N];
#pragma GCC unroll 2
    for (int u = 0; u < N; ++u) t[u] = entry(d, sums, 0, n, tables[u]);
#pragma GCC unroll 4
    for (int k = 0; k < K; ++k)
#pragma GCC unroll 2
      for (int u = 0; u < N; ++u)
        v[u][k] = hn::Add(
            v[u][k], hn::Mul(hn::Set(d, of[u]->coef[k][n]),
                             Same || k == 0 ? t[u] : inRegister(entry(d, sums, k, n, tables[u]))));
  }
#pragma GCC unroll 2
  for (int u = 0; u < N; ++u)
#pragma GCC unroll 4
    for (int k = 0; k < kPolys; ++k) out[u * kPolys + k] = v[u][k];
}

// The eight derivative sums of N vectors of points, advancing together as the value sums do; with
// Same, the x sums take the entries of sum 0's terms and the y sums those of sum 1's. Sum k of
// vector v goes to out[v * 2 * kPolys + k].
template <bool Same, int N>
HWY_NOINLINE void slopeSums(D d, const SlopeSums& sums, const Table* tables, V* out) {
  V v[N][2 * kPolys];
#pragma GCC unroll 2
  for (int u = 0; u < N; ++u)
#pragma GCC unroll 8
    for (int k = 0; k < 2 * kPolys; ++k) v[u][k] = hn::Zero(d);
  const SlopeSums* of[N];
  perVector(sums, of);
  for (int32_t n = 0; n < sums.count; ++n) {
    V t[N][2];
#pragma GCC unroll 2
    for (int u = 0; u < N; ++u) {
      t[u][0] = slopeEntry(d, *of[u], 0, n, tables[u]);
      t[u][1] = slopeEntry(d, *of[u], 1, n, tables[u]);
    }
#pragma GCC unroll 8
    for (int k = 0; k < 2 * kPolys; ++k)
#pragma GCC unroll 2
      for (int u = 0; u < N; ++u)
        v[u][k] = hn::Add(
            v[u][k], hn::Mul(Same || k < 2 ? t[u][k % 2] : slopeEntry(d, *of[u], k, n, tables[u]),
                             hn::Set(d, of[u]->coef[k][n])));
  }
#pragma GCC unroll 2
  for (int u = 0; u < N; ++u)
#pragma GCC unroll 8
    for (int k = 0; k < 2 * kPolys; ++k) out[u * 2 * kPolys + k] = v[u][k];
}

// The values of the four polynomials at N tables, the row denominator's only when it is not shared.
template <int N>
HWY_INLINE void values(D d, const SectionPlan& p, const Table* tables, V* out) {
  if (p.shared) {
    if (p.sameValueSlots) return valueSums<3, true, N>(d, p.values, tables, out);
    return valueSums<3, false, N>(d, p.values, tables, out);
  }
  if (p.sameValueSlots) return valueSums<kPolys, true, N>(d, p.values, tables, out);
  valueSums<kPolys, false, N>(d, p.values, tables, out);
}

template <int N>
HWY_INLINE void slopes(D d, const SectionPlan& p, const Table* tables, V* out) {
  if (p.sameSlopeSlots) return slopeSums<true, N>(d, p.slopes, tables, out);
  slopeSums<false, N>(d, p.slopes, tables, out);
}

// The starting polynomial's half c of the given order at image point (u, v), term by term in
// the order of hmod_PolyCalc: the sum of (c * u^(degree - j)) * v^j over degree and j.
HWY_INLINE V startPoly(D d, const double* c, int order, V u, V v) {
  V uPower[kMaxStartOrder + 1];
  V vPower[kMaxStartOrder + 1];
  uPower[0] = hn::Set(d, 1.0);
  vPower[0] = uPower[0];
  for (int i = 1; i <= order; ++i) {
    uPower[i] = hn::Mul(uPower[i - 1], u);
    vPower[i] = hn::Mul(vPower[i - 1], v);
  }
  V sum = hn::Zero(d);
  for (int degree = 0; degree <= order; ++degree)
    for (int j = 0; j <= degree; ++j)
      sum = hn::Add(sum, hn::Mul(hn::Mul(hn::Set(d, *c++), uPower[degree - j]), vPower[j]));
  return sum;
}

// Derivative of the quotient n / q from the derivatives of n and q.
HWY_INLINE V quotientSlope(V dn, V dq, V n, V q) {
  return hn::Div(hn::Sub(hn::Mul(dn, q), hn::Mul(dq, n)), hn::Mul(q, q));
}

// Stores the results a and b of one vector, taken back from normalised values at norm indices
// ia and ib when the plan is normalised.
HWY_INLINE void storeResults(D d, const SectionPlan& p, NormIndex ia, NormIndex ib, V a, V b,
                             double* outA, double* outB) {
  if (p.normalised) {
    a = denormalised(d, *p.section, ia, a);
    b = denormalised(d, *p.section, ib, b);
  }
  hn::StoreU(a, d, outA);
  hn::StoreU(b, d, outB);
}

// The lanes of a mask as bits, lane i at bit i.
HWY_INLINE uint64_t maskBits(D d, hn::Mask<D> mask) {
  uint8_t bytes[8] = {};
  hn::StoreMaskBits(d, mask, bytes);
  uint64_t bits;
  std::memcpy(&bits, bytes, sizeof bits);
  return bits;
}

// ok[i] = 0 for the lanes i < real that failed, 1 for the others, without branches.
HWY_INLINE void writeOk(D d, hn::Mask<D> failed, size_t real, uint8_t* ok) {
  const uint64_t bits = maskBits(d, failed);
  for (size_t i = 0; i < real; ++i) ok[i] = static_cast<uint8_t>(((bits >> i) & 1) ^ 1);
}

// t times a derivative's factor f, as the sums take it: a factor 1 or 2 exactly without a
// multiplication (t + t is 2 t, rounded alike).
HWY_INLINE V timesFactor(D d, V t, int f) {
  if (f == 1) return t;
  if (f == 2) return hn::Add(t, t);
  return hn::Mul(hn::Set(d, f), t);
}

// The value sums (the first K) of a plan with a value box at (x, y, z), and with Slopes its
// derivative sums from its slope boxes, for plans whose powers are at most M (with ByDegree,
// whose boxes hold no entry of total degree above M), without the table: each entry is formed
// once, as the fill forms it, and added to every sum that takes it. Entries come in the order of
// the value sums, which is also that of each derivative sum's terms, so every sum adds its terms
// in its own order. Even where the products do not all fit in registers this beats storing and
// reloading them. Sums in the order of ValueSums into v, of SlopeSums into g.
template <int M, int K, bool ByDegree, bool Slopes>
HWY_NOINLINE void boxSums(D d, const SectionPlan& p, V x, V y, V z, V* v, V* g) {
  const PowersUpTo<M> w(d, x, y, z);
  V xy[M + 1][M + 1];
#pragma GCC unroll 8
  for (int j = 0; j <= M; ++j)
#pragma GCC unroll 8
    for (int i = 0; i <= M; ++i) xy[i][j] = w.xy(i, j);
  // The sums in named registers: an array of them would live on the stack.
  V v0 = hn::Zero(d), v1 = v0, v2 = v0, v3 = v0;
  V x0 = v0, x1 = v0, x2 = v0, x3 = v0, y0 = v0, y1 = v0, y2 = v0, y3 = v0;
  const uint64_t values = p.valueBox;
  const uint64_t xs = Slopes ? p.xSlopeBox : 0;
  const uint64_t ys = Slopes ? p.ySlopeBox : 0;
  const SlopeSums& slopes = p.slopes;
  // Term m of the four x (first 0) or y (first 1) derivative sums s0 ... s3, its entry times
  // its factor being f.
  const auto addSlopes = [&](V& s0, V& s1, V& s2, V& s3, int first, int32_t& m, V f) {
    const auto term = [&](int q) { return hn::Mul(f, hn::Set(d, slopes.coef[first + 2 * q][m])); };
    s0 = hn::Add(s0, term(0));
    s1 = hn::Add(s1, term(1));
    s2 = hn::Add(s2, term(2));
    s3 = hn::Add(s3, term(3));
    ++m;
  };
  int32_t n = 0, nx = 0, ny = 0;
#pragma GCC unroll 8
  for (int k = 0; k <= M; ++k)
#pragma GCC unroll 8
    for (int j = 0; j <= M; ++j)
#pragma GCC unroll 8
      for (int i = 0; i <= M; ++i) {
        if (ByDegree && i + j + k > M) continue;
        const int bit = boxBit(i, j, k);
        const bool inValues = (values >> bit) & 1;
        const bool inX = (xs >> bit) & 1;
        const bool inY = (ys >> bit) & 1;
        if (!inValues && !inX && !inY) continue;
        const V t = k == 0 ? xy[i][j] : i == 0 && j == 0 ? w.z[k] : hn::Mul(xy[i][j], w.z[k]);
        if (inValues) {
          v0 = addValue(d, v0, p.values, 0, n, t);
          v1 = addValue(d, v1, p.values, 1, n, t);
          v2 = addValue(d, v2, p.values, 2, n, t);
          if (K == 4) v3 = addValue(d, v3, p.values, 3, n, t);
          ++n;
        }
        if (inX) addSlopes(x0, x1, x2, x3, 0, nx, timesFactor(d, t, i + 1));
        if (inY) addSlopes(y0, y1, y2, y3, 1, ny, timesFactor(d, t, j + 1));
      }
  v[0] = v0;
  v[1] = v1;
  v[2] = v2;
  v[3] = v3;
  if (!Slopes) return;
  const V sums[2 * kPolys] = {x0, y0, x1, y1, x2, y2, x3, y3};
  for (int k = 0; k < 2 * kPolys; ++k) g[k] = sums[k];
}

template <int K, bool Slopes>
HWY_INLINE void boxSumsOf(D d, const SectionPlan& p, V x, V y, V z, V* v, V* g) {
  static_assert(kBoxPower == 3, "one sum per highest power");
  const bool degree = p.boxByDegree;
  switch (highestPower(p)) {
    case 0:
      return boxSums<0, K, false, Slopes>(d, p, x, y, z, v, g);
    case 1:
      return degree ? boxSums<1, K, true, Slopes>(d, p, x, y, z, v, g)
                    : boxSums<1, K, false, Slopes>(d, p, x, y, z, v, g);
    case 2:
      return degree ? boxSums<2, K, true, Slopes>(d, p, x, y, z, v, g)
                    : boxSums<2, K, false, Slopes>(d, p, x, y, z, v, g);
    default:
      return degree ? boxSums<3, K, true, Slopes>(d, p, x, y, z, v, g)
                    : boxSums<3, K, false, Slopes>(d, p, x, y, z, v, g);
  }
}

// The sums of a plan with a value box, the derivatives' too with Slopes (then with slope boxes).
template <bool Slopes>
HWY_INLINE void boxSumsOf(D d, const SectionPlan& p, V x, V y, V z, V* v, V* g) {
  if (p.shared) return boxSumsOf<3, Slopes>(d, p, x, y, z, v, g);
  boxSumsOf<kPolys, Slopes>(d, p, x, y, z, v, g);
}

// The value sums through the plan's table at (x, y, z).
HWY_INLINE void tableValues(D d, const SectionPlan& p, V x, V y, V z, V* out) {
  Table table;
  setConstants(d, &table);
  fill(d, p, x, y, z, &table);
  values<1>(d, p, &table, out);
}

// The lanes where a denominator of the values v (sums in the order of ValueSums) is zero, and
// the row denominator into *dr (the sample one when shared).
HWY_INLINE hn::Mask<D> zeroDenominators(D d, const SectionPlan& p, const V* v, V* dr) {
  const V zero = hn::Zero(d);
  auto zeroes = hn::Eq(v[1], zero);
  *dr = v[1];
  if (!p.shared) {
    *dr = v[3];
    zeroes = hn::Or(zeroes, hn::Eq(v[3], zero));
  }
  return zeroes;
}

// One vector of points; returns the lanes that failed.
HWY_INLINE hn::Mask<D> evaluateVector(D d, const SectionPlan& p, const double* xs, const double* ys,
                                      const double* zs, double* samples, double* rows) {
  const RSMFunctions& s = *p.section;
  V x = hn::LoadU(d, xs);
  V y = hn::LoadU(d, ys);
  V z = hn::LoadU(d, zs);
  if (p.normalised) {
    x = normalised(d, s, kGroundX, x);
    y = normalised(d, s, kGroundY, y);
    z = normalised(d, s, kGroundZ, z);
  }
  V v[kPolys];
  if (p.valueBox) {
    boxSumsOf<false>(d, p, x, y, z, v, nullptr);
  } else {
    tableValues(d, p, x, y, z, v);
  }
  V dr;
  const auto failed = zeroDenominators(d, p, v, &dr);
  storeResults(d, p, kSample, kRow, hn::Div(v[0], v[1]), hn::Div(v[2], dr), samples, rows);
  return failed;
}

// The Newton iteration of one vector of points, in normalised units.
struct Newton {
  V sample, row, z, x, y, dx, dy;
  // Lanes still iterating, and lanes stopped by a zero denominator.
  hn::Mask<D> active, failed;
};

HWY_INLINE Newton startNewton(D d, const SectionPlan& p, const double* samples,
                              const double* rows, const double* zs) {
  const RSMFunctions& s = *p.section;
  const V zero = hn::Zero(d);
  Newton t{hn::LoadU(d, samples), hn::LoadU(d, rows), hn::LoadU(d, zs), zero, zero, zero, zero,
           hn::Eq(zero, zero), hn::Lt(zero, zero)};
  if (p.startX) {
    t.x = startPoly(d, p.startX, p.startOrder, t.sample, t.row);
    t.y = startPoly(d, p.startY, p.startOrder, t.sample, t.row);
    if (p.normalised) {
      t.x = normalised(d, s, kGroundX, t.x);
      t.y = normalised(d, s, kGroundY, t.y);
    }
  } else {
    t.x = hn::Set(d, p.zeroStartX);
    t.y = hn::Set(d, p.zeroStartY);
  }
  if (p.normalised) {
    t.sample = normalised(d, s, kSample, t.sample);
    t.row = normalised(d, s, kRow, t.row);
    t.z = normalised(d, s, kGroundZ, t.z);
  }
  return t;
}

// The end of a Newton pass from the values v and derivatives g at the vector's point: the lanes
// whose denominators are zero fail, the others take their next correction.
HWY_INLINE void correct(D d, const SectionPlan& p, Newton& t, const V* v, const V* g) {
  const V ns = v[0];
  const V ds = v[1];
  const V nr = v[2];
  V dr;
  const auto zeroDenominator = zeroDenominators(d, p, v, &dr);
  t.failed = hn::Or(t.failed, hn::And(t.active, zeroDenominator));
  t.active = hn::AndNot(zeroDenominator, t.active);
  const V sx = quotientSlope(g[0], g[2], ns, ds);
  const V sy = quotientSlope(g[1], g[3], ns, ds);
  const V rx = quotientSlope(g[4], g[6], nr, dr);
  const V ry = quotientSlope(g[5], g[7], nr, dr);
  const V es = hn::Sub(t.sample, hn::Div(ns, ds));
  const V er = hn::Sub(t.row, hn::Div(nr, dr));
  const V newDy = hn::Div(hn::Sub(hn::Mul(er, sx), hn::Mul(es, rx)),
                          hn::Sub(hn::Mul(ry, sx), hn::Mul(rx, sy)));
  // The larger of the two slopes in x divides; choosing before dividing saves a division.
  const auto bySample = hn::Lt(hn::Abs(rx), hn::Abs(sx));
  const V newDx = hn::Div(
      hn::IfThenElse(bySample, hn::Sub(es, hn::Mul(sy, newDy)), hn::Sub(er, hn::Mul(ry, newDy))),
      hn::IfThenElse(bySample, sx, rx));
  t.dx = hn::IfThenElse(t.active, newDx, t.dx);
  t.dy = hn::IfThenElse(t.active, newDy, t.dy);
  // A correction that is not a number fails the comparison and so ends the lane's iteration.
  const V absDx = hn::Abs(t.dx);
  const V absDy = hn::Abs(t.dy);
  const V largest = hn::IfThenElse(hn::Gt(absDy, absDx), absDy, absDx);
  t.active = hn::And(t.active, hn::Gt(largest, hn::Set(d, kTolerance)));
}

// The lanes still iterating take their last correction.
HWY_INLINE void step(Newton& t) {
  t.x = hn::IfThenElse(t.active, hn::Add(t.x, t.dx), t.x);
  t.y = hn::IfThenElse(t.active, hn::Add(t.y, t.dy), t.y);
}

// Newton passes may sum without the table where the plan allows: that keeps a dozen sums, the
// powers and their products in registers, which pays with 32 of them (AVX-512) and spills with 16.
constexpr bool kBoxNewton = HWY_TARGET <= HWY_AVX3;

// One Newton pass of the lanes still iterating in each of N vectors t[0 .. N), whose sums run
// together in tables[0 .. N), or without the table one vector after the other; either way the
// vectors end their pass together, so that their divisions overlap.
template <int N>
HWY_INLINE void newtonPass(D d, const SectionPlan& p, Newton* t, Table* tables) {
  if constexpr (kBoxNewton) {
    if (p.slopeBoxed) {
      V v[N][kPolys];
      V g[N][2 * kPolys];
      for (int u = 0; u < N; ++u) {
        step(t[u]);
        boxSumsOf<true>(d, p, t[u].x, t[u].y, t[u].z, v[u], g[u]);
      }
      for (int u = 0; u < N; ++u) correct(d, p, t[u], v[u], g[u]);
      return;
    }
  }
  for (int u = 0; u < N; ++u) {
    step(t[u]);
    fill(d, p, t[u].x, t[u].y, t[u].z, &tables[u]);
  }
  V v[N * kPolys];
  values<N>(d, p, tables, v);
  V g[N * 2 * kPolys];
  slopes<N>(d, p, tables, g);
  for (int u = 0; u < N; ++u) correct(d, p, t[u], v + u * kPolys, g + u * 2 * kPolys);
}

// The points from ... count - 1 of in, fewer than a vector's lanes, into padded, its last lanes
// copies of the last point. One vector store of the copies comes first, so that a single
// point's lanes load without waiting on scalar stores.
HWY_INLINE void padLast(D d, const double* in, size_t from, size_t count, double* padded) {
  hn::Store(hn::Set(d, in[count - 1]), d, padded);
  for (size_t k = 0; from + k + 1 < count; ++k) padded[k] = in[from + k];
}

// Runs f(inputs, outputs) over the count points' whole vectors at in[i] + j and out[o] + j, the
// last points padded to a whole vector with copies of the last point, whose extra results are
// dropped (copies iterate exactly as long as the point they copy).
template <size_t I, size_t O, typename T, typename F>
void overVectors(D d, size_t count, const double* const (&in)[I], T* const (&out)[O], F f) {
  const size_t lanes = hn::Lanes(d);
  const double* ins[I];
  T* outs[O];
  size_t j = 0;
  for (; j + lanes <= count; j += lanes) {
    for (size_t i = 0; i < I; ++i) ins[i] = in[i] + j;
    for (size_t o = 0; o < O; ++o) outs[o] = out[o] + j;
    f(ins, outs);
  }
  if (j == count) return;
  HWY_ALIGN double padded[I][kMaxLanes];
  HWY_ALIGN T results[O][kMaxLanes];
  for (size_t i = 0; i < I; ++i) {
    padLast(d, in[i], j, count, padded[i]);
    ins[i] = padded[i];
  }
  for (size_t o = 0; o < O; ++o) outs[o] = results[o];
  f(ins, outs);
  for (size_t o = 0; o < O; ++o)
    for (size_t k = 0; j + k < count; ++k) out[o][j + k] = results[o][k];
}

size_t countOf(int32_t n) { return n > 0 ? static_cast<size_t>(n) : 0; }

// One half c[0 .. 10) of the low-order polynomial at (u, v, w), written out so that the halves
// and successive vectors overlap.
HWY_INLINE V lowOrderHalf(D d, const double* c, V u, V v, V w) {
  const auto times = [&](int t, V a) { return hn::Mul(hn::Set(d, c[t]), a); };
  V sum = hn::Set(d, c[0]);
  sum = hn::Add(sum, times(1, u));
  sum = hn::Add(sum, times(2, v));
  sum = hn::Add(sum, times(3, w));
  sum = hn::Add(sum, hn::Mul(times(4, u), u));
  sum = hn::Add(sum, hn::Mul(times(5, u), v));
  sum = hn::Add(sum, hn::Mul(times(6, u), w));
  sum = hn::Add(sum, hn::Mul(times(7, v), v));
  sum = hn::Add(sum, hn::Mul(times(8, v), w));
  return hn::Add(sum, hn::Mul(times(9, w), w));
}

// Grid indices (value - origin) / size truncated toward zero and clamped to 0 ... cells - 1; 0
// when size is 0 or the quotient is not a number or lies outside the 32-bit integer range.
HWY_INLINE V gridIndices(D d, V value, double origin, double size, int32_t cells) {
  if (size == 0.0) return hn::Zero(d);
  const V quotient = hn::Trunc(hn::Div(hn::Sub(value, hn::Set(d, origin)), hn::Set(d, size)));
  // Both comparisons are false for a NaN.
  const auto inRange = hn::And(hn::Ge(quotient, hn::Set(d, -2147483648.0)),
                               hn::Le(quotient, hn::Set(d, 2147483647.0)));
  const V clamped =
      hn::Min(hn::Max(quotient, hn::Zero(d)), hn::Set(d, static_cast<double>(cells - 1)));
  return hn::IfThenElseZero(inRange, clamped);
}

using DI = hn::Rebind<int32_t, D>;

// The sections of a vector of image positions (sample, row).
HWY_INLINE hn::Vec<DI> sectionsAt(D d, const RSM_Model_Orig& rsm, V sample, V row) {
  const V c = gridIndices(d, sample, rsm.imageDomain.data[0], rsm.colsPerSection, rsm.colSections);
  const V r = gridIndices(d, row, rsm.imageDomain.data[2], rsm.rowsPerSection, rsm.rowSections);
  return hn::DemoteTo(DI(), hn::Add(c, hn::Mul(r, hn::Set(d, rsm.colSections))));
}

// Runs f(inputs), the sections of a vector of points, over the count points into section as
// overVectors runs its kernels; their span into *span.
template <size_t I, typename F>
void sectionsOverVectors(D d, size_t count, const double* const (&in)[I], int32_t* section,
                         SectionSpan* span, F f) {
  const DI di;
  auto lowest = hn::Set(di, INT32_MAX);
  auto highest = hn::Set(di, INT32_MIN);
  overVectors(d, count, in, {section}, [&](const double* const* ins, int32_t* const* out) {
    const hn::Vec<DI> v = f(ins);
    lowest = hn::Min(lowest, v);
    highest = hn::Max(highest, v);
    hn::StoreU(v, di, out[0]);
  });
  span->lowest = hn::GetLane(hn::MinOfLanes(di, lowest));
  span->highest = hn::GetLane(hn::MaxOfLanes(di, highest));
}

// Runs kernel(in, out), which returns the lanes that failed, over the points' vectors, as
// overVectors does, and writes each point's success to ok.
template <typename K>
void overVectorsWithOk(D d, size_t count, const double* a, const double* b, const double* c,
                       double* outA, double* outB, uint8_t* ok, K kernel) {
  const size_t lanes = hn::Lanes(d);
  size_t done = 0;
  overVectors(d, count, {a, b, c}, {outA, outB}, [&](const double* const* in, double* const* out) {
    writeOk(d, kernel(in, out), count - done < lanes ? count - done : lanes, ok + done);
    done += lanes;
  });
}

// The points of an inversion a block at a time, each point's iteration state at its index. The
// block's points are padded to whole vectors with copies of its last point.
constexpr size_t kNewtonBlock = 256;
struct NewtonBlock {
  HWY_ALIGN double sample[kNewtonBlock], row[kNewtonBlock], z[kNewtonBlock];
  HWY_ALIGN double x[kNewtonBlock], y[kNewtonBlock], dx[kNewtonBlock], dy[kNewtonBlock];
  HWY_ALIGN double failed[kNewtonBlock];
};

HWY_INLINE void saveNewton(D d, const Newton& t, NewtonBlock* b, size_t j) {
  const V failed = hn::IfThenElseZero(t.failed, hn::Set(d, 1.0));
  const V all[8] = {t.sample, t.row, t.z, t.x, t.y, t.dx, t.dy, failed};
  double* to[8] = {b->sample, b->row, b->z, b->x, b->y, b->dx, b->dy, b->failed};
  for (int k = 0; k < 8; ++k) hn::Store(all[k], d, to[k] + j);
}

// Appends to list[m ...] the points of a vector whose first `real` lanes (the rest padding) are
// point(0), point(1) ...: those still iterating. Writes up to a vector's lanes past the new end,
// without branches, since which lanes iterate on is not predictable. Returns the new length.
template <typename P>
HWY_INLINE size_t listIterating(D d, hn::Mask<D> active, size_t real, P point, int32_t* list,
                                size_t m) {
  const uint64_t bits = maskBits(d, hn::And(active, hn::FirstN(d, real)));
  for (size_t i = 0; i < hn::Lanes(d); ++i) {
    list[m] = point(i);
    m += (bits >> i) & 1;
  }
  return m;
}

// The state of the block's iterating points point[0 .. lanes), in one vector.
HWY_INLINE Newton gatherNewton(D d, const NewtonBlock& b, const int32_t* point) {
  const auto index =
      hn::PromoteTo(hn::RebindToSigned<D>(), hn::LoadU(hn::Rebind<int32_t, D>(), point));
  const auto at = [&](const double* from) { return hn::GatherIndex(d, from, index); };
  const V zero = hn::Zero(d);
  const auto all = hn::Eq(zero, zero);
  const auto none = hn::Lt(zero, zero);
  return Newton{at(b.sample), at(b.row), at(b.z), at(b.x), at(b.y), at(b.dx), at(b.dy), all, none};
}

HWY_INLINE void scatterNewton(D d, const Newton& t, NewtonBlock* b, const int32_t* point) {
  const V one = hn::Set(d, 1.0);
  HWY_ALIGN double lanes[5][kMaxLanes];
  const V all[5] = {t.x, t.y, t.dx, t.dy, hn::IfThenElseZero(t.failed, one)};
  for (int k = 0; k < 5; ++k) hn::Store(all[k], d, lanes[k]);
  double* to[5] = {b->x, b->y, b->dx, b->dy, b->failed};
  for (size_t i = 0; i < hn::Lanes(d); ++i)
    for (int k = 0; k < 5; ++k) to[k][point[i]] = lanes[k][i];
}

// The first two passes of count points (sample, row, z) in[0 .. 3), two vectors at a time whose
// sums run together and whose divisions overlap; an odd last vector runs alone rather than
// beside a vector of padding, and a last vector that is not whole reads tail, its points padded
// with copies of the last one. Their state into the block; lists the points still iterating in
// rising order and returns their number.
HWY_INLINE size_t firstPasses(D d, const SectionPlan& p, size_t count, const double* const* in,
                              const double (&tail)[3][kMaxLanes], NewtonBlock* b, Table* tables,
                              int32_t* iterating) {
  const size_t lanes = hn::Lanes(d);
  const size_t padded = (count + lanes - 1) / lanes * lanes;
  size_t m = 0;
  for (size_t j = 0; j < padded; j += 2 * lanes) {
    const int k = j + lanes < padded ? 2 : 1;
    Newton t[2];
    for (int v = 0; v < k; ++v) {
      const size_t first = j + v * lanes;
      const bool whole = first + lanes <= count;
      t[v] = startNewton(d, p, whole ? in[0] + first : tail[0], whole ? in[1] + first : tail[1],
                         whole ? in[2] + first : tail[2]);
    }
    // A pass of lanes that no longer iterate changes nothing.
    for (int pass = 0; pass < 2; ++pass) {
      if (k == 2) {
        newtonPass<2>(d, p, t, tables);
      } else if (pass == 0 || !hn::AllFalse(d, t[0].active)) {
        newtonPass<1>(d, p, t, tables);
      }
    }
    for (int v = 0; v < k; ++v) {
      const size_t first = j + v * lanes;
      saveNewton(d, t[v], b, first);
      m = listIterating(
          d, t[v].active, count - first, [&](size_t i) { return static_cast<int32_t>(first + i); },
          iterating, m);
    }
  }
  return m;
}

// One more pass of the m points point[0 .. m) still iterating, gathered into full vectors (the
// last one padded with copies of its last point, which compute the same bits), two at a time.
// point needs room for m rounded up to whole vectors. Lists those that iterate on in next;
// returns their number.
HWY_INLINE size_t laterPass(D d, const SectionPlan& p, NewtonBlock* b, Table* tables,
                            int32_t* point, size_t m, int32_t* next) {
  const size_t lanes = hn::Lanes(d);
  for (size_t i = m; i % lanes != 0; ++i) point[i] = point[m - 1];
  size_t iterating = 0;
  for (size_t i = 0; i < m; i += 2 * lanes) {
    const int k = i + lanes < m ? 2 : 1;
    Newton t[2];
    for (int v = 0; v < k; ++v) t[v] = gatherNewton(d, *b, point + i + v * lanes);
    if (k == 2) {
      newtonPass<2>(d, p, t, tables);
    } else {
      newtonPass<1>(d, p, t, tables);
    }
    for (int v = 0; v < k; ++v) {
      const int32_t* lanePoints = point + i + v * lanes;
      scatterNewton(d, t[v], b, lanePoints);
      iterating = listIterating(
          d, t[v].active, m - (i + v * lanes), [&](size_t l) { return lanePoints[l]; }, next,
          iterating);
    }
  }
  return iterating;
}

// Image to ground of count <= kNewtonBlock points (sample, row, z) in[0 .. 3) into xs, ys and
// ok, with b for their state.
HWY_INLINE void invertBlock(D d, const SectionPlan& p, size_t count, const double* const* in,
                            NewtonBlock* b, double* xs, double* ys, uint8_t* ok) {
  static_assert(kMaxPasses >= 2, "the first two passes run unchecked");
  const size_t lanes = hn::Lanes(d);
  const size_t whole = count / lanes * lanes;
  HWY_ALIGN double tail[3][kMaxLanes];
  if (whole < count)
    for (int k = 0; k < 3; ++k) padLast(d, in[k], whole, count, tail[k]);
  Table tables[2];
  setConstants(d, &tables[0]);
  setConstants(d, &tables[1]);
  int32_t lists[2][kNewtonBlock + kMaxLanes];
  size_t m = firstPasses(d, p, count, in, tail, b, tables, lists[0]);
  for (int pass = 3; pass <= kMaxPasses && m > 0; ++pass)
    m = laterPass(d, p, b, tables, lists[pass % 2 == 1 ? 0 : 1], m, lists[pass % 2 == 1 ? 1 : 0]);
  // Each point takes its last correction; the block's padding is dropped.
  for (size_t j = 0; j < count; j += lanes) {
    const V x = hn::Add(hn::Load(d, b->x + j), hn::Load(d, b->dx + j));
    const V y = hn::Add(hn::Load(d, b->y + j), hn::Load(d, b->dy + j));
    const size_t real = count - j < lanes ? count - j : lanes;
    if (real == lanes) {
      storeResults(d, p, kGroundX, kGroundY, x, y, xs + j, ys + j);
    } else {
      HWY_ALIGN double lastX[kMaxLanes], lastY[kMaxLanes];
      storeResults(d, p, kGroundX, kGroundY, x, y, lastX, lastY);
      for (size_t k = 0; k < real; ++k) {
        xs[j + k] = lastX[k];
        ys[j + k] = lastY[k];
      }
    }
    writeOk(d, hn::Ne(hn::Load(d, b->failed + j), hn::Zero(d)), real, ok + j);
  }
}

// At most one vector of points: its passes until no lane iterates (pairs and gathered passes
// would only add padding).
HWY_NOINLINE void invertOneVector(D d, const SectionPlan& p, size_t count, const double* samples,
                                  const double* rows, const double* zs, double* xs, double* ys,
                                  uint8_t* ok) {
  overVectorsWithOk(
      d, count, samples, rows, zs, xs, ys, ok, [&](const double* const* in, double* const* out) {
        Newton t = startNewton(d, p, in[0], in[1], in[2]);
        Table table;
        setConstants(d, &table);
        for (int passes = 0; passes < kMaxPasses && !hn::AllFalse(d, t.active); ++passes)
          newtonPass<1>(d, p, &t, &table);
        storeResults(d, p, kGroundX, kGroundY, hn::Add(t.x, t.dx), hn::Add(t.y, t.dy), out[0],
                     out[1]);
        return t.failed;
      });
}

}  // namespace

void EvaluatePoints(const SectionPlan& plan, int32_t n, const double* x, const double* y,
                    const double* z, double* sample, double* row, uint8_t* ok) {
  const D d;
  overVectorsWithOk(d, countOf(n), x, y, z, sample, row, ok,
                    [&](const double* const* in, double* const* out) {
                      return evaluateVector(d, plan, in[0], in[1], in[2], out[0], out[1]);
                    });
}

void InvertPoints(const SectionPlan& plan, int32_t n, const double* sample, const double* row,
                  const double* z, double* x, double* y, uint8_t* ok) {
  const D d;
  const size_t count = countOf(n);
  if (count <= hn::Lanes(d)) return invertOneVector(d, plan, count, sample, row, z, x, y, ok);
  NewtonBlock block;
  for (size_t j = 0; j < count; j += kNewtonBlock) {
    const size_t points = count - j < kNewtonBlock ? count - j : kNewtonBlock;
    const double* const in[3] = {sample + j, row + j, z + j};
    invertBlock(d, plan, points, in, &block, x + j, y + j, ok + j);
  }
}

void GeodeticPoints(bool toGroundDomain, bool hybrid, int32_t n, const double* x, const double* y,
                    double* outX, double* outY) {
  const D d;
  const V rho = hn::Set(d, kRho);
  const V turn = hn::Set(d, 360.0);
  overVectors(d, countOf(n), {x, y}, {outX, outY},
              [&](const double* const* in, double* const* out) {
                V u = hn::LoadU(d, in[0]);
                const V v = hn::LoadU(d, in[1]);
                if (toGroundDomain) {
                  if (hybrid) u = hn::IfThenElse(hn::Lt(u, hn::Zero(d)), hn::Add(u, turn), u);
                  hn::StoreU(hn::Div(u, rho), d, out[0]);
                  hn::StoreU(hn::Div(v, rho), d, out[1]);
                } else {
                  V longitude = hn::Mul(u, rho);
                  if (hybrid)
                    longitude = hn::IfThenElse(hn::Gt(longitude, hn::Set(d, 180.0)),
                                               hn::Sub(longitude, turn), longitude);
                  hn::StoreU(longitude, d, out[0]);
                  hn::StoreU(hn::Mul(v, rho), d, out[1]);
                }
              });
}

void LowOrderPositions(const double* coef, int32_t n, const double* x, const double* y,
                       const double* z, double* sample, double* row) {
  const D d;
  overVectors(d, countOf(n), {x, y, z}, {sample, row},
              [&](const double* const* in, double* const* out) {
                const V u = hn::LoadU(d, in[0]);
                const V v = hn::LoadU(d, in[1]);
                const V w = hn::LoadU(d, in[2]);
                hn::StoreU(lowOrderHalf(d, coef, u, v, w), d, out[0]);
                hn::StoreU(lowOrderHalf(d, coef + kLowOrderHalf, u, v, w), d, out[1]);
              });
}

void SectionIndices(const RSM_Model_Orig& rsm, int32_t n, const double* sample, const double* row,
                    int32_t* section, SectionSpan* span) {
  const D d;
  sectionsOverVectors(d, countOf(n), {sample, row}, section, span, [&](const double* const* in) {
    return sectionsAt(d, rsm, hn::LoadU(d, in[0]), hn::LoadU(d, in[1]));
  });
}

void LowOrderSections(const RSM_Model_Orig& rsm, int32_t n, const double* x, const double* y,
                      const double* z, int32_t* section, SectionSpan* span) {
  const D d;
  const double* coef = rsm.groundToImagePoly.data;
  sectionsOverVectors(d, countOf(n), {x, y, z}, section, span, [&](const double* const* in) {
    const V u = hn::LoadU(d, in[0]);
    const V v = hn::LoadU(d, in[1]);
    const V w = hn::LoadU(d, in[2]);
    return sectionsAt(d, rsm, lowOrderHalf(d, coef, u, v, w),
                      lowOrderHalf(d, coef + kLowOrderHalf, u, v, w));
  });
}

static_assert(HWY_MAX_BYTES / sizeof(int32_t) <= kMemberRoom, "a vector past the members");

size_t SectionMembers(int32_t n, const int32_t* section, const uint8_t* ok, int32_t s,
                      int32_t* members) {
  const hn::ScalableTag<int32_t> di;
  const hn::Rebind<uint8_t, decltype(di)> du;
  const size_t lanes = hn::Lanes(di);
  const size_t count = countOf(n);
  const auto target = hn::Set(di, s);
  const auto zero = hn::Zero(di);
  auto index = hn::Iota(di, 0);
  const auto step = hn::Set(di, static_cast<int32_t>(lanes));
  size_t found = 0;
  size_t j = 0;
  // The compress into a register and a whole-vector store, which some processors run far
  // faster than a compressing store.
  for (; j + lanes <= count; j += lanes) {
    const auto member = hn::And(hn::Eq(hn::LoadU(di, section + j), target),
                                hn::Ne(hn::PromoteTo(di, hn::LoadU(du, ok + j)), zero));
    hn::StoreU(hn::Compress(index, member), di, members + found);
    found += hn::CountTrue(di, member);
    index = hn::Add(index, step);
  }
  for (; j < count; ++j) {
    members[found] = static_cast<int32_t>(j);
    found += section[j] == s && ok[j];
  }
  return found;
}

const char* KernelTarget() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace senmod
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace senmod {

HWY_EXPORT(EvaluatePoints);
HWY_EXPORT(InvertPoints);
HWY_EXPORT(GeodeticPoints);
HWY_EXPORT(LowOrderPositions);
HWY_EXPORT(SectionIndices);
HWY_EXPORT(LowOrderSections);
HWY_EXPORT(SectionMembers);
HWY_EXPORT(KernelTarget);

void evaluatePoints(const SectionPlan& plan, int32_t n, const double* x, const double* y,
                    const double* z, double* sample, double* row, uint8_t* ok) {
  HWY_DYNAMIC_DISPATCH(EvaluatePoints)(plan, n, x, y, z, sample, row, ok);
}

void invertPoints(const SectionPlan& plan, int32_t n, const double* sample, const double* row,
                  const double* z, double* x, double* y, uint8_t* ok) {
  HWY_DYNAMIC_DISPATCH(InvertPoints)(plan, n, sample, row, z, x, y, ok);
}

void geodeticPoints(bool toGroundDomain, bool hybrid, int32_t n, const double* x, const double* y,
                    double* outX, double* outY) {
  HWY_DYNAMIC_DISPATCH(GeodeticPoints)(toGroundDomain, hybrid, n, x, y, outX, outY);
}

void lowOrderPositions(const double* coef, int32_t n, const double* x, const double* y,
                       const double* z, double* sample, double* row) {
  HWY_DYNAMIC_DISPATCH(LowOrderPositions)(coef, n, x, y, z, sample, row);
}

void sectionIndices(const RSM_Model_Orig& rsm, int32_t n, const double* sample, const double* row,
                    int32_t* section, SectionSpan* span) {
  SectionSpan ignored;
  HWY_DYNAMIC_DISPATCH(SectionIndices)(rsm, n, sample, row, section, span ? span : &ignored);
}

void lowOrderSections(const RSM_Model_Orig& rsm, int32_t n, const double* x, const double* y,
                      const double* z, int32_t* section, SectionSpan* span) {
  HWY_DYNAMIC_DISPATCH(LowOrderSections)(rsm, n, x, y, z, section, span);
}

size_t sectionMembers(int32_t n, const int32_t* section, const uint8_t* ok, int32_t s,
                      int32_t* members) {
  return HWY_DYNAMIC_DISPATCH(SectionMembers)(n, section, ok, s, members);
}

const char* kernelTarget() { return HWY_DYNAMIC_DISPATCH(KernelTarget)(); }

}  // namespace senmod
#endif
