#include "rpc_residual.h"

#include <gdal_alg.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "gdal_dataset.h"
#include "read_error.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

namespace {

struct RpcTransformerCloser {
  void operator()(void* transformer) const { GDALDestroyRPCTransformer(transformer); }
};

}  // namespace

RpcCheck::RpcCheck(PointEngine& engine, const RpcDomain& domain, int grid, int heights) {
  GroundSamples g = sampleGround(engine, domain, 2 * grid, 2 * heights);
  const size_t n = g.lon.size();
  const double shift = gdalPixelShiftOf(engine.model().pixelConvention);
  std::vector<double> sample(n), row(n);
  std::vector<int> status(n);
  engine.groundToImage(n, g.lon.data(), g.lat.data(), g.height.data(), sample.data(), row.data(),
                       nullptr, status.data());
  missed_ = g.missed;
  for (size_t i = 0; i < n; ++i) {
    if (status[i] != SMOD_POINT_OK) {
      ++missed_;
      continue;
    }
    lon_.push_back(g.lon[i]);
    lat_.push_back(g.lat[i]);
    height_.push_back(g.height[i]);
    pixel_.push_back(sample[i] + shift);
    line_.push_back(row[i] + shift);
  }
}

RpcResidual RpcCheck::measure(char** metadata) const {
  GDALRPCInfoV2 info{};
  if (!GDALExtractRPCInfoV2(metadata, &info)) {
    throw ReadError(withReason("GDAL does not read the RPC written"));
  }
  const std::unique_ptr<void, RpcTransformerCloser> rpc(
      GDALCreateRPCTransformerV2(&info, FALSE, 0.0, nullptr));
  if (!rpc) throw ReadError(withReason("GDAL's RPC transformer refuses the RPC written"));
  const size_t n = lon_.size();
  if (n == 0) throw ReadError("no check point reaches the ground and back");
  std::vector<double> x = lon_, y = lat_, z = height_;
  std::vector<int> ok(n, 0);
  GDALRPCTransform(rpc.get(), TRUE, static_cast<int>(n), x.data(), y.data(), z.data(), ok.data());
  RpcResidual r;
  r.points = n;
  r.missed = missed_;
  double sum = 0.0, squares = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double d = ok[i] ? std::hypot(x[i] - pixel_[i], y[i] - line_[i]) : HUGE_VAL;
    // A point the RPC cannot evaluate (a zero denominator) is as far off as can be.
    if (!std::isfinite(d)) {
      r.mean = r.max = r.rms = HUGE_VAL;
      return r;
    }
    sum += d;
    squares += d * d;
    r.max = std::max(r.max, d);
  }
  r.mean = sum / static_cast<double>(n);
  r.rms = std::sqrt(squares / static_cast<double>(n));
  return r;
}

}  // namespace senmod_io
