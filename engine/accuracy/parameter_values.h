// A model given other values of its adjustable parameters.
#ifndef SENMOD_IO_PARAMETER_VALUES_H
#define SENMOD_IO_PARAMETER_VALUES_H

#include <vector>

#include "model_loader.h"

namespace senmod_io {

// A copy of model whose parameters take values (one per parameter, finite; metres, radians and
// pixels as their terms), everything else as model has it. Throws ReadError for a model
// without adjustable parameters, a count that is not theirs or a value that is not finite.
LoadedModel withParameterValues(const LoadedModel& model, const std::vector<double>& values);

}  // namespace senmod_io

#endif
