#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "xform/affine_kernels.cpp"
#include "xform/affine_kernels.h"

#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace senmod {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;

HWY_INLINE void apply(D d, const double* a, V x, V y, V* outX, V* outY) {
  *outX = hn::Add(hn::Add(hn::Mul(hn::Set(d, a[0]), x), hn::Mul(hn::Set(d, a[1]), y)),
                  hn::Set(d, a[2]));
  *outY = hn::Add(hn::Add(hn::Mul(hn::Set(d, a[3]), x), hn::Mul(hn::Set(d, a[4]), y)),
                  hn::Set(d, a[5]));
}

constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);

}  // namespace

void AffineIn(const double* a, int32_t n, const double* in, double* u, double* v, double* z) {
  const D d;
  const size_t lanes = hn::Lanes(d);
  const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
  const size_t width = z ? 3 : 2;
  auto one = [&](const double* points, double* us, double* vs, double* zs) {
    V x, y, h, outX, outY;
    if (zs) {
      hn::LoadInterleaved3(d, points, x, y, h);
      hn::StoreU(h, d, zs);
    } else {
      hn::LoadInterleaved2(d, points, x, y);
    }
    apply(d, a, x, y, &outX, &outY);
    hn::StoreU(outX, d, us);
    hn::StoreU(outY, d, vs);
  };
  size_t j = 0;
  for (; j + lanes <= count; j += lanes) one(in + width * j, u + j, v + j, z ? z + j : nullptr);
  if (j == count) return;
  // The last points padded to a whole vector with zeros, whose results are dropped.
  HWY_ALIGN double points[3 * kMaxLanes] = {};
  HWY_ALIGN double out[3][kMaxLanes];
  for (size_t i = 0; i < width * (count - j); ++i) points[i] = in[width * j + i];
  one(points, out[0], out[1], z ? out[2] : nullptr);
  for (size_t i = 0; j + i < count; ++i) {
    u[j + i] = out[0][i];
    v[j + i] = out[1][i];
    if (z) z[j + i] = out[2][i];
  }
}

void AffineOut(const double* a, int32_t n, const double* x, const double* y, double* out) {
  const D d;
  const size_t lanes = hn::Lanes(d);
  const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
  auto one = [&](const double* xs, const double* ys, double* points) {
    V outX, outY;
    apply(d, a, hn::LoadU(d, xs), hn::LoadU(d, ys), &outX, &outY);
    hn::StoreInterleaved2(outX, outY, d, points);
  };
  size_t j = 0;
  for (; j + lanes <= count; j += lanes) one(x + j, y + j, out + 2 * j);
  if (j == count) return;
  HWY_ALIGN double in[2][kMaxLanes] = {};
  HWY_ALIGN double points[2 * kMaxLanes];
  for (size_t i = 0; j + i < count; ++i) {
    in[0][i] = x[j + i];
    in[1][i] = y[j + i];
  }
  one(in[0], in[1], points);
  for (size_t i = 0; i < 2 * (count - j); ++i) out[2 * j + i] = points[i];
}

}  // namespace HWY_NAMESPACE
}  // namespace senmod
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace senmod {

HWY_EXPORT(AffineIn);
HWY_EXPORT(AffineOut);

void affineIn(const double* a, int32_t n, const double* in, double* u, double* v, double* z) {
  HWY_DYNAMIC_DISPATCH(AffineIn)(a, n, in, u, v, z);
}

void affineOut(const double* a, int32_t n, const double* x, const double* y, double* out) {
  HWY_DYNAMIC_DISPATCH(AffineOut)(a, n, x, y, out);
}

}  // namespace senmod
#endif
