// Image to ground through the C face: each result is carried back through the section that
// inverted it, so that points along the sections' seams pass and only a point whose iteration
// stopped short of it fails.
#include <cmath>
#include <vector>

#include "engine_test_support.h"
#include "support/model_builder.h"
#include "model_loader.h"
#include "senmod/senmod_io.h"

namespace {

struct ModelHandle {
  smod_Model* model = nullptr;
  ~ModelHandle() { smod_ModelClose(model); }
};

smod_Model* open(const std::string& path) {
  ErrorReport* report = nullptr;
  smod_Model* model = smod_ModelOpen(path.c_str(), &report);
  EXPECT_NE(model, nullptr) << path;
  herr_DeleteErrorReportEx(&report);
  return model;
}

// The sample's 2 x 2 sections meet within a thousandth of a pixel: every point of the image
// every 50 pixels, seams and edges included, comes back to itself through its own section.
TEST(ImageToGroundResidual, SampleGridPointsAllPass) {
  ModelHandle h{open(enginetest::sampleRsm())};
  ASSERT_NE(h.model, nullptr);
  std::vector<double> sample, row;
  for (int r = 0; r <= 1000; r += 50) {
    for (int s = 0; s <= 1500; s += 50) {
      sample.push_back(s);
      row.push_back(r);
    }
  }
  const size_t n = sample.size();
  ASSERT_EQ(n, 651u);
  const std::vector<double> height(n, 400.0);
  std::vector<double> lon(n), lat(n), used(n);
  std::vector<int> status(n, -1);
  ErrorReport* report = nullptr;
  EXPECT_EQ(smod_ModelImageToGround(h.model, n, sample.data(), row.data(), height.data(),
                                    lon.data(), lat.data(), used.data(), status.data(), &report),
            651);
  EXPECT_EQ(report, nullptr);
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(status[i], SMOD_POINT_OK) << "sample " << sample[i] << ", row " << row[i];
  }
}

class NonConverging : public enginetest::ScratchTest {};

// A section with a strong cubic term in x: its Newton passes, started from the fit of the
// section without it, stop far from the point.
TEST_F(NonConverging, ResultIsRefusedWithItsResidual) {
  model_builder::FlatGroundCamera camera;
  camera.colSections = 2;
  senmod_io::LoadedModel model;
  model.xform.reset(
      smod_RSMXformGetFromRSMData(model_builder::makeCameraModel(camera), nullptr));
  ASSERT_NE(model.xform, nullptr);
  RSMFunctions& section = model.xform->model->rsm.RationalPolyList.data[0];
  // The coefficient of x^3 (normalised) of the left section's sample numerator.
  section.sampleNumerator.data[3] += 1000.0;
  senmod_io::saveModel(model, path("cubic.smod"));

  ModelHandle h{open(path("cubic.smod"))};
  ASSERT_NE(h.model, nullptr);
  const double sample = 500.0, row = 500.0, height = 0.0;
  double lon = 0.0, lat = 0.0, residual = 0.0;
  int status = -1;
  ErrorReport* report = nullptr;
  EXPECT_EQ(smod_ModelImageToGroundResidual(h.model, 1, &sample, &row, &height, &lon, &lat,
                                            nullptr, &residual, &status, &report),
            0);
  EXPECT_EQ(report, nullptr);
  EXPECT_EQ(status, SMOD_POINT_NOT_CONVERGED);
  EXPECT_GT(residual, 1.0);
  EXPECT_TRUE(std::isnan(lon) && std::isnan(lat));
}

}  // namespace
