// GDAL as the engine uses it: drivers registered once, and its messages kept for ours while an
// engine call runs, without touching the error handling of the program around it.
#ifndef SENMOD_IO_GDAL_QUIET_H
#define SENMOD_IO_GDAL_QUIET_H

#include <string>

namespace senmod_io {

// While one lives, GDAL's error messages on this thread are kept (see gdalTakeMessage) instead
// of going to the handler the program installed. It registers GDAL's drivers first (once).
// Scopes nest.
class GdalMessages {
 public:
  GdalMessages();
  ~GdalMessages();
  GdalMessages(const GdalMessages&) = delete;
  GdalMessages& operator=(const GdalMessages&) = delete;
};

// The last error message GDAL gave on this thread since the previous call, "" when none;
// clears it.
std::string gdalTakeMessage();

}  // namespace senmod_io

#endif
