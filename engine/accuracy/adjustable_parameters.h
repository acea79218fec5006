// A model's adjustable parameters: what each one moves, their values and their error covariance,
// in one form whichever records (RSMAPA/RSMDCA/RSMECA or RSMAPB/RSMDCB/RSMECB) they came from.
//
// How a parameter vector p changes the model (metres, radians, pixels):
//  1. A ground point is carried to the local frame: X = Aᵀ (E - O), where E is its geocentric
//     WGS 84 position, O the frame's origin (XUOL, YUOL, ZUOL) and A the frame's axes, stored
//     row by row as the records give them (XUXL, XUYL, XUZL, YUXL, ...): the columns of A are the
//     local x, y and z axes in geocentric coordinates.
//  2. The ground-space terms move it: X' = X + (GXO, GYO, GZO) + X × (GXR, GYR, GZR)
//     + GS X + G X, with G = [[GXX, GXY, GXZ], [GYX, GYY, GYZ], [GZX, GZY, GZZ]]. The offsets
//     move the ground point; X × W is the small rotation of the axes by W (radians), so that a
//     camera turned by W sees the ground turned the other way.
//  3. The model's polynomials are evaluated at X' (carried back to the model's ground domain).
//  4. The image-space terms are added: row += Σ IR·xⁱyʲzᵏ, sample += Σ IC·xⁱyʲzᵏ over the
//     row and column terms, with (x, y, z) = ((X - offset) / scale) of the unmoved point X:
//     metres for the A records (offset 0, scale 1), normalised by NOFF/NSF for the B records.
// A parameter may drive several terms (the A records name a parameter per term slot); each
// term takes its parameter's value. A parameter may also drive none (an A record whose slots do
// not name it): it moves nothing, and is named "#" and its number ("#7").
#ifndef SENMOD_IO_ADJUSTABLE_PARAMETERS_H
#define SENMOD_IO_ADJUSTABLE_PARAMETERS_H

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace senmod_io {

// The sixteen ground-space terms, in the records' slot order.
enum class GroundTerm { XO, YO, ZO, XR, YR, ZR, S, XX, XY, XZ, YX, YY, YZ, ZX, ZY, ZZ };

// One term of the adjustment and the parameter (0-based) that drives it.
struct AdjustmentTerm {
  enum class Kind { Row, Sample, Ground } kind = Kind::Row;
  std::array<int, 3> powers{};  // Row and Sample: the powers of x, y and z
  GroundTerm ground = GroundTerm::XO;  // Ground
  int parameter = 0;
};

struct AdjustableParameters {
  // The records the parameters and their covariance come from, for people ("RSMAPA, RSMECA").
  std::string source;
  std::array<double, 3> origin{};                      // m, geocentric WGS 84
  std::array<double, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major, as the records store them
  std::array<double, 3> offset{};                      // image-space terms' normalisation
  std::array<double, 3> scale{1, 1, 1};
  // one per parameter ("GXO", "IRX", "GXO+GYO" for a shared one, "#7" for one that drives none)
  std::vector<std::string> names;
  std::vector<AdjustmentTerm> terms;
  std::vector<double> values;       // one per parameter; zeros when no record gives them
  // The parameters' covariance, names.size()² row-major (m², rad², px² as their terms); empty
  // when no record gives one.
  std::vector<double> covariance;
  // The unmodelled error's row-row, row-sample and sample-sample covariance (px²), when given.
  std::optional<std::array<double, 3>> unmodelled;

  size_t count() const { return names.size(); }
  // Adds a parameter (value 0) that drives one image-space term, or one ground-space term.
  void addImageTerm(AdjustmentTerm::Kind kind, const std::array<int, 3>& powers);
  void addGroundTerm(GroundTerm term);
  bool hasCovariance() const { return !covariance.empty(); }
  // True when some value is not zero, so that evaluation must apply them.
  bool applies() const;
};

// The name of an image-space term from its powers: "IR"/"IC" followed by X, Y and Z as often as
// their powers ("IRXXZ"), or "IRO"/"ICO" for the constant.
std::string imageTermName(AdjustmentTerm::Kind kind, const std::array<int, 3>& powers);
// "GXO", "GYO", ... "GZZ".
const char* groundTermName(GroundTerm term);
// The term a ground-space name stands for ("GXO" ... "GZZ"), or nothing.
std::optional<GroundTerm> groundTermNamed(const std::string& name);

}  // namespace senmod_io

#endif
