// Copies of a model set up for one direction and one source of heights.
#ifndef SENMOD_IO_MODEL_COPY_H
#define SENMOD_IO_MODEL_COPY_H

#include <string>

#include "owned.h"

namespace senmod_io {

// A copy of model; throws std::bad_alloc when the library cannot make one.
XformPtr copyOf(const RSM_Xform* model);

// Sets the direction of xform and points its elevation at the DEM file dem ("" for the model's
// constant mean height), then runs the one-time set-up so that a DEM the host cannot use is
// caught: throws ReadError naming dem.
void configure(RSM_Xform* xform, bool groundToImage, const std::string& dem);

}  // namespace senmod_io

#endif
