// The face's calls on adjustable parameters and accuracy.
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "model_handle.h"
#include "parameter_values.h"
#include "propagation.h"
#include "senmod/senmod_io.h"

namespace {

using senmod_io::guarded;
using senmod_io::needModel;
using senmod_io::ReadError;

const senmod_io::AdjustableParameters* parametersOf(const smod_Model* model) {
  if (!model || !model->engine.model().parameters) return nullptr;
  return &*model->engine.model().parameters;
}

int countOf(size_t good) {
  return good > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(good);
}

}  // namespace

int smod_ModelParameterCount(const smod_Model* model, ErrorReport** err) {
  return guarded(err, "smod_ModelParameterCount", -1, [&] {
    needModel(model);
    const auto* p = parametersOf(model);
    return p ? static_cast<int>(p->count()) : 0;
  });
}

const char* smod_ModelParameterName(const smod_Model* model, int index) {
  const auto* p = parametersOf(model);
  if (!p || index < 0 || static_cast<size_t>(index) >= p->count()) return nullptr;
  return p->names[static_cast<size_t>(index)].c_str();
}

const char* smod_ModelParameterSource(const smod_Model* model) {
  const auto* p = parametersOf(model);
  return p ? p->source.c_str() : nullptr;
}

int smod_ModelParameters(const smod_Model* model, double* values, double* covariance,
                         ErrorReport** err) {
  return guarded(err, "smod_ModelParameters", -1, [&] {
    needModel(model);
    const auto* p = parametersOf(model);
    if (!p) return 0;
    if (values) std::copy(p->values.begin(), p->values.end(), values);
    if (!p->hasCovariance()) return 0;
    if (covariance) std::copy(p->covariance.begin(), p->covariance.end(), covariance);
    return 1;
  });
}

smod_Model* smod_ModelWithParameters(const smod_Model* model, size_t count, const double* values,
                                     ErrorReport** err) {
  return guarded(err, "smod_ModelWithParameters", static_cast<smod_Model*>(nullptr), [&] {
    needModel(model);
    if (count > 0 && !values) throw ReadError("the values are null");
    const std::vector<double> given(values, values + count);
    return senmod_io::derivedModel(
        model, senmod_io::withParameterValues(model->engine.model(), given));
  });
}

int smod_ModelImageCovariance(smod_Model* model, size_t n, const double* lon, const double* lat,
                              const double* height, double* cov, int* status, ErrorReport** err) {
  return guarded(err, "smod_ModelImageCovariance", -1, [&] {
    needModel(model);
    if (n > 0 && (!lon || !lat || !cov || !status)) throw ReadError("a point array is null");
    return countOf(senmod_io::imageCovariance(model->engine, n, lon, lat, height, cov, status));
  });
}

int smod_ModelGroundCovariance(smod_Model* model, size_t n, const double* sample,
                               const double* row, const double* height, double heightSigma,
                               double imageSigma, double* lon, double* lat, double* heightOut,
                               double* cov, double* ce90, double* le90, int* status,
                               ErrorReport** err) {
  return guarded(err, "smod_ModelGroundCovariance", -1, [&] {
    needModel(model);
    if (n > 0 && (!sample || !row || !lon || !lat || !heightOut || !cov || !status)) {
      throw ReadError("a point array is null");
    }
    if (!(heightSigma >= 0.0 && std::isfinite(heightSigma))) {
      throw ReadError("the height's standard deviation must be a finite number >= 0");
    }
    if (!(imageSigma >= 0.0 && std::isfinite(imageSigma))) {
      throw ReadError("the image measurement's standard deviation must be a finite number >= 0");
    }
    return countOf(senmod_io::groundCovariance(model->engine, n, sample, row, height,
                                               {heightSigma, imageSigma}, lon, lat, heightOut,
                                               cov, ce90, le90, status));
  });
}
