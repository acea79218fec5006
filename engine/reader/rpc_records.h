// An exact single-section model from rational polynomial coefficients (RPC00B or RPC metadata).
#ifndef SENMOD_IO_RPC_RECORDS_H
#define SENMOD_IO_RPC_RECORDS_H

#include <string>

#include "owned.h"

namespace senmod_io {

// Builds the model from GDAL's "RPC" metadata list (char** of KEY=VALUE). The ground domain is
// geodetic (longitude and latitude in radians, height in meters); the polynomials have powers
// 3, 3, 3 with each of the twenty RPC terms at its powers and every other term zero. Image
// coordinates are the RPC's own: the centre of the first pixel is sample 0, row 0. width and
// height (pixels) give the image domain. Throws ReadError naming file and the bad item: one
// missing, an offset or scale that is not one number or lies outside what the Earth allows
// (LAT_OFF within [-90, 90], LONG_OFF within [-180, 360], scales above zero, ...), a coefficient
// list of other than twenty numbers.
ModelPtr modelFromRpc(char** metadata, int width, int height, const std::string& file);

}  // namespace senmod_io

#endif
