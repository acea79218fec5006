#include "rpc_accuracy.h"

#include <cmath>
#include <string>

#include "local_frame.h"
#include "number_text.h"

namespace senmod_io {

namespace {

// A figure given as a finite number >= 0.
std::optional<double> figure(const char* text) {
  if (!text) return std::nullopt;
  const std::string t = text;
  double value = 0.0;
  const size_t begin = t.find_first_not_of(' ');
  const size_t end = t.find_last_not_of(' ');
  if (begin == std::string::npos ||
      !senmod_text::parseNumberText(t.data() + begin, t.data() + end + 1, &value) ||
      !std::isfinite(value) || value < 0.0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<AdjustableParameters> rpcErrorParameters(const char* errBias, const char* errRand,
                                                       double lon, double lat, double h) {
  const std::optional<double> bias = figure(errBias), random = figure(errRand);
  if (!bias && !random) return std::nullopt;
  const double variance = (bias ? *bias * *bias : 0.0) + (random ? *random * *random : 0.0);
  AdjustableParameters p;
  p.source = bias && random ? "ERR_BIAS, ERR_RAND" : bias ? "ERR_BIAS" : "ERR_RAND";
  const LocalFrame frame = eastNorthUpFrame(lon, lat, h);
  p.origin = frame.origin;
  p.axes = frame.axes;
  p.addGroundTerm(GroundTerm::XO);
  p.addGroundTerm(GroundTerm::YO);
  p.covariance = {variance, 0.0, 0.0, variance};
  return p;
}

}  // namespace senmod_io
