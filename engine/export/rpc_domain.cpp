#include "rpc_domain.h"

#include <algorithm>

#include "read_error.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

RpcDomain rpcDomain(const PointEngine& engine) {
  const DomainLimits& limits = engine.limits();
  if (!limits.image) throw ReadError("the model has no image domain to fit an RPC over");
  if (!limits.ground) {
    throw ReadError("the model's ground domain gives no geographic heights to fit an RPC over");
  }
  RpcDomain domain;
  domain.image = modelImageExtent(engine.model().xform.get());
  domain.lonCentre = limits.lonCentre;
  const double middle = (limits.coreHeightMin + limits.coreHeightMax) / 2.0;
  const double half =
      std::max(limits.coreHeightMax - limits.coreHeightMin, kLeastRpcHeightRange) / 2.0;
  domain.heightMin = middle - half;
  domain.heightMax = middle + half;
  return domain;
}

GroundSamples sampleGround(PointEngine& engine, const RpcDomain& domain, int perSide, int layers) {
  const ImageExtent& e = domain.image;
  const size_t count = static_cast<size_t>(perSide) * perSide * layers;
  std::vector<double> sample(count), row(count), height(count), lon(count), lat(count);
  std::vector<int> status(count);
  const double shift = gdalPixelShiftOf(engine.model().pixelConvention);
  size_t n = 0;
  for (int k = 0; k < layers; ++k) {
    const double h = domain.heightMin + (domain.heightMax - domain.heightMin) * k / (layers - 1);
    for (int i = 0; i < perSide; ++i) {
      for (int j = 0; j < perSide; ++j, ++n) {
        sample[n] = e.x0 + (e.x1 - e.x0) * j / (perSide - 1) - shift;
        row[n] = e.y0 + (e.y1 - e.y0) * i / (perSide - 1) - shift;
        height[n] = h;
      }
    }
  }
  engine.imageToGround(count, sample.data(), row.data(), height.data(), lon.data(), lat.data(),
                       nullptr, nullptr, status.data());
  GroundSamples samples;
  for (size_t i = 0; i < count; ++i) {
    if (status[i] != SMOD_POINT_OK) {
      ++samples.missed;
      continue;
    }
    samples.pixel.push_back(sample[i] + shift);
    samples.line.push_back(row[i] + shift);
    samples.lon.push_back(nearLongitude(lon[i], domain.lonCentre));
    samples.lat.push_back(lat[i]);
    samples.height.push_back(height[i]);
  }
  return samples;
}

}  // namespace senmod_io
