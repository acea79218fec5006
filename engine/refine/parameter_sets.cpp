#include "parameter_sets.h"

#include <algorithm>
#include <cmath>

#include "local_frame.h"
#include "read_error.h"
#include "senmod/senmod_io.h"

namespace senmod_io {

namespace {

constexpr const char* kNames[] = {"model", "image-offset", "image-affine", "ground-offset",
                                  "ground-offset-rotation"};
constexpr int kSets = 5;

using Kind = AdjustmentTerm::Kind;

}  // namespace

const char* parameterSetName(ParameterSet set) { return kNames[static_cast<int>(set)]; }

std::optional<ParameterSet> parameterSetNamed(const std::string& name) {
  for (int i = 0; i < kSets; ++i) {
    if (name == kNames[i]) return static_cast<ParameterSet>(i);
  }
  return std::nullopt;
}

std::string namedParameterSets() {
  std::string text;
  for (int i = 1; i < kSets; ++i) text += std::string(i > 1 ? ", " : "") + kNames[i];
  return text;
}

AdjustableParameters namedParameters(PointEngine& engine, ParameterSet set) {
  const Smod_Doubles& domain = engine.model().xform->model->rsm.imageDomain;
  if (domain.count < 4 || !domain.data) throw ReadError("the model has no image domain");
  const double* d = domain.data;
  // The centre, then the corners of the image's extent.
  const double sample[5] = {(d[0] + d[1] + 1.0) / 2, d[0], d[1] + 1.0, d[1] + 1.0, d[0]};
  const double row[5] = {(d[2] + d[3] + 1.0) / 2, d[2], d[2], d[3] + 1.0, d[3] + 1.0};
  const double mean = engine.modelMeanHeight();
  const double height[5] = {mean, mean, mean, mean, mean};
  double lon[5], lat[5];
  int status[5];
  engine.imageToGround(5, sample, row, height, lon, lat, nullptr, nullptr, status, false);
  for (const int s : status) {
    if (s != SMOD_POINT_OK) {
      throw ReadError(std::string("the image's centre and corners do not reach the ground at "
                                  "the mean height: ") + smod_PointStatusText(s));
    }
  }
  AdjustableParameters p;
  p.source = parameterSetName(set);
  const LocalFrame frame = eastNorthUpFrame(lon[0], lat[0], mean);
  p.origin = frame.origin;
  p.axes = frame.axes;
  double half = 0.0;
  for (int c = 1; c < 5; ++c) {
    const Vec3 x = frame.toLocal(geocentricOf(lon[c], lat[c], mean));
    half = std::max({half, std::fabs(x[0]), std::fabs(x[1])});
  }
  p.scale = {half, half, half};
  switch (set) {
    case ParameterSet::ImageOffset:
      p.addImageTerm(Kind::Row, {0, 0, 0});
      p.addImageTerm(Kind::Sample, {0, 0, 0});
      break;
    case ParameterSet::ImageAffine:
      for (const Kind k : {Kind::Row, Kind::Sample}) {
        p.addImageTerm(k, {0, 0, 0});
        p.addImageTerm(k, {1, 0, 0});
        p.addImageTerm(k, {0, 1, 0});
      }
      break;
    case ParameterSet::GroundOffsetRotation:
    case ParameterSet::GroundOffset: {
      const int count = set == ParameterSet::GroundOffset ? 3 : 6;
      for (int g = 0; g < count; ++g) p.addGroundTerm(static_cast<GroundTerm>(g));
      break;
    }
    case ParameterSet::Model:
      throw ReadError("the model's own parameters are not a named set");
  }
  return p;
}

}  // namespace senmod_io
