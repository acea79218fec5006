#include "xform/xform_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "hostcore.h"

namespace xform_test {
namespace {

constexpr double kRho = 57.29577951308232;

Smod_Doubles heapDoubles(std::initializer_list<double> values) {
  Smod_Doubles doubles{static_cast<int32_t>(values.size()),
                       static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * values.size()))};
  std::copy(values.begin(), values.end(), doubles.data);
  return doubles;
}

void setPowers(int32_t& powerX, int32_t& powerY, int32_t& powerZ, int32_t x, int32_t y,
               int32_t z) {
  powerX = x;
  powerY = y;
  powerZ = z;
}

RSM_Model* modelWith(RSMFunctions* section) {
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

}  // namespace

RSM_Model* makeLinearModel(double zMean) {
  ErrorReport* err = nullptr;
  RSMFunctions* section = smod_RationalPolynomialsCreate(1, &err);
  EXPECT_NE(section, nullptr);
  const double scales[5] = {0.01 / kRho, 0.01 / kRho, 100.0, 500.0, 500.0};
  const double offsets[5] = {kLon0 / kRho, kLat0 / kRho, 0.0, 500.0, 500.0};
  std::memcpy(section->Scales, scales, sizeof scales);
  std::memcpy(section->Offsets, offsets, sizeof offsets);
  section->useNormalization = SMOD_TRUE;
  // Terms 1, x, y, xy, z, xz, yz, xyz of the normalised values.
  setPowers(section->sampleNumeratorPowerX, section->sampleNumeratorPowerY, section->sampleNumeratorPowerZ, 1, 1, 1);
  setPowers(section->rowNumeratorPowerX, section->rowNumeratorPowerY, section->rowNumeratorPowerZ, 1, 1, 1);
  setPowers(section->sampleDenominatorPowerX, section->sampleDenominatorPowerY, section->sampleDenominatorPowerZ, 0, 0, 0);
  setPowers(section->rowDenominatorPowerX, section->rowDenominatorPowerY, section->rowDenominatorPowerZ, 0, 0, 0);
  section->sampleNumerator = heapDoubles({0, 1, 0, 0, 0.2, 0, 0, 0});
  section->rowNumerator = heapDoubles({0, 0, -1, 0, 0.1, 0, 0, 0});
  section->sampleDenominator = heapDoubles({1});
  section->rowDenominator = heapDoubles({1});
  section->validSolution = SMOD_TRUE;

  RSM_Model* model = modelWith(section);
  model->rsm.z_mean = zMean;
  const double x0 = (kLon0 - 0.02) / kRho, x1 = (kLon0 + 0.02) / kRho;
  const double y0 = (kLat0 - 0.02) / kRho, y1 = (kLat0 + 0.02) / kRho;
  model->rsm.groundDomain = heapDoubles({x0, y0, -200, x1, y0, -200, x1, y1, -200, x0, y1, -200,
                                         x0, y0, 800, x1, y0, 800, x1, y1, 800, x0, y1, 800});
  smod_image2groundCalc(model, &err);
  EXPECT_EQ(err, nullptr);
  return model;
}

RSM_Model* makeFailingAtZeroLongitudeModel() {
  ErrorReport* err = nullptr;
  RSMFunctions* section = smod_RationalPolynomialsCreate(1, &err);
  setPowers(section->sampleNumeratorPowerX, section->sampleNumeratorPowerY, section->sampleNumeratorPowerZ, 0, 0, 0);
  setPowers(section->rowNumeratorPowerX, section->rowNumeratorPowerY, section->rowNumeratorPowerZ, 0, 0, 0);
  setPowers(section->sampleDenominatorPowerX, section->sampleDenominatorPowerY, section->sampleDenominatorPowerZ, 1, 0, 0);
  setPowers(section->rowDenominatorPowerX, section->rowDenominatorPowerY, section->rowDenominatorPowerZ, 0, 0, 0);
  section->sampleNumerator = heapDoubles({1});
  section->rowNumerator = heapDoubles({1});
  section->sampleDenominator = heapDoubles({0, 1});
  section->rowDenominator = heapDoubles({1});
  section->validSolution = SMOD_TRUE;
  return modelWith(section);
}

void setGeographicOutput(RSM_Model* model) {
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

void useDemFile(RSM_Model* model, const std::string& demFile) {
  hmif_PTRFreeContents(&model->rsm.demfilename);
  model->rsm.demfilename.count = static_cast<int32_t>(demFile.size() + 1);
  model->rsm.demfilename.data = hstr_Duplicate(demFile.c_str());
  model->rsm.demsource = HMOD_DEM_FILE;
}

void setAffines(RSM_Model* model) {
  const double forDst[6] = {1.0001, 0.0, 0.001, 0.0, 0.9999, -0.002};
  const double invSrc[6] = {0.5, 0.1, 10.0, -0.1, 0.5, 20.0};
  const double forSrc[6] = {2.0, 0.0, -5.0, 0.0, 2.0, 7.0};
  const double invDst[6] = {1.0, 0.0, 0.003, 0.0, 1.0, 0.001};
  std::memcpy(model->rsm.forDstAffine, forDst, sizeof forDst);
  std::memcpy(model->rsm.invSrcAffine, invSrc, sizeof invSrc);
  std::memcpy(model->rsm.forSrcAffine, forSrc, sizeof forSrc);
  std::memcpy(model->rsm.invDstAffine, invDst, sizeof invDst);
}

void applyAffine(const double* a, double x, double y, double* outX, double* outY) {
  const double ox = a[0] * x + a[1] * y + a[2];
  const double oy = a[3] * x + a[4] * y + a[5];
  *outX = ox;
  *outY = oy;
}

}  // namespace xform_test
