// Builders of model records for tests: sections from plain descriptions, grids of sections,
// and models of simple cameras fitted with polynomial sections.
#ifndef TESTS_SUPPORT_MODEL_BUILDER_H
#define TESTS_SUPPORT_MODEL_BUILDER_H

#include <array>
#include <vector>

#include "senmod/senmod.h"

namespace model_builder {

// One polynomial: powers in x, y, z and its coefficients (x power fastest, then y, then z).
struct Poly {
  int px = -1;
  int py = -1;
  int pz = -1;
  std::vector<double> coef;
};

// The constant polynomial c.
Poly constant(double c);

// One section; normalisation is used when useNormalization is set.
struct SectionPolynomials {
  Poly sampleNumerator;
  Poly sampleDenominator = constant(1.0);
  Poly rowNumerator;
  Poly rowDenominator = constant(1.0);
  bool sameDenominators = false;
  bool useNormalization = false;
  std::array<double, 5> scales{{1.0, 1.0, 1.0, 1.0, 1.0}};
  std::array<double, 5> offsets{{0.0, 0.0, 0.0, 0.0, 0.0}};
  std::vector<double> imageToGroundPoly;
};

// sample = a + b x + c y, row = d + e x + f y (powers (1, 1, 0), constant denominators).
SectionPolynomials affineSection(double a, double b, double c, double d, double e, double f);

// Counted heap copies (empty for an empty vector or null text).
Smod_Doubles heapDoubles(const std::vector<double>& values);
Hmif_String heapText(const char* text);

// Fills a section that owns nothing yet; validSolution is set TRUE last.
void fillSection(RSMFunctions* section, const SectionPolynomials& desc);

// A new section array holding the given sections (free with smod_RationalPolynomialsFree).
RSMFunctions* makeSections(const std::vector<SectionPolynomials>& descs);

// A model (free with smod_RSMDelete) with the sections on a rows x cols grid of
// rowsPerSection x colsPerSection cells starting at image (firstSample, firstRow); imageDomain
// is (firstSample, lastSample, firstRow, lastRow). A single section gets no grid values.
RSM_Model* makeModel(const std::vector<SectionPolynomials>& descs, int rows = 1, int cols = 1,
                     double rowsPerSection = 0.0, double colsPerSection = 0.0,
                     double firstSample = 0.0, double firstRow = 0.0);

// A simple camera over flat ground near (longitude0, latitude0), heights in meters.
struct FlatGroundCamera {
  enum class Kind { Frame, Pushbroom } kind = Kind::Frame;
  enum class Domain { Geodetic, Rectangular } domain = Domain::Geodetic;
  bool withProjection = true;  // rectangular: WGS 84 parameters (map in degrees), else ECEF
  double longitude0 = 10.0;    // degrees
  double latitude0 = 45.0;     // degrees
  double altitude = 5000.0;    // meters above the ground
  double tilt = 0.05;          // radians, about the east axis
  double distortion = 2e-3;    // radial, at the image corner
  int samples = 1200;
  int rows = 1000;
  double pixelSize = 2.0;  // ground meters per pixel at nadir
  double minHeight = -100.0;
  double maxHeight = 300.0;
  int rowSections = 1;
  int colSections = 1;
  int powerX = 3;
  int powerY = 3;
  int powerZ = 3;
  bool lowOrderPoly = false;  // also fit the 20-value section-choice polynomial
};

// The camera's exact image position of a ground-domain point.
void cameraImage(const FlatGroundCamera& camera, double gx, double gy, double gz, double* sample,
                 double* row);
// Ground-domain coordinates of local east, north and up meters, and back.
void localToGround(const FlatGroundCamera& camera, double east, double north, double up, double* gx,
                   double* gy, double* gz);
void groundToLocal(const FlatGroundCamera& camera, double gx, double gy, double gz, double* east,
                   double* north, double* up);
// Map coordinates (what smod_RSMTransform takes) of a ground-domain point.
void groundToMap(const RSM_Model* model, double gx, double gy, double gz, double* mapX,
                 double* mapY, double* mapZ);

// A model of the camera: each section a least-squares polynomial fit (numerators of the given
// powers over constant denominators, normalised) of the camera over its part of the image,
// with the ground-domain corners (8: the footprint at the lowest and highest height) and the
// starting polynomials from smod_image2groundCalc. Free with smod_RSMDelete.
RSM_Model* makeCameraModel(const FlatGroundCamera& camera);

}  // namespace model_builder

#endif  // TESTS_SUPPORT_MODEL_BUILDER_H
