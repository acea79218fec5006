// Compiled once per vector target. Multiplies and adds stay separate operations (the build does
// not contract them), and every comparison and selection is the one of the one-point read.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bilinear_heights.cpp"
#include "bilinear_heights.h"

#include <algorithm>

#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#pragma GCC visibility push(hidden)
HWY_BEFORE_NAMESPACE();
namespace hmodel {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using DI = hn::Rebind<int32_t, D>;
using VI = hn::Vec<DI>;

constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);

// std::max and std::min, which take a when the two compare equal.
HWY_INLINE V Larger(V a, V b) { return hn::IfThenElse(hn::Lt(a, b), b, a); }
HWY_INLINE V Smaller(V a, V b) { return hn::IfThenElse(hn::Lt(b, a), b, a); }

// The cells at the indices, as doubles.
HWY_INLINE V CellsAt(D d, const BilinearGrid& g, VI index) {
  if (g.floats) return hn::PromoteTo(d, hn::GatherIndex(hn::Rebind<float, D>(), g.floats, index));
  return hn::GatherIndex(d, g.values, hn::PromoteTo(hn::RebindToSigned<D>(), index));
}

HWY_INLINE V Heights(D d, const BilinearGrid& g, V x, V y) {
  const DI di;
  const V zero = hn::Zero(d);
  const double* c = g.inverse;
  V column = hn::Add(hn::Add(hn::Set(d, c[0]), hn::Mul(x, hn::Set(d, c[1]))),
                     hn::Mul(y, hn::Set(d, c[2])));
  V row = hn::Add(hn::Add(hn::Set(d, c[3]), hn::Mul(x, hn::Set(d, c[4]))),
                  hn::Mul(y, hn::Set(d, c[5])));
  // False for a coordinate that is not a number, and so for any point that is not finite.
  const auto inside = hn::And(
      hn::And(hn::Ge(column, zero), hn::Le(column, hn::Set(d, g.columns))),
      hn::And(hn::Ge(row, zero), hn::Le(row, hn::Set(d, g.rows))));
  // Points off the grid read cell 0 (and take the mean), so that no index leaves the grid.
  column = hn::IfThenElseZero(inside, column);
  row = hn::IfThenElseZero(inside, row);
  // Centre-based coordinates, held to the outer centres in the border half-cells.
  const V half = hn::Set(d, 0.5);
  const V cx = Smaller(Larger(hn::Sub(column, half), zero), hn::Set(d, g.columns - 1.0));
  const V cy = Smaller(Larger(hn::Sub(row, half), zero), hn::Set(d, g.rows - 1.0));
  const VI c0 = hn::Min(hn::DemoteTo(di, cx), hn::Set(di, std::max(g.columns - 2, 0)));
  const VI r0 = hn::Min(hn::DemoteTo(di, cy), hn::Set(di, std::max(g.rows - 2, 0)));
  const VI c1 = hn::Min(hn::Add(c0, hn::Set(di, 1)), hn::Set(di, g.columns - 1));
  const VI r1 = hn::Min(hn::Add(r0, hn::Set(di, 1)), hn::Set(di, g.rows - 1));
  const V fx = hn::Sub(cx, hn::PromoteTo(d, c0));
  const V fy = hn::Sub(cy, hn::PromoteTo(d, r0));
  const V one = hn::Set(d, 1.0);
  const V weights[4] = {hn::Mul(hn::Sub(one, fx), hn::Sub(one, fy)),
                        hn::Mul(fx, hn::Sub(one, fy)), hn::Mul(hn::Sub(one, fx), fy),
                        hn::Mul(fx, fy)};
  const VI columns = hn::Set(di, g.columns);
  const VI top = hn::Mul(r0, columns);
  const VI bottom = hn::Mul(r1, columns);
  const V cells[4] = {CellsAt(d, g, hn::Add(top, c0)), CellsAt(d, g, hn::Add(top, c1)),
                      CellsAt(d, g, hn::Add(bottom, c0)), CellsAt(d, g, hn::Add(bottom, c1))};
  // A cell without weight need not be valid and adds -0.0, which leaves any sum as it is.
  V sum = zero;
  auto valid = inside;
  const V noData = hn::Set(d, g.noData);
  for (int i = 0; i < 4; ++i) {
    const auto weighted = hn::Ne(weights[i], zero);
    auto cellValid = hn::IsFinite(cells[i]);
    if (g.hasNoData) cellValid = hn::AndNot(hn::Eq(cells[i], noData), cellValid);
    valid = hn::AndNot(hn::AndNot(cellValid, weighted), valid);
    sum = hn::Add(sum, hn::IfThenElse(weighted, hn::Mul(weights[i], cells[i]), hn::Set(d, -0.0)));
  }
  return hn::IfThenElse(valid, hn::Mul(sum, hn::Set(d, g.metersPerUnit)), hn::Set(d, g.mean));
}

}  // namespace

void BilinearHeightsOf(const BilinearGrid& grid, size_t n, const double* x, const double* y,
                       double* heights) {
  const D d;
  const size_t lanes = hn::Lanes(d);
  size_t j = 0;
  for (; j + lanes <= n; j += lanes)
    hn::StoreU(Heights(d, grid, hn::LoadU(d, x + j), hn::LoadU(d, y + j)), d, heights + j);
  if (j == n) return;
  // The last points padded with copies of the last one.
  HWY_ALIGN double xs[kMaxLanes], ys[kMaxLanes], out[kMaxLanes];
  for (size_t k = 0; k < lanes; ++k) {
    xs[k] = x[std::min(j + k, n - 1)];
    ys[k] = y[std::min(j + k, n - 1)];
  }
  hn::Store(Heights(d, grid, hn::Load(d, xs), hn::Load(d, ys)), d, out);
  for (size_t k = 0; j + k < n; ++k) heights[j + k] = out[k];
}

}  // namespace HWY_NAMESPACE
}  // namespace hmodel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace hmodel {

HWY_EXPORT(BilinearHeightsOf);

void BilinearHeights(const BilinearGrid& grid, size_t n, const double* x, const double* y,
                     double* heights) {
  HWY_DYNAMIC_DISPATCH(BilinearHeightsOf)(grid, n, x, y, heights);
}

}  // namespace hmodel
#endif
#pragma GCC visibility pop
