// Where an RPC is fitted to a model and checked against it: the model's image extent and its
// ground domain's heights, sampled by a regular grid of image points carried to the ground.
#ifndef SENMOD_IO_RPC_DOMAIN_H
#define SENMOD_IO_RPC_DOMAIN_H

#include <cstddef>
#include <vector>

#include "ground_outline.h"
#include "point_engine.h"

namespace senmod_io {

// The least height range (m) an RPC is fitted over: a flatter ground domain is widened about
// its middle, so that the height terms are determined.
constexpr double kLeastRpcHeightRange = 100.0;

struct RpcDomain {
  ImageExtent image;             // GDAL pixel/line of the image domain's outer pixel edges
  double heightMin = 0.0;        // m above the ellipsoid
  double heightMax = 0.0;
  double lonCentre = 0.0;        // degrees: longitudes are taken within 180 of it
};

// The domain of engine's model. Throws ReadError when the model has no image domain or no
// geographic ground domain to take heights from.
RpcDomain rpcDomain(const PointEngine& engine);

// Image points of a grid, carried to the ground by the model.
struct GroundSamples {
  std::vector<double> pixel, line;    // GDAL pixel/line
  std::vector<double> lon, lat, height;  // degrees, m
  size_t missed = 0;  // grid points the model does not carry to the ground (left out)
};

// perSide x perSide image points spanning the domain's image edge to edge, at each of layers
// heights spanning its height range (both >= 2), carried to the ground by engine's image to
// ground at those heights. Throws ReadError when the engine's call fails as a whole.
GroundSamples sampleGround(PointEngine& engine, const RpcDomain& domain, int perSide, int layers);

}  // namespace senmod_io

#endif
