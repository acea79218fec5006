#include "centre_accuracy.h"

#include <cmath>

#include "model_summary.h"
#include "number_text.h"
#include "propagation.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

std::optional<CentreAccuracy> centreAccuracy(PointEngine& engine) {
  const auto& p = engine.model().parameters;
  if (!p || (!p->hasCovariance() && !p->unmodelled)) return std::nullopt;
  const Smod_Doubles& d = engine.model().xform->model->rsm.imageDomain;
  if (d.count < 4 || !d.data) return std::nullopt;
  // The domain names its first and last pixel.
  const double shift = 0.5 - gdalPixelShiftOf(engine.model().pixelConvention);
  CentreAccuracy a;
  a.sample = (d.data[0] + d.data[1]) / 2.0 + shift;
  a.row = (d.data[2] + d.data[3]) / 2.0 + shift;
  a.height = engine.modelMeanHeight();
  double lon, lat, h, cov[9], le90;
  int status;
  if (groundCovariance(engine, 1, &a.sample, &a.row, &a.height, {}, &lon, &lat, &h, cov,
                       &a.ce90, &le90, &status) != 1) {
    return std::nullopt;
  }
  return a;
}

HorizontalErrors centreHorizontalErrors(PointEngine& engine) {
  HorizontalErrors e;
  const auto& p = engine.model().parameters;
  const std::optional<CentreAccuracy> centre = centreAccuracy(engine);
  if (!p || !centre) return e;
  const auto perAxis = [&](bool parameters) {
    GroundErrors errors;
    errors.parameters = parameters;
    errors.unmodelled = !parameters;
    double lon, lat, h, cov[9];
    int status;
    groundCovariance(engine, 1, &centre->sample, &centre->row, &centre->height, errors, &lon,
                     &lat, &h, cov, nullptr, nullptr, &status);
    return std::sqrt((cov[0] + cov[4]) / 2.0);
  };
  if (p->hasCovariance()) e.bias = perAxis(true);
  if (p->unmodelled) e.random = perAxis(false);
  return e;
}

std::string centreAccuracyJson(const std::optional<CentreAccuracy>& a) {
  if (!a) return "null";
  return "{\"sample\": " + jsonNumber(a->sample) + ", \"row\": " + jsonNumber(a->row) +
         ", \"height\": " + jsonNumber(a->height) + ", \"ce90\": " + jsonNumber(a->ce90) +
         ", \"le90\": 0}";
}

std::string centreAccuracyText(const std::optional<CentreAccuracy>& a) {
  if (!a) return "";
  using senmod_text::numberText;
  return "accuracy at the image centre (" + numberText(a->sample) + ", " + numberText(a->row) +
         ") on the mean height " + numberText(a->height) + " m: CE90 " +
         numberText(std::round(a->ce90 * 1000.0) / 1000.0) +
         " m, LE90 0 m (the height taken as exact; senmod accuracy adds its error)\n";
}

}  // namespace senmod_io
