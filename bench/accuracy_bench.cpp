// The cost of accuracy: image covariance of ground points and CE90/LE90 of image points, per
// point, beside the plain transforms of the same points, on the bundled sample model given
// eight adjustable parameters (ground offsets and rotations, two image terms) and a covariance.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "local_frame.h"
#include "parameter_values.h"
#include "point_engine.h"
#include "propagation.h"

namespace {

using namespace senmod_io;

constexpr size_t kPoints = 100000;
constexpr int kRuns = 5;

AdjustableParameters parameters(double lon, double lat) {
  AdjustableParameters p;
  p.source = "bench";
  const LocalFrame frame = eastNorthUpFrame(lon, lat, 0.0);
  p.origin = frame.origin;
  p.axes = frame.axes;
  for (int g = 0; g < 6; ++g) p.addGroundTerm(static_cast<GroundTerm>(g));
  p.addImageTerm(AdjustmentTerm::Kind::Row, {0, 0, 0});
  p.addImageTerm(AdjustmentTerm::Kind::Sample, {1, 0, 0});
  const double sd[8] = {4, 3, 6, 2e-5, 3e-5, 5e-5, 0.3, 2e-4};
  p.covariance.assign(64, 0.0);
  for (int k = 0; k < 8; ++k) p.covariance[9 * k] = sd[k] * sd[k];
  p.unmodelled = std::array<double, 3>{0.04, 0.01, 0.09};
  return p;
}

template <typename Body>
double nsPerPoint(Body body) {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count() / kPoints);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string model = argc > 1 ? argv[1] : "data/sample/sample_rsm.ntf";
  LoadedModel loaded = loadModel(model);
  loaded.parameters = parameters(7.45, 46.95);
  PointEngine engine(std::move(loaded));
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> s(50, 1450), r(50, 950), h(300, 900);
  std::vector<double> sample(kPoints), row(kPoints), height(kPoints), lon(kPoints),
      lat(kPoints), used(kPoints), cov(9 * kPoints), ce90(kPoints), le90(kPoints),
      outS(kPoints), outR(kPoints);
  std::vector<int> status(kPoints);
  for (size_t i = 0; i < kPoints; ++i) {
    sample[i] = s(random);
    row[i] = r(random);
    height[i] = h(random);
  }
  engine.imageToGround(kPoints, sample.data(), row.data(), height.data(), lon.data(), lat.data(),
                       used.data(), nullptr, status.data());
  const double toImage = nsPerPoint([&] {
    engine.groundToImage(kPoints, lon.data(), lat.data(), height.data(), outS.data(),
                         outR.data(), nullptr, status.data());
  });
  const double toGround = nsPerPoint([&] {
    engine.imageToGround(kPoints, sample.data(), row.data(), height.data(), lon.data(),
                         lat.data(), used.data(), nullptr, status.data());
  });
  const double imageCov = nsPerPoint([&] {
    imageCovariance(engine, kPoints, lon.data(), lat.data(), height.data(), cov.data(),
                    status.data());
  });
  const double groundCov = nsPerPoint([&] {
    groundCovariance(engine, kPoints, sample.data(), row.data(), height.data(), {5.0, 0.3},
                     lon.data(), lat.data(), used.data(), cov.data(), ce90.data(), le90.data(),
                     status.data());
  });
  std::printf("%zu random points of %s with 8 adjustable parameters, best of %d runs, one core\n",
              kPoints, model.c_str(), kRuns);
  std::printf("%-44s %8.1f ns/point\n", "ground to image", toImage);
  std::printf("%-44s %8.1f ns/point  %5.1f x ground to image\n", "image covariance", imageCov,
              imageCov / toImage);
  std::printf("%-44s %8.1f ns/point\n", "image to ground", toGround);
  std::printf("%-44s %8.1f ns/point  %5.1f x image to ground\n",
              "ground covariance with CE90 and LE90", groundCov, groundCov / toGround);
  return 0;
}
