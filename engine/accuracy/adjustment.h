// What a set of parameter values does to a model's points (see adjustable_parameters.h for the
// convention): the ground point moved in the local frame before the polynomials, the image
// shift added after them, and the derivatives of both with respect to each parameter.
#ifndef SENMOD_IO_ADJUSTMENT_H
#define SENMOD_IO_ADJUSTMENT_H

#include <array>
#include <vector>

#include "adjustable_parameters.h"
#include "local_frame.h"

namespace senmod_io {

class Adjustment {
 public:
  // The adjustment of parameters.values. Keeps no reference to parameters.
  explicit Adjustment(const AdjustableParameters& parameters);

  size_t count() const { return count_; }
  const LocalFrame& frame() const { return frame_; }
  // Some ground-space term, or some image-space term, has a value that is not zero.
  bool movesGround() const { return movesGround_; }
  bool shiftsImage() const { return shiftsImage_; }

  // The moved point X' = M X + O of a local point X (m).
  Vec3 moved(const Vec3& local) const;
  // The image shift (px) at a local point X (the unmoved one).
  void shift(const Vec3& local, double* dSample, double* dRow) const;
  // The ground point (degrees, m) where the polynomials are evaluated for (lon, lat, h), and the
  // image shift (px) added to their result.
  void apply(double lon, double lat, double h, double* movedLon, double* movedLat,
             double* movedH, double* dSample, double* dRow) const;

  // At a local point X, for every parameter k: the derivative of the moved point,
  // ground[3k .. 3k+2] (m per unit of the parameter), and of the image shift, image[2k] for the
  // sample and image[2k+1] for the row (px per unit). Both arrays hold 3·count() and
  // 2·count() values.
  void partials(const Vec3& local, double* ground, double* image) const;

 private:
  double monomial(const std::array<int, 3>& powers, const Vec3& local) const;

  size_t count_;
  LocalFrame frame_;
  Vec3 offset_, scale_;
  std::vector<AdjustmentTerm> terms_;
  std::vector<double> values_;
  std::array<double, 9> m_{};  // row-major
  Vec3 o_{};
  bool movesGround_ = false;
  bool shiftsImage_ = false;
};

}  // namespace senmod_io

#endif
