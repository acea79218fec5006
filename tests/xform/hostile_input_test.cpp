// Hostile models and points: an array that counts values without holding them, a coordinate that
// is not finite and a normalisation that cannot be used are reported by the one-point calls and
// the batches alike, never read or handed on as NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "persist/designs.h"
#include "poly/ground_domain.h"
#include "support/heap_check.h"
#include "support/model_builder.h"

namespace {

constexpr double kRho = 57.29577951308232;
constexpr double kUntouched = -7.0;

// True when report or one before it carries message.
bool chainHas(const ErrorReport* report, const std::string& message) {
  for (; report; report = herr_ErrorReportPrevious(report))
    if (message == herr_ErrorReportMessage(report)) return true;
  return false;
}

class HostileInput : public HeapCheckedTest {
 protected:
  void SetUp() override {
    // The persistent designs live for the process: made before the heap is counted.
    senmod::RSMFunctions_Design();
    senmod::RSM_Model_Design();
    HeapCheckedTest::SetUp();
  }
  void TearDown() override {
    smod_RSMXformDelete(xform_);
    HeapCheckedTest::TearDown();
  }

  // A 2 x 2 grid of 100-pixel sections mapping ground-domain radians (x, y) to (sample, row),
  // each with a starting polynomial, wrapped in xform_.
  RSM_Model* wrapGrid() {
    model_builder::SectionPolynomials s = model_builder::affineSection(0, 1, 0, 0, 0, 1);
    s.imageToGroundPoly = {1, 0, 1, 0, 0, 0, 1};
    RSM_Model* model = model_builder::makeModel({s, s, s, s}, 2, 2, 100.0, 100.0);
    xform_ = smod_RSMXformGetFromRSMData(model, nullptr);
    return model;
  }

  // Expects message in the report of smod_RSMTransform on point p, of the 3-D batch (which then
  // writes nothing) and of the points batch, which fails as a call when the refusal is the whole
  // model's and fails the point otherwise.
  void expectRefused(const double* p, const std::string& message, bool wholeModel,
                     const std::string& what) {
    ErrorReport* err = nullptr;
    double out[2] = {kUntouched, kUntouched};
    smod_RSMTransform(xform_->model, p[0], p[1], p[2], &out[0], &out[1], &err);
    EXPECT_TRUE(chainHas(err, message)) << what << ": " << messageOf(err);
    herr_DeleteErrorReportEx(&err);
    smod_RSMXformTransform3DTo2D(xform_, 1, p, out, &err);
    EXPECT_TRUE(chainHas(err, message)) << what << ": " << messageOf(err);
    EXPECT_EQ(out[0], kUntouched) << what;
    herr_DeleteErrorReportEx(&err);
    uint8_t ok = 1;
    const int32_t done = smod_RSMXformTransformPoints(xform_, 1, &p[0], &p[1], &p[2], &out[0],
                                                      &out[1], nullptr, nullptr, &ok, &err);
    EXPECT_EQ(done, wholeModel ? -1 : 0) << what;
    if (wholeModel) {
      EXPECT_TRUE(chainHas(err, message)) << what << ": " << messageOf(err);
    } else {
      EXPECT_EQ(ok, 0) << what;
    }
    herr_DeleteErrorReportEx(&err);
  }

  RSM_Xform* xform_ = nullptr;
};

TEST_F(HostileInput, ArraysCountingValuesTheyDoNotHoldAreReportedByEveryCallThatReadsThem) {
  RSM_Model* model = wrapGrid();
  RSM_Model_Orig& rsm = model->rsm;
  struct Case {
    const char* name;
    std::function<void(RSM_Model_Orig&)> empty;  // a count left without its values
    const char* message;
    bool wholeModel;
    bool toImage, toGround;  // the directions that read the array
  };
  const auto hollow = [](Smod_Doubles& a, int32_t count) { a = {count, nullptr}; };
  const std::vector<Case> cases = {
      {"grndd", [&](RSM_Model_Orig& m) { hollow(m.grndd, 12); },
       "Rectangular ground domain's origin and rotation not available", true, true, true},
      {"section list", [](RSM_Model_Orig& m) { m.RationalPolyList.data = nullptr; },
       "Replacement sensor model not available", true, true, true},
      {"image domain", [&](RSM_Model_Orig& m) { hollow(m.imageDomain, 4); },
       "Image domain not available", true, true, true},
      {"low-order polynomial", [&](RSM_Model_Orig& m) { hollow(m.groundToImagePoly, 20); },
       "Low-order polynomial not available", true, true, false},
      {"coefficients",
       [&](RSM_Model_Orig& m) { hollow(m.RationalPolyList.data[3].rowNumerator, 4); },
       "Coefficient count does not fit the powers.", false, true, true},
      {"starting polynomial",
       [&](RSM_Model_Orig& m) { hollow(m.RationalPolyList.data[3].imageToGroundPoly, 7); },
       "Starting polynomial does not fit its order.", false, false, true},
  };
  // A point of section 3 either way.
  const double toImage[3] = {150.0 * kRho, 150.0 * kRho, 0.0};
  const double toGround[3] = {150.0, 150.0, 0.0};
  for (const Case& c : cases) {
    const RSM_Model_Orig saved = rsm;
    const RSMFunctions savedSection = rsm.RationalPolyList.data[3];
    c.empty(rsm);
    for (const bool image : {true, false}) {
      rsm.groundToImageTransform = image ? SMOD_TRUE : SMOD_FALSE;
      const std::string what = std::string(c.name) + (image ? ", to image" : ", to ground");
      if (image ? c.toImage : c.toGround) {
        expectRefused(image ? toImage : toGround, c.message, c.wholeModel, what);
      } else {
        double out[2];
        ErrorReport* err = nullptr;
        const double* p = image ? toImage : toGround;
        smod_RSMTransform(model, p[0], p[1], p[2], &out[0], &out[1], &err);
        EXPECT_EQ(err, nullptr) << what << ": " << messageOf(err);
        herr_DeleteErrorReportEx(&err);
      }
    }
    // The persistent form walks every array and refuses the hollow one.
    void* object = nullptr;
    HmifDesign* design = nullptr;
    ErrorReport* err = nullptr;
    smod_RSMXformConvertToMIFable(xform_, &object, &design, &err);
    EXPECT_STREQ(herr_ErrorReportMessage(err), "hmif_ObjectCopy failed") << c.name;
    EXPECT_EQ(object, nullptr) << c.name;
    herr_DeleteErrorReportEx(&err);
    if (c.name == std::string("grndd")) {
      double out[3];
      smod_RSMConvertGRNDD(model, 1, 1.0, 2.0, 3.0, &out[0], &out[1], &out[2], &err);
      EXPECT_STREQ(herr_ErrorReportMessage(err), c.message);
      herr_DeleteErrorReportEx(&err);
    }
    if (c.name == std::string("low-order polynomial")) {
      rsm.groundDomain = model_builder::heapDoubles({0, 0, 0, 0.5, 0.5, 0});
      smod_image2groundCalc(model, &err);
      EXPECT_STREQ(herr_ErrorReportMessage(err), c.message);
      EXPECT_EQ(rsm.RationalPolyList.data[0].imageToGroundPoly.data[2], 1.0);
      herr_DeleteErrorReportEx(&err);
      hmsc_HeapFree(rsm.groundDomain.data);
    }
    rsm = saved;
    rsm.RationalPolyList.data[3] = savedSection;
  }
}

TEST_F(HostileInput, NonFinitePointsAndUnusableNormalisationFailAlikeAloneAndInBatches) {
  RSM_Model* model = wrapGrid();
  const RSMFunctions* section = &model->rsm.RationalPolyList.data[0];
  const std::string notFinite = "The point's coordinates are not finite numbers";
  const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (const double b : bad)
    for (int k = 0; k < 3; ++k) {
      double p[3] = {50.0, 60.0, 0.0};
      p[k] = b;
      const std::string what = std::to_string(b) + " at " + std::to_string(k);
      double out[3] = {kUntouched, kUntouched, kUntouched};
      ErrorReport* err = nullptr;
      smod_RationalPolynomialsToFileXY(section, p[0], p[1], p[2], &out[0], &out[1], &err);
      EXPECT_EQ(messageOf(err), notFinite) << what;
      herr_DeleteErrorReportEx(&err);
      smod_RationalPolynomialsToMapXY(section, p[0], p[1], p[2], &out[0], &out[1], &err);
      EXPECT_EQ(messageOf(err), notFinite) << what;
      herr_DeleteErrorReportEx(&err);
      smod_RSMConvertGRNDD(model, 1, p[0], p[1], p[2], &out[0], &out[1], &out[2], &err);
      EXPECT_EQ(messageOf(err), notFinite) << what;
      herr_DeleteErrorReportEx(&err);
      for (const double o : out) EXPECT_EQ(o, kUntouched) << what;
      for (const int32_t toImage : {SMOD_TRUE, SMOD_FALSE}) {
        model->rsm.groundToImageTransform = toImage;
        expectRefused(p, notFinite, false, what);
      }
    }
  // Heights of the set-up that are not finite fail the 2-D batch too.
  model->rsm.z_mean = std::nan("");
  double point[2] = {50.0, 60.0};
  ErrorReport* err = nullptr;
  smod_RSMXformTransform(xform_, 1, point, nullptr, &err);
  EXPECT_TRUE(chainHas(err, notFinite)) << messageOf(err);
  herr_DeleteErrorReportEx(&err);
  model->rsm.z_mean = 0.0;

  struct Normalisation {
    double* field;
    double value;
    const char* message;
  };
  RSMFunctions& first = model->rsm.RationalPolyList.data[0];
  first.useNormalization = SMOD_TRUE;
  const Normalisation unusable[] = {
      {&first.Scales[3], 0.0, "Normalisation scale 3 (sample) is zero or not finite."},
      {&first.Scales[0], bad[1], "Normalisation scale 0 (x) is zero or not finite."},
      {&first.Offsets[4], bad[0], "Normalisation offset 4 (row) is not finite."}};
  for (const Normalisation& u : unusable) {
    const double kept = *u.field;
    *u.field = u.value;
    double out[2];
    smod_RationalPolynomialsToFileXY(&first, 0.5, 0.5, 0.0, &out[0], &out[1], &err);
    EXPECT_EQ(messageOf(err), u.message);
    herr_DeleteErrorReportEx(&err);
    for (const int32_t toImage : {SMOD_TRUE, SMOD_FALSE}) {
      model->rsm.groundToImageTransform = toImage;
      const double p[3] = {toImage ? 10.0 : 50.0, toImage ? 10.0 : 50.0, 0.0};
      expectRefused(p, u.message, false, u.message);
    }
    *u.field = kept;
  }
}

}  // namespace
