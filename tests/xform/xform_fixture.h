// Models with a known geometry for the transform-object tests, and their output coordinate
// systems.
#ifndef TESTS_XFORM_XFORM_FIXTURE_H
#define TESTS_XFORM_XFORM_FIXTURE_H

#include <string>

#include "senmod/senmod.h"

namespace xform_test {

// Centre of the test models (degrees).
constexpr double kLon0 = 9.0;
constexpr double kLat0 = 45.0;
// Ground shift (degrees of longitude) of an image point per meter of height: the sample grows
// with height, so image to ground at a higher height lands further west.
constexpr double kLonPerMeter = 0.00002;

// A one-section geodetic model around (kLon0, kLat0), fitted for image to ground:
//   sample = 500 + 50000 (lon - kLon0) + z,  row = 500 - 50000 (lat - kLat0) + 0.5 z
// (lon, lat in degrees, z in meters). Constant height zMean; no output coordinate system.
RSM_Model* makeLinearModel(double zMean = 0.0);

// A model whose sample denominator is the ground-domain longitude: every point at longitude 0
// fails with "Invalid denominator.".
RSM_Model* makeFailingAtZeroLongitudeModel();

// Stores geographic WGS 84 (projection made from parameters) as the output coordinate system.
void setGeographicOutput(RSM_Model* model);

// Makes the model take heights from demFile.
void useDemFile(RSM_Model* model, const std::string& demFile);

// Non-identity affines: map points are scaled and shifted before ground to image, image points
// rotated after it, and the inverse pair for image to ground.
void setAffines(RSM_Model* model);

// Affine (a0 .. a5) applied to (x, y).
void applyAffine(const double* a, double x, double y, double* outX, double* outY);

}  // namespace xform_test

#endif  // TESTS_XFORM_XFORM_FIXTURE_H
