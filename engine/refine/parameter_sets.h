// The parameter sets a refinement solves for: the model's own adjustable parameters, or one of
// the named sets that any model can take.
//
// A named set acts in a local east-north-up frame whose origin is the ground point under the
// image centre at the model's mean height:
// - image-offset: IRO, ICO, a shift of rows and samples (px);
// - image-affine: IRO, IRX, IRY, ICO, ICX, ICY. Image-space terms are polynomials of the
//   ground point's local coordinates, so the affine correction of rows and samples is linear
//   in local east (x) and north (y) here. Both are normalised by half the image's extent on the
//   ground (the largest |east| or |north| of the image corners at the mean height), so that
//   IRX is the row shift (px) at the image's east edge, IRY at its north edge;
// - ground-offset: GXO, GYO, GZO, a shift of the ground (m east, north, up);
// - ground-offset-rotation: those and GXR, GYR, GZR, small rotations (radians) about east,
//   north and up.
// Their values start at zero and have no prior covariance.
#ifndef SENMOD_IO_PARAMETER_SETS_H
#define SENMOD_IO_PARAMETER_SETS_H

#include <optional>
#include <string>

#include "adjustable_parameters.h"
#include "point_engine.h"

namespace senmod_io {

enum class ParameterSet { Model, ImageOffset, ImageAffine, GroundOffset, GroundOffsetRotation };

// "model", "image-offset", "image-affine", "ground-offset", "ground-offset-rotation".
const char* parameterSetName(ParameterSet set);
std::optional<ParameterSet> parameterSetNamed(const std::string& name);
// The named sets for people: "image-offset, image-affine, ground-offset, ...".
std::string namedParameterSets();

// The named set (not Model) for engine's model, as above. Throws ReadError when the image
// centre or corners do not reach the ground at the mean height.
AdjustableParameters namedParameters(PointEngine& engine, ParameterSet set);

}  // namespace senmod_io

#endif
