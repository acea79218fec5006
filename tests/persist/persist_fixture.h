// What the persistence suites share: a model with a full output coordinate system, and a
// fixture that proves every test gives back what it took from the host heap.
#ifndef TESTS_PERSIST_PERSIST_FIXTURE_H
#define TESTS_PERSIST_PERSIST_FIXTURE_H

#include <gtest/gtest.h>

#include "support/model_builder.h"
#include "persist/designs.h"
#include "senmod/senmod.h"

namespace persist_test {

// Three sections in one row, rectangular ground domain, WGS 84 geographic output projection
// with units "degrees" and heights in meters, a DEM name. Free with smod_RSMDelete.
inline RSM_Model* threeSectionModel() {
  model_builder::CameraSpec camera;
  camera.domain = model_builder::CameraSpec::Domain::Rectangular;
  camera.colSections = 3;
  camera.powerX = camera.powerY = 2;
  camera.powerZ = 1;
  RSM_Model* model = model_builder::makeCameraModel(camera);
  model->rsm.demsource = HMOD_DEM_CONSTANT;
  model->rsm.z_mean = 120.0;
  model->rsm.demfilename = model_builder::heapText("/data/dem.tif");
  model->rsm.demzunits = model_builder::heapText("meters");
  model->rsm.forSrcAffine[2] = 0.5;
  model->rsm.invDstAffine[5] = -0.25;

  ErrorReport* err = nullptr;
  Hprj_Projection* projection =
      hprj_ProjectionInit(hint_GetInit(), model->rsm.obsoletePlaceHolder0, &err);
  Hprj_ElevationInfo* info =
      hprj_ElevationInfoCreateByName("WGS 84", "WGS 84", "meters", "height", &err);
  smod_RSMCoordinateSystemSet(model, projection, "degrees", info, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  herr_DeleteErrorReportEx(&err);
  hprj_ProjectionFree(&projection);
  hprj_ElevationInfoFree(&info);
  return model;
}

// Checks that a test leaves the host heap as it found it. The shared designs, which live for
// the process, are built before the count is taken.
class HeapBalance : public testing::Test {
 protected:
  void SetUp() override {
    senmod::RSMFunctions_Design();
    senmod::RSM_Model_Design();
    live_ = hmsc_HeapLiveBlocks();
  }
  void TearDown() override {
    hmsc_HeapFailAfter(-1);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live_) << "host heap blocks leaked";
  }

 private:
  long live_ = 0;
};

}  // namespace persist_test

#endif  // TESTS_PERSIST_PERSIST_FIXTURE_H
