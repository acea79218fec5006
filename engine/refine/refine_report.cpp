// The refinement's report as JSON, for the face and its front ends.
#include "model_summary.h"
#include "refinement.h"

namespace senmod_io {

namespace {

std::string pair(const double v[2]) {
  return "[" + jsonNumber(v[0]) + ", " + jsonNumber(v[1]) + "]";
}

}  // namespace

std::string refineReportJson(const RefineReport& r) {
  std::string j = "{\"parameter_set\": " + jsonText(r.set) + ", \"source\": " +
                  jsonText(r.source) + ", \"prior\": " + (r.prior ? "true" : "false") +
                  ", \"iterations\": " + std::to_string(r.iterations) +
                  ", \"points_used\": " + std::to_string(r.used) +
                  ", \"redundancy\": " + std::to_string(r.redundancy) +
                  ", \"variance_factor\": " + jsonNumber(r.varianceFactor) +
                  ", \"rms_before_px\": " + jsonNumber(r.rmsBefore) +
                  ", \"rms_after_px\": " + jsonNumber(r.rmsAfter) +
                  ", \"rms_before_m\": " + jsonNumber(r.rmsBeforeMetres) +
                  ", \"rms_after_m\": " + jsonNumber(r.rmsAfterMetres) + ", \"parameters\": [";
  for (size_t k = 0; k < r.names.size(); ++k) {
    j += std::string(k ? ", " : "") + "{\"name\": " + jsonText(r.names[k]) +
         ", \"value\": " + jsonNumber(r.values[k]) + ", \"sigma\": " + jsonNumber(r.sigmas[k]) +
         "}";
  }
  j += "], \"points\": [";
  for (size_t i = 0; i < r.points.size(); ++i) {
    const PointResidual& p = r.points[i];
    j += std::string(i ? ", " : "") + "{\"id\": " + jsonText(p.point.id) +
         ", \"sample\": " + jsonNumber(p.point.sample) + ", \"row\": " +
         jsonNumber(p.point.row) + ", \"longitude\": " + jsonNumber(p.point.lon) +
         ", \"latitude\": " + jsonNumber(p.point.lat) + ", \"height\": " +
         jsonNumber(p.point.height) + ", \"before_px\": " + pair(p.before) +
         ", \"after_px\": " + pair(p.after) + ", \"before_m\": " + jsonNumber(p.beforeMetres) +
         ", \"after_m\": " + jsonNumber(p.afterMetres) + ", \"normalised\": " +
         jsonNumber(p.normalised) + ", \"flagged\": " + (p.flagged ? "true" : "false") +
         ", \"rejected\": " + (p.rejected ? "true" : "false") + "}";
  }
  return j + "]}\n";
}

}  // namespace senmod_io
