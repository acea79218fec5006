// How a Model runs a face call: without the GIL, on the DEM the call names, with the options
// it sets for itself. Included by the files that define Model's methods.
#ifndef SENMOD_PYTHON_MODEL_CALLS_H
#define SENMOD_PYTHON_MODEL_CALLS_H

#include <mutex>

#include "face.h"
#include "model.h"

namespace senmod_python {

// A face call's set-up option, restored to its default when the call ends.
class CallOption {
 public:
  CallOption(smod_Model* model, const char* key, double value) : model_(model), key_(key) {
    Report report;
    if (smod_ModelSetOption(model_, key_, numberText(value).c_str(), report.slot()) != 0) {
      report.raise("smod_ModelSetOption");
    }
  }
  CallOption(const CallOption&) = delete;
  CallOption& operator=(const CallOption&) = delete;
  ~CallOption() { smod_ModelSetOption(model_, key_, nullptr, nullptr); }

 private:
  smod_Model* model_;
  const char* key_;
};

template <typename Body>
auto Model::run(const std::optional<std::string>& dem, std::optional<double> maxResidual,
                Body body) {
  const pybind11::gil_scoped_release unlocked;
  // Taken before the DEM is read, so that a change while it is read shows at the next call.
  const FileStamp stamp = dem && !dem->empty() ? fileStamp(*dem) : FileStamp{};
  const auto demIsSet = [&] { return !dem || (*dem == dem_ && stamp == demStamp_); };
  if (!maxResidual) {
    const std::shared_lock<std::shared_mutex> shared(mutex_);
    if (demIsSet()) return body();
  }
  const std::unique_lock<std::shared_mutex> alone(mutex_);
  if (!demIsSet()) setDem(*dem, stamp);
  if (!maxResidual) return body();
  const CallOption limit(model_, "MAX_RESIDUAL", *maxResidual);
  return body();
}

}  // namespace senmod_python

#endif
