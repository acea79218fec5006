// How far an RPC, as GDAL's RPC transformer evaluates it, lies from the model it was fitted to.
#ifndef SENMOD_IO_RPC_RESIDUAL_H
#define SENMOD_IO_RPC_RESIDUAL_H

#include <cstddef>
#include <vector>

#include "rpc_domain.h"

namespace senmod_io {

// Distances (pixels) between the RPC's image position of a ground point and the model's.
struct RpcResidual {
  double mean = 0.0;
  double max = 0.0;
  double rms = 0.0;   // root mean square of the distances
  size_t points = 0;  // check points compared
  size_t missed = 0;  // check points the model does not carry both ways (left out)
};

// Check points: 2 grid x 2 grid image points spanning the image edge to edge, at 2 heights
// layers spanning the height range, so that only the domain's edges meet the fitting grid;
// carried to the ground and back to the image by the model.
class RpcCheck {
 public:
  // Throws ReadError when the engine's call fails as a whole.
  RpcCheck(PointEngine& engine, const RpcDomain& domain, int grid, int heights);

  // The residual of the RPC of metadata (GDAL's "RPC" items) at the check points: its image
  // position by GDAL's RPC transformer against the model's ground to image, both in GDAL's
  // pixel/line. Throws ReadError when GDAL cannot use the RPC or no check point is left.
  RpcResidual measure(char** metadata) const;

 private:
  std::vector<double> lon_, lat_, height_;  // degrees, m
  std::vector<double> pixel_, line_;        // the model's image positions, GDAL pixel/line
  size_t missed_ = 0;
};

}  // namespace senmod_io

#endif
