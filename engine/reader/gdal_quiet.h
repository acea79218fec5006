// GDAL as the readers use it: drivers registered once, and its messages kept for ours.
#ifndef SENMOD_IO_GDAL_QUIET_H
#define SENMOD_IO_GDAL_QUIET_H

#include <string>

namespace senmod_io {

// Registers GDAL's drivers and installs a handler that keeps GDAL's error messages instead of
// printing them. Safe to call any number of times.
void gdalStart();

// The last error message GDAL gave since the previous call, "" when none; clears it.
std::string gdalTakeMessage();

}  // namespace senmod_io

#endif
