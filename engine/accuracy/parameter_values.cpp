#include "parameter_values.h"

#include <cmath>
#include <string>

#include "read_error.h"

namespace senmod_io {

LoadedModel withParameterValues(const LoadedModel& model, const std::vector<double>& values) {
  if (!model.parameters || model.parameters->count() == 0) {
    throw ReadError("the model has no adjustable parameters to give values to");
  }
  AdjustableParameters p = *model.parameters;
  p.values = values;
  return withParameters(model, p);
}

LoadedModel withParameters(const LoadedModel& model, const AdjustableParameters& parameters) {
  const AdjustableParameters& p = parameters;
  if (p.count() == 0) throw ReadError("the model has no adjustable parameters to give values to");
  if (p.values.size() != p.count()) {
    throw ReadError("the model has " + std::to_string(p.count()) +
                    " adjustable parameters, not " + std::to_string(p.values.size()));
  }
  if (p.hasCovariance() && p.covariance.size() != p.count() * p.count()) {
    throw ReadError("the covariance of " + std::to_string(p.count()) + " parameters holds " +
                    std::to_string(p.covariance.size()) + " elements");
  }
  for (size_t k = 0; k < p.values.size(); ++k) {
    if (!std::isfinite(p.values[k])) {
      throw ReadError("the value of parameter " + std::to_string(k + 1) + " (" + p.names[k] +
                      ") is not a finite number");
    }
  }
  // The model file's persistent form is an exact copy of every record the model holds.
  const std::string name = "the model";
  LoadedModel copy = modelFromModelFile(modelFileContents(model, name), name);
  copy.source = model.source;
  copy.bRecords = model.bRecords;
  copy.parameters = p;
  return copy;
}

}  // namespace senmod_io
