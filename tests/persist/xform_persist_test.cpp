// Transform objects to persistent form and back, and their copy.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/model_builder.h"
#include "persist/designs.h"
#include "persist/persist_fixture.h"
#include "support/report_capture.h"
#include "senmod/senmod.h"

namespace {

using persist_test::HeapBalance;

// The persistent object through the host's bytes, as a host would store it with an image.
void* throughBytes(void* object, const HmifDesign* design) {
  ErrorReport* err = nullptr;
  int64_t size = hmif_ObjectSize(object, design, &err);
  EXPECT_GT(size, 0);
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  EXPECT_EQ(hmif_ConvertToMIF(0, object, design, bytes.data(), &err), size);
  hmif_ObjectFree(&object, design, &err);
  void* decoded = hmif_ConvertFromMIF(bytes.data(), bytes.size(), design, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  herr_DeleteErrorReportEx(&err);
  return decoded;
}

void expectSameTransforms(const RSM_Model* a, const RSM_Model* b) {
  for (double dx : {-0.004, 0.0, 0.003}) {
    double x = 10.0 + dx, y = 45.0 - dx;
    double sa, ra, sb, rb;
    ErrorReport* err = nullptr;
    smod_RSMTransform(a, x, y, 50.0, &sa, &ra, &err);
    smod_RSMTransform(b, x, y, 50.0, &sb, &rb, &err);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(sa, sb);
    EXPECT_EQ(ra, rb);
  }
}

using XformPersist = HeapBalance;

TEST_F(XformPersist, ModelWithSectionsAndCoordinateSystemSurvivesBytes) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(persist_test::threeSectionModel(), nullptr);
  ASSERT_NE(xform, nullptr);
  Hprj_ProParameters* parameters = xform->model->rsm.obsoletePlaceHolder0;
  ASSERT_NE(parameters, nullptr);

  void* object = nullptr;
  HmifDesign* design = nullptr;
  ErrorReport* err = nullptr;
  smod_RSMXformConvertToMIFable(xform, &object, &design, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  ASSERT_NE(object, nullptr);
  ASSERT_NE(design, nullptr);
  EXPECT_STREQ(hmif_DesignName(design), "RSM_Model");
  EXPECT_EQ(static_cast<RSM_Model*>(object)->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(xform->model->rsm.obsoletePlaceHolder0, parameters);

  void* stored = throughBytes(object, design);
  ASSERT_NE(stored, nullptr);
  RSM_Xform* back = smod_RSMXformConvertFromMIFable(stored, design, &err);
  ASSERT_NE(back, nullptr) << herr_ErrorReportMessage(err);
  EXPECT_EQ(err, nullptr);
  EXPECT_EQ(smod_RSMsAreSame(xform->model, back->model), 1);
  ASSERT_EQ(back->model->rsm.RationalPolyList.count, 3);
  EXPECT_EQ(back->model->rsm.RationalPolyList.data[2].columnSection, 2);
  EXPECT_STREQ(back->model->rsm.demfilename.data, "/data/dem.tif");
  ASSERT_NE(back->model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_NE(back->model->rsm.obsoletePlaceHolder0, parameters);
  EXPECT_NE(hprj_ProParametersEqual(back->model->rsm.obsoletePlaceHolder0, parameters, &err), 0);
  expectSameTransforms(xform->model, back->model);

  // The output coordinate system is usable from the restored model.
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
  smod_RSMCoordinateSystemGet(back->model, &projection, &units, &info, &err);
  ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  ASSERT_NE(projection, nullptr);
  EXPECT_NE(hprj_ProjectionIsGeographic(projection), 0);
  double longitude = 0.0, latitude = 0.0;
  EXPECT_EQ(hprj_ProjectionToGeographic(projection, 10.5, 45.25, &longitude, &latitude, &err), 0);
  EXPECT_DOUBLE_EQ(longitude, 10.5);
  EXPECT_DOUBLE_EQ(latitude, 45.25);
  EXPECT_STREQ(units, "degrees");
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->units, "meters");
  EXPECT_STREQ(info->datumName, "WGS 84");

  hprj_ProjectionFree(&projection);
  hmsc_HeapFree(units);
  hprj_ElevationInfoFree(&info);
  hmif_ObjectFree(&stored, design, nullptr);
  hmif_DesignDestroy(design);
  smod_RSMXformDelete(back);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ModelWithoutProjectionStoresAnEmptyHolderAndComesBackWithoutOne) {
  RSM_Model* model = model_builder::makeModel({model_builder::affineSection(1, 2, 3, 4, 5, 6)});
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
  // A holder left from an earlier projection is dropped: the holder follows the parameters.
  model->outputProjection.MIFObject.data = static_cast<unsigned char*>(hmsc_HeapMalloc(4));
  model->outputProjection.MIFObject.count = 4;

  void* object = nullptr;
  HmifDesign* design = nullptr;
  smod_RSMXformConvertToMIFable(xform, &object, &design, nullptr);
  ASSERT_NE(object, nullptr);
  const Hmif_MIFObject& stored = static_cast<RSM_Model*>(object)->outputProjection;
  EXPECT_EQ(stored.type.count, 0);
  EXPECT_EQ(stored.MIFDictionary.count, 0);
  EXPECT_EQ(stored.MIFObject.count, 0);
  EXPECT_EQ(model->outputProjection.MIFObject.data, nullptr);

  RSM_Xform* back = smod_RSMXformConvertFromMIFable(object, design, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->model->rsm.obsoletePlaceHolder0, nullptr);
  EXPECT_EQ(smod_RSMsAreSame(model, back->model), 1);

  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  smod_RSMXformDelete(back);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ConversionToPersistentFormFailsCleanlyAtEveryAllocation) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(persist_test::threeSectionModel(), nullptr);
  RSM_Model* reference = smod_RSMCopy(xform->model, nullptr);
  Hprj_ProParameters* parameters = xform->model->rsm.obsoletePlaceHolder0;
  long before = hmsc_HeapLiveBlocks();
  for (long n = 0;; ++n) {
    void* object = reinterpret_cast<void*>(1);
    HmifDesign* design = reinterpret_cast<HmifDesign*>(1);
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    smod_RSMXformConvertToMIFable(xform, &object, &design, &err);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(xform->model->rsm.obsoletePlaceHolder0, parameters);
    EXPECT_EQ(smod_RSMsAreSame(xform->model, reference), 1) << "at allocation " << n;
    if (!err) {
      ASSERT_NE(object, nullptr);
      hmif_ObjectFree(&object, design, nullptr);
      hmif_DesignDestroy(design);
      break;
    }
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(design, nullptr);
    herr_DeleteErrorReportEx(&err);
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
  smod_RSMDelete(reference);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ConversionFromPersistentFormFailsCleanlyAtEveryAllocation) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(persist_test::threeSectionModel(), nullptr);
  void* object = nullptr;
  HmifDesign* design = nullptr;
  smod_RSMXformConvertToMIFable(xform, &object, &design, nullptr);
  ASSERT_NE(object, nullptr);
  long before = hmsc_HeapLiveBlocks();
  for (long n = 0;; ++n) {
    ErrorReport* err = nullptr;
    hmsc_HeapFailAfter(n);
    RSM_Xform* back = smod_RSMXformConvertFromMIFable(object, design, &err);
    hmsc_HeapFailAfter(-1);
    if (back) {
      EXPECT_EQ(err, nullptr);
      EXPECT_EQ(smod_RSMsAreSame(xform->model, back->model), 1);
      smod_RSMXformDelete(back);
      break;
    }
    EXPECT_NE(err, nullptr);
    herr_DeleteErrorReportEx(&err);
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, ArgumentsAreCheckedWithTheirMessages) {
  ErrorReport* err = nullptr;
  void* object = nullptr;
  HmifDesign* design = nullptr;
  smod_RSMXformConvertToMIFable(nullptr, nullptr, &design, &err);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Args");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformConvertToMIFable");
  herr_DeleteErrorReportEx(&err);

  object = &err;
  smod_RSMXformConvertToMIFable(nullptr, &object, &design, &err);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(design, nullptr);
  EXPECT_EQ(err, nullptr);

  EXPECT_EQ(smod_RSMXformConvertFromMIFable(nullptr, design, &err), nullptr);
  EXPECT_EQ(err, nullptr);

  RSM_Model* model = model_builder::makeModel({model_builder::affineSection(1, 2, 3, 4, 5, 6)});
  EXPECT_EQ(smod_RSMXformConvertFromMIFable(model, nullptr, &err), nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "NULL xFormDesign");
  EXPECT_STREQ(herr_ErrorReportFunction(err), "smod_RSMXformConvertFromMIFable");
  EXPECT_EQ(herr_ErrorReportPrevious(err), nullptr);
  herr_DeleteErrorReportEx(&err);

  // A record of another design is not read as a model.
  EXPECT_EQ(smod_RSMXformConvertFromMIFable(model, senmod::RSMFunctions_Design(), &err), nullptr);
  EXPECT_STREQ(herr_ErrorReportMessage(err), "Design does not lay out an RSM_Model");
  herr_DeleteErrorReportEx(&err);
  smod_RSMDelete(model);
}

TEST_F(XformPersist, StoredParametersSlotFromAnotherWriterIsReleasedNotTrusted) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(persist_test::threeSectionModel(), nullptr);
  void* object = nullptr;
  HmifDesign* design = nullptr;
  smod_RSMXformConvertToMIFable(xform, &object, &design, nullptr);
  ASSERT_NE(object, nullptr);
  // A writer that filled the slot as its design says: a persistent-object holder.
  Hmif_MIFObject holder{};
  holder.type = model_builder::heapText("Something");
  void* filled = hmif_ObjectCopy(&holder, senmod::Hmif_MIFObject_Design(), nullptr);
  hmif_MIFObjectFreeContents(&holder);
  ASSERT_NE(filled, nullptr);
  static_cast<RSM_Model*>(object)->rsm.obsoletePlaceHolder0 =
      static_cast<Hprj_ProParameters*>(filled);

  RSM_Xform* back = smod_RSMXformConvertFromMIFable(object, design, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_NE(hprj_ProParametersEqual(back->model->rsm.obsoletePlaceHolder0,
                                    xform->model->rsm.obsoletePlaceHolder0, nullptr),
            0);
  smod_RSMXformDelete(back);
  hmif_ObjectFree(&object, design, nullptr);
  hmif_DesignDestroy(design);
  smod_RSMXformDelete(xform);
}

TEST_F(XformPersist, CopyHoldsAnIndependentModelOnly) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(persist_test::threeSectionModel(), nullptr);
  ErrorReport* err = nullptr;
  RSM_Xform* copy = smod_RSMXformCopy(xform, &err);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(err, nullptr);
  EXPECT_NE(copy->model, xform->model);
  EXPECT_EQ(smod_RSMsAreSame(copy->model, xform->model), 1);
  EXPECT_EQ(copy->filled, 0);
  EXPECT_EQ(copy->projection, nullptr);
  smod_RSMXformDelete(xform);
  expectSameTransforms(copy->model, copy->model);
  smod_RSMXformDelete(copy);
}

TEST_F(XformPersist, CopyPrintsItsFailuresAndLeavesNothing) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(persist_test::threeSectionModel(), nullptr);
  long before = hmsc_HeapLiveBlocks();
  ErrorReport* err = nullptr;
  for (long n = 0;; ++n) {
    ReportCapture capture;
    hmsc_HeapFailAfter(n);
    RSM_Xform* copy = smod_RSMXformCopy(xform, &err);
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(err, nullptr);
    if (copy) {
      smod_RSMXformDelete(copy);
      break;
    }
    // The model copy prints its own failure too; on an exhausted heap reports lose their text.
    EXPECT_GE(capture.count(), 1u) << "at allocation " << n;
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
  ReportCapture capture;
  EXPECT_EQ(smod_RSMXformCopy(nullptr, nullptr), nullptr);
  RSM_Xform* empty = smod_RSMXformCreate(&err);
  EXPECT_EQ(smod_RSMXformCopy(empty, nullptr), nullptr);
  ASSERT_EQ(capture.count(), 2u);
  EXPECT_EQ(capture.prints()[0].chain.front().message, "Args");
  EXPECT_EQ(capture.prints()[1].chain.front().message, "hmod_RSMCopy failed");
  EXPECT_EQ(capture.prints()[1].chain.front().function, "smod_RSMXformCopy");
  smod_RSMXformDelete(empty);
  smod_RSMXformDelete(xform);
}

}  // namespace
