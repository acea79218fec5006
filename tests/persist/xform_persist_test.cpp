// Transform objects to persistent form and back, and their copy.
#include <gtest/gtest.h>

#include <vector>

#include "persist/persist_fixture.h"
#include "support/report_capture.h"

namespace {

using persist_test::sweepHeap;

struct Stored {
  ~Stored() {
    hmif_ObjectFree(&object, design, nullptr);
    hmif_DesignDestroy(design);
  }
  void* object = nullptr;
  HmifDesign* design = nullptr;
};

RSM_Xform* wrap(RSM_Model* model) { return smod_RSMXformGetFromRSMData(model, nullptr); }

using XformPersist = persist_test::HeapBalance;

TEST_F(XformPersist, ModelWithSectionsAndCoordinateSystemSurvivesBytes) {
  RSM_Xform* xform = wrap(persist_test::threeSectionModel());
  Hprj_ProParameters* parameters = xform->model->rsm.obsoletePlaceHolder0;
  ASSERT_NE(parameters, nullptr);
  Stored stored;
  ErrorReport* err = nullptr;
  smod_RSMXformConvertToMIFable(xform, &stored.object, &stored.design, &err);
  ASSERT_NE(stored.object, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_STREQ(hmif_DesignName(stored.design), "RSM_Model");
  EXPECT_EQ(static_cast<RSM_Model*>(stored.object)->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(xform->model->rsm.obsoletePlaceHolder0, parameters);

  // Through bytes, as a host stores it with an image; the design copy outlives nothing shared.
  std::vector<unsigned char> bytes(hmif_ObjectSize(stored.object, stored.design, nullptr));
  hmif_ConvertToMIF(0, stored.object, stored.design, bytes.data(), nullptr);
  hmif_ObjectFree(&stored.object, stored.design, nullptr);
  stored.object = hmif_ConvertFromMIF(bytes.data(), bytes.size(), stored.design, &err);
  RSM_Xform* back = smod_RSMXformConvertFromMIFable(stored.object, stored.design, &err);
  ASSERT_NE(back, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(smod_RSMsAreSame(xform->model, back->model), 1);
  ASSERT_NE(back->model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_NE(hprj_ProParametersEqual(back->model->rsm.obsoletePlaceHolder0, parameters, &err), 0);
  for (double dx : {-0.004, 0.003}) {
    double sample[2], row[2];
    smod_RSMTransform(xform->model, 10.0 + dx, 45.0 - dx, 50.0, &sample[0], &row[0], &err);
    smod_RSMTransform(back->model, 10.0 + dx, 45.0 - dx, 50.0, &sample[1], &row[1], &err);
    EXPECT_EQ(sample[0], sample[1]);
    EXPECT_EQ(row[0], row[1]);
  }
  // Its output projection is usable.
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
  smod_RSMCoordinateSystemGet(back->model, &projection, &units, &info, &err);
  double longitude = 0.0, latitude = 0.0;
  EXPECT_EQ(hprj_ProjectionToGeographic(projection, 10.5, 45.25, &longitude, &latitude, &err), 0);
  EXPECT_DOUBLE_EQ(latitude, 45.25);
  EXPECT_STREQ(units, "degrees");
  EXPECT_STREQ(info->units, "meters");
  EXPECT_EQ(err, nullptr);
  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  hprj_ElevationInfoFree(&info);
  smod_RSMXformDelete(back);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ModelWithoutParametersStoresAnEmptyProjection) {
  RSM_Model* model = model_builder::makeModel({model_builder::affineSection(1, 2, 3, 4, 5, 6)});
  RSM_Xform* xform = wrap(model);
  // A stale holder is dropped: the stored projection follows the parameters.
  model->outputProjection.MIFObject = {4, static_cast<unsigned char*>(hmsc_HeapMalloc(4))};
  Stored stored;
  smod_RSMXformConvertToMIFable(xform, &stored.object, &stored.design, nullptr);
  const Hmif_MIFObject& holder = static_cast<RSM_Model*>(stored.object)->outputProjection;
  EXPECT_EQ(holder.type.count + holder.MIFDictionary.count + holder.MIFObject.count, 0);
  RSM_Xform* back = smod_RSMXformConvertFromMIFable(stored.object, stored.design, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(smod_RSMsAreSame(model, back->model), 1);
  smod_RSMXformDelete(back);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ProjectionMadeFromADefinitionSurvivesTheRoundTrip) {
  RSM_Model* model = model_builder::makeModel({model_builder::affineSection(1, 2, 3, 4, 5, 6)});
  persist_test::InternalSystem internal;
  ErrorReport* err = nullptr;
  Hprj_Projection* utm = hprj_ProjectionFromDefinition("EPSG:32633", &err);
  smod_RSMCoordinateSystemSet(model, utm, "meters", internal.info, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  ASSERT_EQ(model->rsm.obsoletePlaceHolder0, nullptr);
  RSM_Xform* xform = wrap(model);
  Stored stored;
  smod_RSMXformConvertToMIFable(xform, &stored.object, &stored.design, &err);
  ASSERT_NE(stored.object, nullptr) << herr_ErrorReportMessage(err);
  RSM_Xform* back = smod_RSMXformConvertFromMIFable(stored.object, stored.design, &err);
  ASSERT_NE(back, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(smod_RSMsAreSame(model, back->model), 1);
  persist_test::StoredSystem restored(back->model, &err);
  ASSERT_NE(restored.projection, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_STREQ(hprj_ProjectionWkt(restored.projection), hprj_ProjectionWkt(utm));
  EXPECT_STREQ(restored.units, "meters");
  hprj_ProjectionFree(&utm);
  smod_RSMXformDelete(back);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ConversionsFailCleanlyAtEveryAllocation) {
  RSM_Xform* xform = wrap(persist_test::threeSectionModel());
  RSM_Model* reference = smod_RSMCopy(xform->model, nullptr);
  Hprj_ProParameters* parameters = xform->model->rsm.obsoletePlaceHolder0;
  Stored stored;
  sweepHeap([&](long n) {
    void* object = &n;
    HmifDesign* design = reinterpret_cast<HmifDesign*>(&n);
    ErrorReport* err = nullptr;
    smod_RSMXformConvertToMIFable(xform, &object, &design, &err);
    EXPECT_EQ(xform->model->rsm.obsoletePlaceHolder0, parameters);
    EXPECT_EQ(smod_RSMsAreSame(xform->model, reference), 1) << "at allocation " << n;
    EXPECT_EQ(object == nullptr, err != nullptr);
    EXPECT_EQ(design == nullptr, err != nullptr);
    stored.object = object;
    stored.design = design;
    herr_DeleteErrorReportEx(&err);
    return object != nullptr;
  });
  sweepHeap([&](long) {
    ErrorReport* err = nullptr;
    RSM_Xform* back = smod_RSMXformConvertFromMIFable(stored.object, stored.design, &err);
    EXPECT_EQ(back == nullptr, err != nullptr);
    herr_DeleteErrorReportEx(&err);
    if (back) {
      EXPECT_EQ(smod_RSMsAreSame(reference, back->model), 1);
    }
    smod_RSMXformDelete(back);
    return back != nullptr;
  });
  smod_RSMDelete(reference);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, BadArgumentsAndForeignObjectsAreRefused) {
  ErrorReport* err = nullptr;
  Stored stored;
  smod_RSMXformConvertToMIFable(nullptr, nullptr, &stored.design, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformConvertToMIFable");
  herr_DeleteErrorReportEx(&err);
  // No object, or one without a model: null outputs, and the report of every call on such an
  // object.
  RSM_Xform* empty = smod_RSMXformCreate(&err);
  for (RSM_Xform* bad : {static_cast<RSM_Xform*>(nullptr), empty}) {
    stored.object = &err;
    smod_RSMXformConvertToMIFable(bad, &stored.object, &stored.design, &err);
    EXPECT_TRUE(stored.object == nullptr && stored.design == nullptr);
    EXPECT_STREQ(herr_ErrorReportMessage(err), "Invalid input RSM xform data.");
    EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformConvertToMIFable");
    herr_DeleteErrorReportEx(&err);
  }
  smod_RSMXformDelete(empty);
  EXPECT_EQ(smod_RSMXformConvertFromMIFable(nullptr, stored.design, &err), nullptr);
  EXPECT_EQ(err, nullptr);

  RSM_Model* model = model_builder::makeModel({model_builder::affineSection(1, 2, 3, 4, 5, 6)});
  EXPECT_EQ(smod_RSMXformConvertFromMIFable(model, nullptr, &err), nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "NULL xFormDesign");
  EXPECT_EQ(herr_ErrorReportPrevious(err), nullptr);
  herr_DeleteErrorReportEx(&err);
  // A record of another layout is not read as a model.
  EXPECT_EQ(smod_RSMXformConvertFromMIFable(model, senmod::RSMFunctions_Design(), &err), nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Design does not lay out an RSM_Model");
  herr_DeleteErrorReportEx(&err);

  // Parameters the host cannot make a projection from leave the record as it was.
  RSM_Model* reference = smod_RSMCopy(model, nullptr);
  model->rsm.obsoletePlaceHolder0 = hprj_ProParametersCreate(nullptr);
  model->rsm.obsoletePlaceHolder0->proType = 99;
  RSM_Xform* xform = wrap(model);
  smod_RSMXformConvertToMIFable(xform, &stored.object, &stored.design, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "hprj_MapProjectionInit failed");
  EXPECT_TRUE(stored.object == nullptr && stored.design == nullptr);
  herr_DeleteErrorReportEx(&err);
  hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);
  EXPECT_EQ(smod_RSMsAreSame(model, reference), 1);
  smod_RSMDelete(reference);

  // A writer that filled the parameters slot as the design says (a holder record): the slot is
  // released, not taken for parameters.
  smod_RSMXformConvertToMIFable(xform, &stored.object, &stored.design, nullptr);
  Hmif_MIFObject holder{};
  static_cast<RSM_Model*>(stored.object)->rsm.obsoletePlaceHolder0 =
      static_cast<Hprj_ProParameters*>(
          hmif_ObjectCopy(&holder, senmod::Hmif_MIFObject_Design(), nullptr));
  RSM_Xform* back = smod_RSMXformConvertFromMIFable(stored.object, stored.design, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->model->rsm.obsoletePlaceHolder0, nullptr);
  smod_RSMXformDelete(back);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, CopyHoldsAnIndependentModelAndPrintsItsFailures) {
  RSM_Xform* xform = wrap(persist_test::threeSectionModel());
  ErrorReport* err = nullptr;
  RSM_Xform* copy = smod_RSMXformCopy(xform, &err);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->model, xform->model);
  EXPECT_EQ(smod_RSMsAreSame(copy->model, xform->model), 1);
  EXPECT_EQ(copy->filled, 0);
  smod_RSMXformDelete(copy);

  sweepHeap([&](long n) {
    ReportCapture capture;
    copy = smod_RSMXformCopy(xform, &err);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(capture.count() > 0, copy == nullptr) << "at allocation " << n;
    smod_RSMXformDelete(copy);
    return copy != nullptr;
  });

  ReportCapture capture;
  RSM_Xform* empty = smod_RSMXformCreate(&err);
  EXPECT_EQ(smod_RSMXformCopy(nullptr, &err), nullptr);
  EXPECT_EQ(smod_RSMXformCopy(empty, &err), nullptr);
  EXPECT_EQ(err, nullptr);
  ASSERT_EQ(capture.count(), 2u);
  EXPECT_EQ(capture.prints()[0].chain.front().message, "Args");
  EXPECT_EQ(capture.prints()[1].chain.front().message, "hmod_RSMCopy failed");
  EXPECT_EQ(capture.prints()[1].chain.front().function, "smod_RSMXformCopy");
  smod_RSMXformDelete(empty);
  smod_RSMXformDelete(xform);
}

}  // namespace
