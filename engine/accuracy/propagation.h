// A model's error covariance carried to image and ground points.
//
// The image position of a ground point moves with the parameters p by J dp, J = ∂(sample,
// row)/∂p: for an image-space term its monomial, for a ground-space term the polynomials'
// derivative at the moved point times the moved point's derivative (adjustment.h). Its
// covariance is J C Jᵀ plus the unmodelled error.
//
// An image point measured at (sample, row) with error e, on a height with error dU, lands at
// the ground point whose east and north errors solve A dEN + b dU + J dp = e, where A and b
// are the adjusted model's derivatives in east-north and up (px/m). Hence
//   Cov(EN) = A⁻¹ (Σe + b σU² bᵀ + J C Jᵀ) A⁻ᵀ,  Cov(EN, U) = -A⁻¹ b σU²,  Var(U) = σU²,
// with Σe the measurement variance σ² I plus the unmodelled error. Derivatives are central
// differences over 1 m, exact to far below the covariance's own digits for polynomials that
// vary over kilometres.
#ifndef SENMOD_IO_PROPAGATION_H
#define SENMOD_IO_PROPAGATION_H

#include <cstddef>

#include "point_engine.h"

namespace senmod_io {

// The derivative of the adjusted image position of n ground points (degrees, m; heights
// given) with respect to parameters p, at p's values: jacobian[2m·i .. 2m·i + 2m) holds, for
// point i, the m sample derivatives then the m row derivatives (px per unit of each
// parameter). p need not be the model's own (a refinement tries sets of its own). ok[i] is 1
// where the derivative could be taken, else its row is NaN. Throws ReadError, std::bad_alloc.
void parameterJacobian(PointEngine& engine, const AdjustableParameters& p, size_t n,
                       const double* lon, const double* lat, const double* height,
                       double* jacobian, uint8_t* ok);

// The derivative of the adjusted image position (the engine's groundToImage) of n ground
// points (degrees, m; heights given) along their local east, north and up (px/m):
// derivative[6i .. 6i+5] = sample by east, north, up, then row by east, north, up. ok[i] is 1
// where it could be taken, else its values are NaN. Throws as PointEngine::groundToImage.
void groundDerivative(PointEngine& engine, size_t n, const double* lon, const double* lat,
                      const double* height, double* derivative, uint8_t* ok);

// Throws ReadError when the model has no error covariance to propagate, naming what it lacks.
void needCovariance(const PointEngine& engine);

// The 2 × 2 covariance (px²) of the image positions of n ground points (degrees, m; height
// null for the DEM's or the mean height): cov[4i .. 4i+3] = sample-sample, sample-row,
// row-sample, row-row. status as PointEngine::groundToImage; NaN for points without one.
// Returns the points with a covariance. Throws ReadError (needCovariance), std::bad_alloc.
size_t imageCovariance(PointEngine& engine, size_t n, const double* lon, const double* lat,
                       const double* height, double* cov, int* status);

struct GroundErrors {
  double heightSigma = 0.0;  // m, of the height the points are carried to
  double imageSigma = 0.0;   // px, of the measured image position, in sample and in row
  // Which of the model's errors count: its parameters' covariance, its unmodelled error (a
  // model's bias and its random error, told apart).
  bool parameters = true;
  bool unmodelled = true;
};

// Image to ground of n points as PointEngine::imageToGround (lon, lat and heightOut may not be
// null), with each ground point's 3 × 3 covariance (m²) in its local east, north, up frame,
// row-major (cov[9i ..]), CE90 and LE90 (m; ce90 and le90 may be null). NaN for failed points.
// Returns the points with a covariance. Throws as imageCovariance.
size_t groundCovariance(PointEngine& engine, size_t n, const double* sample, const double* row,
                        const double* height, const GroundErrors& errors, double* lon,
                        double* lat, double* heightOut, double* cov, double* ce90, double* le90,
                        int* status);

}  // namespace senmod_io

#endif
