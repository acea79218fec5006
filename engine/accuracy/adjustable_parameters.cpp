#include "adjustable_parameters.h"

namespace senmod_io {

namespace {

constexpr const char* kGroundNames[] = {"GXO", "GYO", "GZO", "GXR", "GYR", "GZR",
                                        "GS",  "GXX", "GXY", "GXZ", "GYX", "GYY",
                                        "GYZ", "GZX", "GZY", "GZZ"};

}  // namespace

bool AdjustableParameters::applies() const {
  for (const double v : values) {
    if (v != 0.0) return true;
  }
  return false;
}

void AdjustableParameters::addImageTerm(AdjustmentTerm::Kind kind,
                                        const std::array<int, 3>& powers) {
  terms.push_back({kind, powers, GroundTerm::XO, static_cast<int>(names.size())});
  names.push_back(imageTermName(kind, powers));
  values.resize(names.size(), 0.0);
}

void AdjustableParameters::addGroundTerm(GroundTerm term) {
  terms.push_back({AdjustmentTerm::Kind::Ground, {}, term, static_cast<int>(names.size())});
  names.push_back(groundTermName(term));
  values.resize(names.size(), 0.0);
}

std::string imageTermName(AdjustmentTerm::Kind kind, const std::array<int, 3>& powers) {
  std::string name = kind == AdjustmentTerm::Kind::Row ? "IR" : "IC";
  const size_t bare = name.size();
  for (int axis = 0; axis < 3; ++axis) name.append(powers[axis], "XYZ"[axis]);
  if (name.size() == bare) name += 'O';
  return name;
}

const char* groundTermName(GroundTerm term) { return kGroundNames[static_cast<int>(term)]; }

std::optional<GroundTerm> groundTermNamed(const std::string& name) {
  for (int i = 0; i < 16; ++i) {
    if (name == kGroundNames[i]) return static_cast<GroundTerm>(i);
  }
  return std::nullopt;
}

}  // namespace senmod_io
