// Models with a known geometry for the transform-object tests, and their output coordinate
// systems.
#ifndef TESTS_XFORM_XFORM_FIXTURE_H
#define TESTS_XFORM_XFORM_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "hostcore.h"
#include "senmod/senmod.h"
#include "support/dem_builder.h"

namespace xform_test {

// Centre of the test models (degrees).
constexpr double kLon0 = 9.0;
constexpr double kLat0 = 45.0;
// Ground shift (degrees of longitude) of an image point per meter of height: the sample grows
// with height, so image to ground at a higher height lands further west.
constexpr double kLonPerMeter = 0.00002;
// Terrain height (m) at the centre of the test DEMs.
constexpr double kCentreHeight = 300.0;

namespace detail {

constexpr double kRho = 57.29577951308232;

inline Smod_Doubles heapDoubles(std::initializer_list<double> values) {
  Smod_Doubles doubles{static_cast<int32_t>(values.size()),
                       static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * values.size()))};
  std::copy(values.begin(), values.end(), doubles.data);
  return doubles;
}

inline void setPowers(int32_t& powerX, int32_t& powerY, int32_t& powerZ, int32_t x, int32_t y,
                      int32_t z) {
  powerX = x;
  powerY = y;
  powerZ = z;
}

inline RSM_Model* modelWith(RSMFunctions* section) {
  ErrorReport* err = nullptr;
  RSM_Model* model = smod_RSMCreate(&err);
  EXPECT_NE(model, nullptr);
  model->rsm.RationalPolyList = {1, section};
  model->rsm.rowSections = 1;
  model->rsm.colSections = 1;
  model->rsm.rowsPerSection = 1000.0;
  model->rsm.colsPerSection = 1000.0;
  model->rsm.imageDomain = heapDoubles({0.0, 1000.0, 0.0, 1000.0});
  return model;
}

}  // namespace detail

// A one-section geodetic model around (kLon0, kLat0), fitted for image to ground:
//   sample = 500 + 50000 (lon - kLon0) + z,  row = 500 - 50000 (lat - kLat0) + 0.5 z
// (lon, lat in degrees, z in meters). Constant height zMean; no output coordinate system.
inline RSM_Model* makeLinearModel(double zMean = 0.0) {
  ErrorReport* err = nullptr;
  RSMFunctions* section = smod_RationalPolynomialsCreate(1, &err);
  EXPECT_NE(section, nullptr);
  const double scales[5] = {0.01 / detail::kRho, 0.01 / detail::kRho, 100.0, 500.0, 500.0};
  const double offsets[5] = {kLon0 / detail::kRho, kLat0 / detail::kRho, 0.0, 500.0, 500.0};
  std::memcpy(section->Scales, scales, sizeof scales);
  std::memcpy(section->Offsets, offsets, sizeof offsets);
  section->useNormalization = SMOD_TRUE;
  // Terms 1, x, y, xy, z, xz, yz, xyz of the normalised values.
  detail::setPowers(section->sampleNumeratorPowerX, section->sampleNumeratorPowerY,
                    section->sampleNumeratorPowerZ, 1, 1, 1);
  detail::setPowers(section->rowNumeratorPowerX, section->rowNumeratorPowerY,
                    section->rowNumeratorPowerZ, 1, 1, 1);
  detail::setPowers(section->sampleDenominatorPowerX, section->sampleDenominatorPowerY,
                    section->sampleDenominatorPowerZ, 0, 0, 0);
  detail::setPowers(section->rowDenominatorPowerX, section->rowDenominatorPowerY,
                    section->rowDenominatorPowerZ, 0, 0, 0);
  section->sampleNumerator = detail::heapDoubles({0, 1, 0, 0, 0.2, 0, 0, 0});
  section->rowNumerator = detail::heapDoubles({0, 0, -1, 0, 0.1, 0, 0, 0});
  section->sampleDenominator = detail::heapDoubles({1});
  section->rowDenominator = detail::heapDoubles({1});
  section->validSolution = SMOD_TRUE;

  RSM_Model* model = detail::modelWith(section);
  model->rsm.z_mean = zMean;
  const double x0 = (kLon0 - 0.02) / detail::kRho, x1 = (kLon0 + 0.02) / detail::kRho;
  const double y0 = (kLat0 - 0.02) / detail::kRho, y1 = (kLat0 + 0.02) / detail::kRho;
  model->rsm.groundDomain =
      detail::heapDoubles({x0, y0, -200, x1, y0, -200, x1, y1, -200, x0, y1, -200,
                           x0, y0, 800,  x1, y0, 800,  x1, y1, 800,  x0, y1, 800});
  smod_image2groundCalc(model, &err);
  EXPECT_EQ(err, nullptr);
  return model;
}

// A model whose sample denominator is the ground-domain longitude: every point at longitude 0
// fails with "Invalid denominator.".
inline RSM_Model* makeFailingAtZeroLongitudeModel() {
  ErrorReport* err = nullptr;
  RSMFunctions* section = smod_RationalPolynomialsCreate(1, &err);
  detail::setPowers(section->sampleNumeratorPowerX, section->sampleNumeratorPowerY,
                    section->sampleNumeratorPowerZ, 0, 0, 0);
  detail::setPowers(section->rowNumeratorPowerX, section->rowNumeratorPowerY,
                    section->rowNumeratorPowerZ, 0, 0, 0);
  detail::setPowers(section->sampleDenominatorPowerX, section->sampleDenominatorPowerY,
                    section->sampleDenominatorPowerZ, 1, 0, 0);
  detail::setPowers(section->rowDenominatorPowerX, section->rowDenominatorPowerY,
                    section->rowDenominatorPowerZ, 0, 0, 0);
  section->sampleNumerator = detail::heapDoubles({1});
  section->rowNumerator = detail::heapDoubles({1});
  section->sampleDenominator = detail::heapDoubles({0, 1});
  section->rowDenominator = detail::heapDoubles({1});
  section->validSolution = SMOD_TRUE;
  return detail::modelWith(section);
}

// Stores geographic WGS 84 (projection made from parameters) as the output coordinate system.
inline void setGeographicOutput(RSM_Model* model) {
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
  ErrorReport* err = nullptr;
  smod_InternalProjectionAndElevInfoGet(&projection, &units, &info, &err);
  ASSERT_EQ(err, nullptr);
  smod_RSMCoordinateSystemSet(model, projection, units, info, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  herr_DeleteErrorReportEx(&err);
  ASSERT_NE(model->rsm.obsoletePlaceHolder0, nullptr);
  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  hprj_ElevationInfoFree(&info);
}

// Stores UTM zone 32 north on WGS 84 (projection made from parameters) as the output coordinate
// system, with units "meters".
inline void setUtmOutput(RSM_Model* model) {
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(nullptr);
  parameters->proType = 1;
  parameters->proZone = 32;
  hprj_SpheroidByName(hint_GetInit(), "WGS 84", parameters->proSpheroid, nullptr);
  hprj_DatumByName(hint_GetInit(), "WGS 84", "WGS 84", &parameters->proSpheroid->datum, nullptr);
  Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, nullptr);
  hprj_ProParametersFree(&parameters);
  Hprj_ElevationInfo* info =
      hprj_ElevationInfoCreateByName("WGS 84", "WGS 84", "meters", "height", nullptr);
  ErrorReport* err = nullptr;
  smod_RSMCoordinateSystemSet(model, projection, "meters", info, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  herr_DeleteErrorReportEx(&err);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
  ASSERT_NE(model->rsm.obsoletePlaceHolder0, nullptr);
}

// Makes the model take heights from demFile.
inline void useDemFile(RSM_Model* model, const std::string& demFile) {
  hmif_PTRFreeContents(&model->rsm.demfilename);
  model->rsm.demfilename.count = static_cast<int32_t>(demFile.size() + 1);
  model->rsm.demfilename.data = hstr_Duplicate(demFile.c_str());
  model->rsm.demsource = HMOD_DEM_FILE;
}

// Non-identity affines: map points are scaled and shifted before ground to image, image points
// mixed after it, and another pair for image to ground.
inline void setAffines(RSM_Model* model) {
  const double forDst[6] = {1.0001, 0.0, 0.001, 0.0, 0.9999, -0.002};
  const double invSrc[6] = {0.5, 0.1, 10.0, -0.1, 0.5, 20.0};
  const double forSrc[6] = {2.0, 0.0, -5.0, 0.0, 2.0, 7.0};
  const double invDst[6] = {1.0, 0.0, 0.003, 0.0, 1.0, 0.001};
  std::memcpy(model->rsm.forDstAffine, forDst, sizeof forDst);
  std::memcpy(model->rsm.invSrcAffine, invSrc, sizeof invSrc);
  std::memcpy(model->rsm.forSrcAffine, forSrc, sizeof forSrc);
  std::memcpy(model->rsm.invDstAffine, invDst, sizeof invDst);
}

// Affine (a0 .. a5) applied to (x, y).
inline void applyAffine(const double* a, double x, double y, double* outX, double* outY) {
  const double ox = a[0] * x + a[1] * y + a[2];
  const double oy = a[3] * x + a[4] * y + a[5];
  *outX = ox;
  *outY = oy;
}

// A geographic DEM around the model's centre: h = kCentreHeight + gx (lon - kLon0) + gy (lat -
// kLat0), cells of 0.001 degrees.
inline senmod_test::InclinedPlaneDem geographicPlaneDem(double gx, double gy) {
  senmod_test::InclinedPlaneDem desc;
  desc.crs = "EPSG:4326";
  desc.west = kLon0 - 0.05;
  desc.north = kLat0 + 0.05;
  desc.cellX = 0.001;
  desc.cellY = 0.001;
  desc.columns = 100;
  desc.rows = 100;
  desc.gx = gx;
  desc.gy = gy;
  desc.h0 = kCentreHeight - gx * kLon0 - gy * kLat0;
  desc.pixel = senmod_test::DemPixel::Float64;
  return desc;
}

}  // namespace xform_test

#endif  // TESTS_XFORM_XFORM_FIXTURE_H
