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

// A copy of model whose adjustable parameters are parameters (with their values and
// covariance), in place of any it had. Throws ReadError for parameters without any, a count of
// values or covariance elements that is not theirs, or a value that is not finite.
LoadedModel withParameters(const LoadedModel& model, const AdjustableParameters& parameters);

}  // namespace senmod_io

#endif
