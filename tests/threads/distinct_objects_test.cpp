// What senmod.h allows to run at once does run at once (the ThreadSanitizer preset runs these):
// distinct transform objects on several threads, from their set-up on, each in both directions,
// with and without a DEM, and its rays; and smod_RSMTransform of one model that no thread
// writes. Every thread's results equal those of the same work done alone.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "senmod/senmod.h"
#include "support/dem_builder.h"
#include "support/model_builder.h"
#include "xform/xform_fixture.h"

namespace {

using model_builder::FlatGroundCamera;

constexpr int kThreads = 4;
constexpr int kPoints = 700;

FlatGroundCamera camera() {
  FlatGroundCamera c;
  c.longitude0 = xform_test::kLon0;
  c.latitude0 = xform_test::kLat0;
  c.rowSections = 2;
  c.colSections = 2;
  c.lowOrderPoly = true;
  return c;
}

std::vector<double> imagePoints() {
  std::vector<double> p;
  for (int i = 0; i < kPoints; ++i) p.insert(p.end(), {(i % 37) * 30.0, (i % 41) * 24.0});
  return p;
}

std::vector<double> mapPoints() {
  std::vector<double> p;
  for (int i = 0; i < kPoints; ++i)
    p.insert(p.end(), {xform_test::kLon0 - 0.01 + 0.0003 * (i % 67),
                       xform_test::kLat0 - 0.008 + 0.0002 * (i % 71), 10.0 * (i % 13)});
  return p;
}

// All one thread does with its own object: both directions of the 2-D batch on the DEM (or at
// the constant height), the 3-D batch and the rays; its outputs, in order.
std::vector<double> work(const RSM_Model* prototype, const char* dem) {
  std::vector<double> results;
  for (bool groundToImage : {false, true}) {
    RSM_Model* model = smod_RSMCopy(prototype, nullptr);
    if (dem) xform_test::useDemFile(model, dem);
    model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
    RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
    std::vector<double> in = imagePoints();
    if (groundToImage) {
      const std::vector<double> map = mapPoints();
      for (int i = 0; i < kPoints; ++i) {
        in[2 * i] = map[3 * i];
        in[2 * i + 1] = map[3 * i + 1];
      }
    }
    std::vector<double> out(in.size());
    ErrorReport* err = nullptr;
    smod_RSMXformTransform(xform, kPoints, in.data(), out.data(), &err);
    EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
    herr_DeleteErrorReportEx(&err);
    results.insert(results.end(), out.begin(), out.end());

    const std::vector<double> map = mapPoints();
    std::vector<double> image(2 * kPoints);
    smod_RSMXformTransform3DTo2D(xform, kPoints, map.data(), image.data(), &err);
    EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
    herr_DeleteErrorReportEx(&err);
    results.insert(results.end(), image.begin(), image.end());

    const std::vector<double> pixels = imagePoints();
    std::vector<double> xs(kPoints), ys(kPoints), rays(6 * kPoints);
    for (int i = 0; i < kPoints; ++i) {
      xs[i] = pixels[2 * i];
      ys[i] = pixels[2 * i + 1];
    }
    smod_RSMXformImageToGroundRay(xform, kPoints, xs.data(), ys.data(), rays.data(), &err);
    EXPECT_EQ(err, nullptr) << herr_ErrorReportMessage(err);
    herr_DeleteErrorReportEx(&err);
    results.insert(results.end(), rays.begin(), rays.end());
    smod_RSMXformDelete(xform);
  }
  return results;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

TEST(Threads, DistinctTransformObjectsRunTogether) {
  senmod_test::Dem dem(xform_test::geographicPlaneDem(4000.0, -2500.0));
  RSM_Model* prototype = model_builder::makeCameraModel(camera());
  xform_test::setGeographicOutput(prototype);
  const std::string path = dem.path();
  // Half the threads read heights from the DEM, half take the constant height.
  const std::vector<double> alone[2] = {work(prototype, path.c_str()), work(prototype, nullptr)};
  std::vector<std::vector<double>> together(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back(
        [&, t] { together[t] = work(prototype, t % 2 == 0 ? path.c_str() : nullptr); });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t)
    EXPECT_TRUE(sameBits(together[t], alone[t % 2])) << "thread " << t;
  smod_RSMDelete(prototype);
}

TEST(Threads, OneModelThatNoThreadWritesTransformsOnEveryThread) {
  RSM_Model* model = model_builder::makeCameraModel(camera());
  const std::vector<double> map = mapPoints();
  auto transformAll = [&] {
    std::vector<double> out;
    for (int i = 0; i < kPoints; ++i) {
      double x, y;
      ErrorReport* err = nullptr;
      smod_RSMTransform(model, map[3 * i], map[3 * i + 1], map[3 * i + 2], &x, &y, &err);
      EXPECT_EQ(err, nullptr);
      herr_DeleteErrorReportEx(&err);
      out.insert(out.end(), {x, y});
    }
    return out;
  };
  const std::vector<double> alone = transformAll();
  std::vector<std::vector<double>> together(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { together[t] = transformAll(); });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(sameBits(together[t], alone)) << "thread " << t;
  smod_RSMDelete(model);
}

}  // namespace
