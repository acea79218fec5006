// An RPC fitted to a model, terrain-independently: a grid of image points carried to the ground
// at layers of heights, the RPC's coefficients fitted to them by least squares.
#ifndef SENMOD_IO_RPC_FIT_H
#define SENMOD_IO_RPC_FIT_H

#include <cstddef>

#include "rpc_coefficients.h"
#include "rpc_domain.h"

namespace senmod_io {

constexpr int kDefaultRpcDegree = 3;
constexpr int kDefaultRpcGrid = 20;     // image points per side
constexpr int kDefaultRpcHeights = 7;   // height layers
constexpr int kMaxRpcGrid = 200;
constexpr int kMaxRpcHeights = 50;

struct RpcFitOptions {
  int degree = kDefaultRpcDegree;    // 1, 2 or 3: terms of a higher total degree are zero
  int grid = kDefaultRpcGrid;        // from degree + 1 to kMaxRpcGrid
  int heights = kDefaultRpcHeights;  // from degree + 1 to kMaxRpcHeights
};

// Throws ReadError, naming the option as the C face does (DEGREE, GRID, HEIGHTS), for one out
// of its range.
void checkRpcFitOptions(const RpcFitOptions& options);

struct RpcFit {
  Rpc rpc;
  size_t points = 0;  // fitting points used
  size_t missed = 0;  // grid points the model did not carry to the ground
};

// The RPC of engine's model over domain. Offsets and scales are rounded to what RPC00B holds
// (whole pixels and metres, 1e-4 degrees; scales outwards), so that every format writes the
// same RPC. Each image coordinate is fitted as numerator over denominator (its constant 1),
// linearised and weighted by the previous pass's denominator, with a Tikhonov term of
// kRpcTikhonov times the number of points. Throws ReadError when too few grid points reach the
// ground for the unknowns, or when the engine's call fails.
RpcFit fitRpc(PointEngine& engine, const RpcDomain& domain, const RpcFitOptions& options);

}  // namespace senmod_io

#endif
