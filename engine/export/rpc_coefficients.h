// An RPC as GDAL's RPC metadata holds it (RPC00B's items), and the accuracy figures it states.
#ifndef SENMOD_IO_RPC_COEFFICIENTS_H
#define SENMOD_IO_RPC_COEFFICIENTS_H

#include <cpl_string.h>

#include <array>

#include "rpc_terms.h"

namespace senmod_io {

// Offsets and scales normalise longitude and latitude (degrees), height (m above the
// ellipsoid), line and sample (pixels with the first pixel's centre at 0, 0: GDAL's pixel/line
// less 0.5); each image coordinate is its numerator over its denominator, in RPC term order.
struct Rpc {
  double lineOff = 0.0, sampOff = 0.0, latOff = 0.0, longOff = 0.0, heightOff = 0.0;
  double lineScale = 1.0, sampScale = 1.0, latScale = 1.0, longScale = 1.0, heightScale = 1.0;
  std::array<double, kRpcTerms> lineNum{}, lineDen{}, sampNum{}, sampDen{};
};

// The accuracy an RPC states (RPC00B's ERR_BIAS and ERR_RAND): RMS bias and random error per
// horizontal axis, metres; a negative figure is unknown.
struct RpcAccuracy {
  double bias = -1.0;
  double random = -1.0;
};

// rpc as GDAL's "RPC" metadata (KEY=VALUE texts, each number the shortest that reads back as
// the same double), with ERR_BIAS and ERR_RAND from accuracy (-1 where unknown).
CPLStringList rpcMetadata(const Rpc& rpc, const RpcAccuracy& accuracy);

}  // namespace senmod_io

#endif
