// The transform object's life: wrapping a model, the one-time set-up without a DEM, release.
#include <gtest/gtest.h>

#include "hostcore.h"
#include "senmod/senmod.h"
#include "support/heap_check.h"
#include "support/report_capture.h"
#include "xform/xform_fixture.h"

namespace {

using xform_test::makeLinearModel;

using XformObject = HeapCheckedTest;

TEST_F(XformObject, WrapsAModelAndDeletesItWithTheObject) {
  ErrorReport* err = nullptr;
  RSM_Model* model = makeLinearModel();
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, &err);
  ASSERT_NE(xform, nullptr);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(xform->model, model);
  EXPECT_EQ(xform->projection, nullptr);
  EXPECT_EQ(xform->filled, 0);
  smod_RSMXformDelete(xform);
  smod_RSMXformDelete(nullptr);
}

TEST_F(XformObject, ExhaustedHeapGivesNullAndLeavesTheModelToTheCaller) {
  RSM_Model* model = makeLinearModel();
  ErrorReport* err = nullptr;
  {
    ReportCapture capture;
    hmsc_HeapFailAfter(0);
    EXPECT_EQ(smod_RSMXformCreate(&err), nullptr);
    EXPECT_EQ(err, nullptr);
    hmsc_HeapFailAfter(0);
    EXPECT_EQ(smod_RSMXformGetFromRSMData(model, &err), nullptr);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(err, nullptr);
    // Printed, not passed out (the heap is too exhausted for the report's own text).
    EXPECT_EQ(capture.count(), 1u);
  }
  smod_RSMDelete(model);
}

TEST_F(XformObject, SetUpRefusesObjectsWithoutAModelOrSections) {
  ReportCapture capture;
  smod_RSMXformFillNoMIFData(nullptr, nullptr);
  ErrorReport* err = nullptr;
  RSM_Xform* empty = smod_RSMXformCreate(&err);
  smod_RSMXformFillNoMIFData(empty, &err);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(empty->filled, 0);

  RSM_Model* model = smod_RSMCreate(&err);
  RSM_Xform* sectionless = smod_RSMXformGetFromRSMData(model, &err);
  smod_RSMXformFillNoMIFData(sectionless, &err);
  EXPECT_EQ(sectionless->filled, 0);

  ASSERT_EQ(capture.count(), 3u);
  for (const CapturedPrint& print : capture.prints()) {
    EXPECT_EQ(print.flag, 0);
    EXPECT_EQ(print.chain[0].function, "smod_RSMXformFillNoMIFData");
    EXPECT_EQ(print.chain[0].message, "Invalid input RSM xform data.");
  }
  // A transform on such an object reports that the set-up failed.
  double point[2] = {1, 2};
  smod_RSMXformTransform(sectionless, 1, point, nullptr, &err);
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformTransform");
  EXPECT_STREQ(herr_ErrorReportMessage(err), "smod_RSMXformFillNoMIFData failed");
  herr_DeleteErrorReportEx(&err);
  smod_RSMXformDelete(empty);
  smod_RSMXformDelete(sectionless);
}

TEST_F(XformObject, ConstantHeightModelGetsItsProjectionButNeverLooksAtTheDemFile) {
  RSM_Model* model = makeLinearModel(12.5);
  xform_test::setGeographicOutput(model);
  xform_test::useDemFile(model, "/nonexistent/dem.tif");
  model->rsm.demsource = HMOD_DEM_CONSTANT;
  ErrorReport* err = nullptr;
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, &err);
  ReportCapture capture;
  smod_RSMXformFillNoMIFData(xform, &err);
  EXPECT_EQ(xform->filled, 1);
  EXPECT_NE(xform->projection, nullptr);
  EXPECT_EQ(capture.count(), 0u);
  EXPECT_EQ(model->rsm.demsource, HMOD_DEM_CONSTANT);
  EXPECT_EQ(model->rsm.z_mean, 12.5);
  smod_RSMXformDelete(xform);
}

TEST_F(XformObject, ModelWithoutProjectionParametersGetsNoProjection) {
  ErrorReport* err = nullptr;
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(makeLinearModel(), &err);
  // The first transform runs the set-up, even for no points.
  smod_RSMXformTransform(xform, 0, nullptr, nullptr, &err);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(xform->filled, 1);
  EXPECT_EQ(xform->projection, nullptr);
  smod_RSMXformDelete(xform);
}

#ifndef SENMOD_DEMLAYER
TEST_F(XformObject, MissingDemFileWarnsOnceAndSwitchesTheModelToItsConstantHeight) {
  RSM_Model* model = makeLinearModel(0.0);
  xform_test::useDemFile(model, "/nonexistent/dem.tif");
  ErrorReport* err = nullptr;
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, &err);
  ReportCapture capture;
  double points[4] = {xform_test::kLon0, xform_test::kLat0, xform_test::kLon0 + 0.001,
                      xform_test::kLat0};
  smod_RSMXformTransform(xform, 2, points, nullptr, &err);
  EXPECT_EQ(err, nullptr);
  smod_RSMXformTransform(xform, 2, points, nullptr, &err);
  smod_RSMXformFillNoMIFData(xform, &err);

  ASSERT_EQ(capture.count(), 1u);
  const CapturedPrint print = capture.prints()[0];
  EXPECT_EQ(print.flag, 1);
  ASSERT_EQ(print.chain.size(), 1u);
  EXPECT_EQ(print.chain[0].function, "smod_RSMXformFillNoMIFData");
  EXPECT_EQ(print.chain[0].severity, 1);
  EXPECT_EQ(print.chain[0].message,
            "File /nonexistent/dem.tif does not exist. \nConstant elevation of 0.000 meters will "
            "be used. \nYou can select a valid DTM file as the elevation source of the image and "
            "then restart/redisplay.");
  EXPECT_EQ(model->rsm.demsource, HMOD_DEM_CONSTANT);
  EXPECT_EQ(model->rsm.z_mean, 0.0);
  EXPECT_EQ(xform->elevationSource, nullptr);
  EXPECT_EQ(xform->filled, 1);
  smod_RSMXformDelete(xform);
}
#endif

}  // namespace
