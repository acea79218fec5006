#include "model_checks.h"

#include "record_checker.h"

namespace senmod_io {

namespace {

constexpr int kMaxPower = 5;
constexpr int32_t kMaxGridSide = 999;

void checkPolynomial(const RecordChecker& c, const std::string& field, const Smod_Doubles& coef,
                     int32_t powerX, int32_t powerY, int32_t powerZ) {
  c.range(field + " power x", powerX, 0, kMaxPower);
  c.range(field + " power y", powerY, 0, kMaxPower);
  c.range(field + " power z", powerZ, 0, kMaxPower);
  c.reals(field, coef, long(powerX + 1) * (powerY + 1) * (powerZ + 1));
}

void checkSection(const RecordChecker& c, const RSMFunctions& s, int32_t at, int32_t columns) {
  const std::string name = "section " + std::to_string(at + 1) + " ";
  if (s.validSolution != SMOD_TRUE) c.fail(name + "validSolution", "the section is not valid");
  if (s.rowSection != at / columns || s.columnSection != at % columns) {
    c.fail(name + "rowSection", "row " + std::to_string(s.rowSection) + ", column " +
                                    std::to_string(s.columnSection) + " is not its grid cell");
  }
  for (int i = 0; i < 5; ++i) {
    c.real(name + "Offsets", s.Offsets[i]);
    c.real(name + "Scales", s.Scales[i]);
    if (s.useNormalization == SMOD_TRUE && s.Scales[i] == 0.0) c.fail(name + "Scales", "zero");
  }
  checkPolynomial(c, name + "sampleNumerator", s.sampleNumerator, s.sampleNumeratorPowerX,
                  s.sampleNumeratorPowerY, s.sampleNumeratorPowerZ);
  checkPolynomial(c, name + "sampleDenominator", s.sampleDenominator, s.sampleDenominatorPowerX,
                  s.sampleDenominatorPowerY, s.sampleDenominatorPowerZ);
  checkPolynomial(c, name + "rowNumerator", s.rowNumerator, s.rowNumeratorPowerX,
                  s.rowNumeratorPowerY, s.rowNumeratorPowerZ);
  checkPolynomial(c, name + "rowDenominator", s.rowDenominator, s.rowDenominatorPowerX,
                  s.rowDenominatorPowerY, s.rowDenominatorPowerZ);
  c.reals(name + "imageToGroundPoly", s.imageToGroundPoly);
  c.reals(name + "validImageDomain", s.validImageDomain);
}

}  // namespace

void checkModel(const RSM_Model& model, const std::string& file) {
  const RecordChecker c("the model", file);
  const RSM_Model_Orig& rsm = model.rsm;
  c.reals("imageDomain", rsm.imageDomain, 4);
  if (rsm.imageDomain.data[1] < rsm.imageDomain.data[0] ||
      rsm.imageDomain.data[3] < rsm.imageDomain.data[2]) {
    c.fail("imageDomain", "a largest sample or row below the smallest");
  }
  c.reals("groundDomain", rsm.groundDomain, 24);
  if (rsm.grndd.count != 0 && rsm.grndd.count != 1 && rsm.grndd.count != 12) {
    c.fail("grndd", std::to_string(rsm.grndd.count) + " values where 0, 1 or 12 are required");
  }
  c.reals("grndd", rsm.grndd);
  if (rsm.groundToImagePoly.count != 0) c.reals("groundToImagePoly", rsm.groundToImagePoly, 20);
  c.reals("adjustableParms", rsm.adjustableParms);
  c.real("z_mean", rsm.z_mean);
  for (const double* affine :
       {rsm.forSrcAffine, rsm.forDstAffine, rsm.invSrcAffine, rsm.invDstAffine}) {
    for (int i = 0; i < 6; ++i) c.real("affine", affine[i]);
  }
  c.real("rowsPerSection", rsm.rowsPerSection);
  c.real("colsPerSection", rsm.colsPerSection);
  if (!(rsm.rowsPerSection > 0.0)) c.fail("rowsPerSection", "not positive");
  if (!(rsm.colsPerSection > 0.0)) c.fail("colsPerSection", "not positive");
  c.range("rowSections", rsm.rowSections, 1, kMaxGridSide);
  c.range("colSections", rsm.colSections, 1, kMaxGridSide);
  const int32_t count = rsm.rowSections * rsm.colSections;
  if (rsm.RationalPolyList.count != count || !rsm.RationalPolyList.data) {
    c.fail("RationalPolyList", std::to_string(rsm.RationalPolyList.count) +
                                   " sections where the grid of " +
                                   std::to_string(rsm.rowSections) + " x " +
                                   std::to_string(rsm.colSections) + " needs " +
                                   std::to_string(count));
  }
  for (int32_t i = 0; i < count; ++i) {
    checkSection(c, rsm.RationalPolyList.data[i], i, rsm.colSections);
  }
}

}  // namespace senmod_io
