// The accuracy an RPC states, as adjustable parameters.
#ifndef SENMOD_IO_RPC_ACCURACY_H
#define SENMOD_IO_RPC_ACCURACY_H

#include <optional>

#include "adjustable_parameters.h"

namespace senmod_io {

// An RPC's ERR_BIAS and ERR_RAND (m, root mean square per horizontal axis; negative or absent:
// unknown) as two ground offsets, east (GXO) and north (GYO), in the frame east, north, up at
// the ground point (lon, lat in degrees, h in m) of the RPC's offsets, each of variance
// ERR_BIAS² + ERR_RAND² over the figures given, uncorrelated: the horizontal error the way
// GDAL's users read them. Nothing when neither figure is known.
std::optional<AdjustableParameters> rpcErrorParameters(const char* errBias, const char* errRand,
                                                       double lon, double lat, double h);

}  // namespace senmod_io

#endif
