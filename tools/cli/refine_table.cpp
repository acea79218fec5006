#include "refine_table.h"

#include <cpl_json.h>
#include <cpl_string.h>

#include <cmath>

#include "face.h"

namespace senmod_cli {

namespace {

// A number with digits decimals, "-" when the report has none.
std::string fixed(const CPLJSONObject& v, int digits) {
  if (v.GetType() != CPLJSONObject::Type::Integer && v.GetType() != CPLJSONObject::Type::Long &&
      v.GetType() != CPLJSONObject::Type::Double) {
    return "-";
  }
  return CPLSPrintf("%.*f", digits, v.ToDouble());
}

std::string residual(const CPLJSONArray& pair) {
  return CPLSPrintf("%.2f", std::hypot(pair[0].ToDouble(), pair[1].ToDouble()));
}

}  // namespace

std::string refineTable(const std::string& json) {
  CPLJSONDocument document;
  if (!document.LoadMemory(json)) throw CommandError("the refinement's report is not JSON");
  const CPLJSONObject r = document.GetRoot();
  std::string t = r.GetString("source") + ": " + std::to_string(r.GetInteger("iterations")) +
                  " iterations, redundancy " + std::to_string(r.GetInteger("redundancy")) +
                  ", variance factor " + fixed(r.GetObj("variance_factor"), 3) +
                  (r.GetBool("prior") ? ", the model's covariance as prior" : "") + "\n";
  t += "RMS before " + fixed(r.GetObj("rms_before_px"), 3) + " px (" +
       fixed(r.GetObj("rms_before_m"), 3) + " m), after " + fixed(r.GetObj("rms_after_px"), 3) +
       " px (" + fixed(r.GetObj("rms_after_m"), 3) + " m)\n\n";
  t += CPLSPrintf("%-12s %16s %16s\n", "parameter", "value", "sigma");
  for (const CPLJSONObject& p : r.GetArray("parameters")) {
    t += CPLSPrintf("%-12s %16.9g %16.9g\n", p.GetString("name").c_str(),
                    p.GetDouble("value"), p.GetDouble("sigma"));
  }
  t += CPLSPrintf("\n%-12s %10s %10s %10s %10s %10s %10s %8s\n", "point", "sample", "row",
                  "before px", "before m", "after px", "after m", "normal.");
  for (const CPLJSONObject& p : r.GetArray("points")) {
    const char* mark = p.GetBool("rejected") ? "  rejected" : p.GetBool("flagged") ? "  flagged"
                                                                                  : "";
    t += CPLSPrintf("%-12s %10.2f %10.2f %10s %10s %10s %10s %8s%s\n",
                    p.GetString("id").c_str(), p.GetDouble("sample"), p.GetDouble("row"),
                    residual(p.GetArray("before_px")).c_str(),
                    fixed(p.GetObj("before_m"), 2).c_str(),
                    residual(p.GetArray("after_px")).c_str(),
                    fixed(p.GetObj("after_m"), 2).c_str(),
                    fixed(p.GetObj("normalised"), 2).c_str(), mark);
  }
  return t;
}

}  // namespace senmod_cli
