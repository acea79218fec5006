// A model refined with ground control points: its adjustable parameters solved for by weighted
// least squares, so that the model carries the surveyed ground points to where they were
// measured in the image.
//
// The solution (Gauss-Newton): each point's residual is its measured image position minus the
// adjusted model's groundToImage of its ground point (px); the parameters' derivative of it is
// parameterJacobian's. A point weighs with the inverse of its image error's covariance:
// sigma_px² I, plus its ground error carried into the image through the model's derivative in
// east, north and up, G diag(σh², σh², σv²) Gᵀ, plus the model's unmodelled error when it
// refines its own parameters. With a prior covariance C (the model's own parameters), the
// normal equations are N = Jᵀ W J + C⁻¹ about the prior values; eigenvalues of C below 1e-10
// of its largest are raised to that, so that a direction C holds certain stays (nearly) fixed.
// Iterations stop when every step is below 1e-6 of its parameter's standard deviation.
//
// The accuracy: the posterior covariance is N⁻¹; without a prior it is scaled by the
// a-posteriori variance factor Σ rᵀ W r / (2n - m) (n points, m parameters) when that is above
// 1 (points worse than their stated errors), unscaled otherwise and when 2n = m. A point's normalised residual is √(rᵀ W r), its residual in units of its stated
// error; above 3 it is flagged.
#ifndef SENMOD_IO_REFINEMENT_H
#define SENMOD_IO_REFINEMENT_H

#include <optional>
#include <string>
#include <vector>

#include "ground_control.h"
#include "parameter_sets.h"
#include "point_engine.h"

namespace senmod_io {

// The normalised residual above which a point is flagged, and rejected when asked.
constexpr double kFlagResidual = 3.0;

struct RefineOptions {
  ParameterSet set = ParameterSet::Model;
  int maxIterations = 10;  // at least 1
  // Remove the flagged point of the largest normalised residual and solve again, while one is
  // flagged and enough points remain.
  bool reject = false;
};

struct PointResidual {
  GroundControlPoint point;       // its height as used (from the DEM when it had none)
  double before[2] = {0.0, 0.0};  // px, sample and row: measured minus the input model's
  double after[2] = {0.0, 0.0};   // the same for the refined model
  double beforeMetres = 0.0;      // m, the horizontal ground miss of the residual on the
  double afterMetres = 0.0;       // point's height (the residual through the model's derivative)
  double normalised = 0.0;        // after, √(rᵀ W r)
  bool flagged = false;           // normalised > kFlagResidual
  bool rejected = false;          // left out of the solution
};

struct RefineReport {
  std::string set;     // the parameter set's name
  std::string source;  // the refined parameters' source
  bool prior = false;  // the model's covariance was the prior
  int iterations = 0;
  size_t used = 0;     // points in the solution
  int redundancy = 0;  // 2 used - parameters (with a prior: 2 used)
  double varianceFactor = 0.0;  // Σ rᵀ W r / redundancy (NaN without redundancy)
  double rmsBefore = 0.0, rmsAfter = 0.0;                // px, over the points used
  double rmsBeforeMetres = 0.0, rmsAfterMetres = 0.0;    // m
  std::vector<std::string> names;
  std::vector<double> values, sigmas;  // the parameters' units
  std::vector<PointResidual> points;   // in the order given
};

struct Refinement {
  LoadedModel model;  // the input model with the solved parameters and their posterior covariance
  RefineReport report;
};

// A named set over a model whose own parameters are the same terms with values (a model
// refined before) goes on from those values in their frame, without their covariance.
//
// Refines the model of engine (heights of points without one from its DEM) with points. Throws
// ReadError, naming the cause, for: a set the model cannot take (its own parameters without a
// covariance, a named set over other own parameters that have values), a point without a height and
// no DEM or off it, a point outside the image domain or whose ground point the model does not
// carry, fewer observations (2 per point) than parameters without a prior, a degenerate
// geometry (the normal matrix, scaled to unit diagonal, with a smallest eigenvalue below 1e-8
// of its largest), and a solution that does not converge in maxIterations.
Refinement refine(PointEngine& engine, std::vector<GroundControlPoint> points,
                  const RefineOptions& options);

// The report as one JSON object followed by a line feed.
std::string refineReportJson(const RefineReport& report);

}  // namespace senmod_io

#endif
