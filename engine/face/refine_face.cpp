// The face's calls that refine a model with ground control points.
#include <cpl_string.h>

#include <string>
#include <vector>

#include "ground_control.h"
#include "model_handle.h"
#include "refinement.h"
#include "senmod/senmod_io.h"

namespace {

using senmod_io::guarded;
using senmod_io::needModel;
using senmod_io::ReadError;

senmod_io::RefineOptions refineOptions(const char* const* options) {
  senmod_io::RefineOptions r;
  for (const senmod_io::FaceOption& option : senmod_io::faceOptions(options)) {
    const std::string& key = option.key;
    const std::string& text = option.value;
    if (EQUAL(key.c_str(), "PARAMS")) {
      const auto set = senmod_io::parameterSetNamed(text);
      if (!set) {
        throw ReadError("PARAMS takes model, " + senmod_io::namedParameterSets() + ", not \"" +
                        text + "\"");
      }
      r.set = *set;
    } else if (EQUAL(key.c_str(), "MAX_ITERATIONS")) {
      r.maxIterations = senmod_io::wholeOf(text, "MAX_ITERATIONS", 1, 1000);
    } else if (EQUAL(key.c_str(), "REJECT")) {
      if (!EQUAL(text.c_str(), "YES") && !EQUAL(text.c_str(), "NO")) {
        throw ReadError("REJECT takes YES or NO, not \"" + text + "\"");
      }
      r.reject = EQUAL(text.c_str(), "YES");
    } else {
      throw ReadError("unknown option \"" + key + "\"");
    }
  }
  return r;
}

smod_Model* refined(smod_Model* model, std::vector<senmod_io::GroundControlPoint> points,
                    const char* const* options, char** reportJson) {
  if (reportJson) *reportJson = nullptr;
  senmod_io::Refinement r =
      senmod_io::refine(model->engine, std::move(points), refineOptions(options));
  char* report = reportJson ? senmod_io::handOut(senmod_io::refineReportJson(r.report)) : nullptr;
  try {
    smod_Model* result = senmod_io::derivedModel(model, std::move(r.model));
    if (reportJson) *reportJson = report;
    return result;
  } catch (...) {
    smod_Free(report);
    throw;
  }
}

}  // namespace

smod_Model* smod_ModelRefine(smod_Model* model, const char* gcpPath, const char* const* options,
                             char** reportJson, ErrorReport** err) {
  return guarded(err, "smod_ModelRefine", static_cast<smod_Model*>(nullptr), [&] {
    if (reportJson) *reportJson = nullptr;
    needModel(model);
    if (!gcpPath || !*gcpPath) throw ReadError("no ground control points file");
    return refined(model, senmod_io::readGroundControl(gcpPath), options, reportJson);
  });
}

smod_Model* smod_ModelRefinePoints(smod_Model* model, size_t n, size_t columns,
                                   const double* gcps, const char* const* options,
                                   char** reportJson, ErrorReport** err) {
  return guarded(err, "smod_ModelRefinePoints", static_cast<smod_Model*>(nullptr), [&] {
    if (reportJson) *reportJson = nullptr;
    needModel(model);
    if (n > 0 && !gcps) throw ReadError("the ground control points are null");
    return refined(model, senmod_io::groundControlOf(n, columns, gcps), options, reportJson);
  });
}
