// Batches allocate per call, never per point: with every heap allocation of the process counted
// (malloc, calloc, realloc and so every operator new and host heap block), a batch of twelve
// chunks of points makes exactly as many allocations as a batch of six over the same sections.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "senmod/senmod.h"
#include "support/dem_builder.h"
#include "support/model_builder.h"
#include "xform/xform_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define SENMOD_COUNTS_ALLOCATIONS 0
#else
#define SENMOD_COUNTS_ALLOCATIONS 1
#endif

#if SENMOD_COUNTS_ALLOCATIONS
namespace {
std::atomic<long> allocations{0};
}

// glibc's own entry points, which the counting ones pass every request to.
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);

extern "C" void* malloc(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, size);
}
#endif

namespace {

using model_builder::FlatGroundCamera;

// Allocations made by call().
template <typename Call>
long allocationsOf(Call call) {
#if SENMOD_COUNTS_ALLOCATIONS
  const long before = allocations.load();
  call();
  return allocations.load() - before;
#else
  call();
  return 0;
#endif
}

// Points inside the camera's footprint (map degrees and metres) or image.
std::vector<double> points(const FlatGroundCamera& camera, bool groundToImage, int n, int width) {
  std::vector<double> p;
  for (int i = 0; i < n; ++i) {
    const double a = (i % 97) / 97.0, b = (i % 89) / 89.0;
    if (groundToImage) {
      p.push_back(camera.longitude0 - 0.005 + 0.01 * a);
      p.push_back(camera.latitude0 - 0.004 + 0.008 * b);
    } else {
      p.push_back(a * camera.samples);
      p.push_back(b * camera.rows);
    }
    if (width == 3) p.push_back(100.0 * a);
  }
  return p;
}

class PerPointAllocations : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
#if !SENMOD_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "the sanitizer owns the allocator";
#endif
  }
};

// Allocations of a batch of 1500 points (six chunks) and of 3000 (twelve), both meeting every
// section, after a first call that makes what an object makes once. A batch of a one-section
// model may allocate nothing (it takes the thread's kept plan): allocates says whether the
// batch must show the hook an allocation of its own.
template <typename Batch>
void expectNoneProportional(Batch batch, const std::string& what, bool allocates = true) {
  batch(1);
  const long fewer = allocationsOf([&] { batch(1500); });
  const long more = allocationsOf([&] { batch(3000); });
  EXPECT_EQ(more, fewer) << what;
  EXPECT_LE(more, 20) << what;
  if (allocates) {
    EXPECT_GT(more, 0) << what << ": the hook saw no allocation of the call's own";
  }
}

TEST_P(PerPointAllocations, ThreeDimensionalBatchesOfOneSectionAndOfAGrid) {
  const bool groundToImage = GetParam();
  for (int grid : {1, 3}) {
    FlatGroundCamera camera;
    camera.rowSections = grid;
    camera.colSections = grid;
    camera.lowOrderPoly = grid > 1;
    RSM_Model* model = model_builder::makeCameraModel(camera);
    model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
    RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
    const std::vector<double> in = points(camera, groundToImage, 3000, 3);
    std::vector<double> out(2 * 3000);
    expectNoneProportional(
        [&](int32_t n) {
          ErrorReport* err = nullptr;
          smod_RSMXformTransform3DTo2D(xform, n, in.data(), out.data(), &err);
          ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
        },
        "grid " + std::to_string(grid), grid > 1);
    smod_RSMXformDelete(xform);
  }
}

TEST_P(PerPointAllocations, TwoDimensionalBatchesWithHeightsFromTheDem) {
  const bool groundToImage = GetParam();
  senmod_test::Dem dem(xform_test::geographicPlaneDem(4000.0, -2500.0));
  FlatGroundCamera camera;
  camera.longitude0 = xform_test::kLon0;
  camera.latitude0 = xform_test::kLat0;
  RSM_Model* model = model_builder::makeCameraModel(camera);
  xform_test::setGeographicOutput(model);
  xform_test::useDemFile(model, dem.path());
  model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
  const std::vector<double> in = points(camera, groundToImage, 3000, 2);
  std::vector<double> work(in.size()), out(in.size());
  expectNoneProportional(
      [&](int32_t n) {
        work = in;
        ErrorReport* err = nullptr;
        smod_RSMXformTransform(xform, n, work.data(), out.data(), &err);
        ASSERT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
      },
      "DEM");
  smod_RSMXformDelete(xform);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, PerPointAllocations, ::testing::Values(true, false),
                         [](const auto& info) {
                           return info.param ? "GroundToImage" : "ImageToGround";
                         });

}  // namespace
