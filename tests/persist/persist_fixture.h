// Shared by the persistence and coordinate-system suites: a model with a full output
// coordinate system, a heap-balance fixture and a sweep over exhausted-heap failures.
#ifndef TESTS_PERSIST_PERSIST_FIXTURE_H
#define TESTS_PERSIST_PERSIST_FIXTURE_H

#include <gtest/gtest.h>

#include "persist/designs.h"
#include "senmod/senmod.h"
#include "support/heap_check.h"
#include "support/model_builder.h"

namespace persist_test {

// The three live objects of a coordinate system, released when it goes.
struct LiveCoordinateSystem {
  LiveCoordinateSystem() = default;
  ~LiveCoordinateSystem() {
    hprj_ProjectionFree(&projection);
    hmsc_HeapFree(units);
    hprj_ElevationInfoFree(&info);
  }
  LiveCoordinateSystem(const LiveCoordinateSystem&) = delete;
  LiveCoordinateSystem& operator=(const LiveCoordinateSystem&) = delete;
  Hprj_Projection* projection = nullptr;
  char* units = nullptr;
  Hprj_ElevationInfo* info = nullptr;
};

// The library's internal coordinate system.
struct InternalSystem : LiveCoordinateSystem {
  explicit InternalSystem(ErrorReport** err = nullptr) {
    smod_InternalProjectionAndElevInfoGet(&projection, &units, &info, err);
  }
};

// What a model's stored output coordinate system gives back.
struct StoredSystem : LiveCoordinateSystem {
  explicit StoredSystem(const RSM_Model* model, ErrorReport** err = nullptr) {
    smod_RSMCoordinateSystemGet(model, &projection, &units, &info, err);
  }
};

// Three sections in one row, rectangular ground domain, geographic WGS 84 output projection
// in "degrees" with heights in meters, a DEM name. Free with smod_RSMDelete.
inline RSM_Model* threeSectionModel() {
  model_builder::FlatGroundCamera camera;
  camera.domain = model_builder::FlatGroundCamera::Domain::Rectangular;
  camera.colSections = 3;
  camera.powerX = camera.powerY = 2;
  camera.powerZ = 1;
  RSM_Model* model = model_builder::makeCameraModel(camera);
  model->rsm.demsource = HMOD_DEM_CONSTANT;
  model->rsm.z_mean = 120.0;
  model->rsm.demfilename = model_builder::heapText("/data/dem.tif");
  model->rsm.forSrcAffine[2] = 0.5;
  InternalSystem internal;
  ErrorReport* err = nullptr;
  smod_RSMCoordinateSystemSet(model, internal.projection, internal.units, internal.info, &err);
  EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
  herr_DeleteErrorReportEx(&err);
  return model;
}

// Checks that a test gives back every host heap block it takes. What lives for the process
// (the shared designs, anything the host builds once for conversions) is made first.
class HeapBalance : public HeapCheckedTest {
 protected:
  void SetUp() override {
    senmod::RSMFunctions_Design();
    senmod::RSM_Model_Design();
    RSM_Model* model = threeSectionModel();
    hprj_ProParametersFree(&model->rsm.obsoletePlaceHolder0);  // read the persistent form
    { StoredSystem stored(model); }
    smod_RSMDelete(model);
    HeapCheckedTest::SetUp();
  }
};

// Calls attempt(n) with the heap failing after n allocations, for n = 0, 1, ... until an
// attempt returns true; each failed attempt must give back every block it took.
template <typename Attempt>
void sweepHeap(Attempt attempt) {
  for (long n = 0; n < 100000; ++n) {
    long before = hmsc_HeapLiveBlocks();
    hmsc_HeapFailAfter(n);
    bool done = attempt(n);
    hmsc_HeapFailAfter(-1);
    if (done) return;
    ASSERT_EQ(hmsc_HeapLiveBlocks(), before) << "leak at allocation " << n;
  }
  FAIL() << "never succeeded";
}

}  // namespace persist_test

#endif  // TESTS_PERSIST_PERSIST_FIXTURE_H
