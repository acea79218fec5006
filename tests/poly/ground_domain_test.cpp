// Conversion between map coordinates and the three kinds of ground domain.
#include "poly/ground_domain.h"

#include <cmath>

#include "support/heap_check.h"
#include "support/model_builder.h"

using model_builder::heapDoubles;

namespace {

constexpr double kPi = 3.14159265358979323846;

class GroundDomain : public HeapCheckedTest {
 protected:
  void SetUp() override {
    HeapCheckedTest::SetUp();
    ErrorReport* err = nullptr;
    model_ = smod_RSMCreate(&err);
  }
  void TearDown() override {
    smod_RSMDelete(model_);
    HeapCheckedTest::TearDown();
  }
  void setGrndd(const std::vector<double>& values) {
    hmsc_HeapFree(model_->rsm.grndd.data);
    model_->rsm.grndd = heapDoubles(values);
  }
  void setWgs84() {
    ErrorReport* err = nullptr;
    model_->rsm.obsoletePlaceHolder0 = hprj_ProParametersCreate(&err);
    ASSERT_NE(model_->rsm.obsoletePlaceHolder0, nullptr);
    ASSERT_EQ(hprj_SpheroidByName(hint_GetInit(), "WGS 84",
                                  model_->rsm.obsoletePlaceHolder0->proSpheroid, &err),
              0);
  }
  // Converts and returns the point; fails the test on a report.
  std::array<double, 3> convert(int direction, double x, double y, double z) {
    std::array<double, 3> out{};
    ErrorReport* err = nullptr;
    smod_RSMConvertGRNDD(model_, direction, x, y, z, &out[0], &out[1], &out[2], &err);
    EXPECT_EQ(err, nullptr) << messageOf(err);
    herr_DeleteErrorReportEx(&err);
    return out;
  }
  RSM_Model* model_ = nullptr;
};

TEST_F(GroundDomain, GeodeticIsDegreesToRadians) {
  for (std::vector<double> grndd : {std::vector<double>{}, {1, 2}, std::vector<double>(11, 0.0)}) {
    setGrndd(grndd);
    const auto g = convert(1, -90.0, 45.0, 100.0);
    EXPECT_DOUBLE_EQ(g[0], -kPi / 2);
    EXPECT_DOUBLE_EQ(g[1], kPi / 4);
    EXPECT_EQ(g[2], 100.0);
    const auto m = convert(0, g[0], g[1], g[2]);
    EXPECT_DOUBLE_EQ(m[0], -90.0);
    EXPECT_DOUBLE_EQ(m[1], 45.0);
    EXPECT_EQ(m[2], 100.0);
  }
}

TEST_F(GroundDomain, HybridCountsLongitudeFromZeroToTwoPiFoldingOnce) {
  setGrndd({0.0});
  EXPECT_DOUBLE_EQ(convert(1, -90.0, 0.0, 0.0)[0], 3 * kPi / 2);
  EXPECT_DOUBLE_EQ(convert(1, -450.0, 0.0, 0.0)[0], -kPi / 2);
  EXPECT_DOUBLE_EQ(convert(1, 90.0, 0.0, 0.0)[0], kPi / 2);
  EXPECT_DOUBLE_EQ(convert(0, 3 * kPi / 2, 0.0, 0.0)[0], -90.0);
  EXPECT_DOUBLE_EQ(convert(0, kPi, 0.0, 0.0)[0], 180.0);
}

TEST_F(GroundDomain, RectangularWithoutParametersShiftsAndRotates) {
  setGrndd({10, 20, 30, 1, 0, 0, 0, 1, 0, 0, 0, 1, 99});
  auto g = convert(1, 11, 22, 33);
  EXPECT_EQ(g, (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(convert(0, 1, 2, 3), (std::array<double, 3>{11, 22, 33}));
  // The transpose of M takes Earth-centred offsets to the frame, M itself takes them back.
  setGrndd({0, 0, 0, 0, 1, 0, -1, 0, 0, 0, 0, 1});
  EXPECT_EQ(convert(1, 1, 0, 0), (std::array<double, 3>{0, 1, 0}));
  EXPECT_EQ(convert(0, 0, 1, 0), (std::array<double, 3>{1, 0, 0}));
}

TEST_F(GroundDomain, RectangularWithParametersGoesThroughTheSpheroid) {
  // Frame at the Earth-centred origin with axes unchanged: the ground domain is Earth-centred.
  setGrndd({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  setWgs84();
  const auto g = convert(1, 90.0, 0.0, 10.0);
  EXPECT_NEAR(g[0], 0.0, 1e-6);
  EXPECT_NEAR(g[1], 6378137.0 + 10.0, 1e-6);
  EXPECT_NEAR(g[2], 0.0, 1e-6);
  const auto m = convert(0, g[0], g[1], g[2]);
  EXPECT_NEAR(m[0], 90.0, 1e-12);
  EXPECT_NEAR(m[1], 0.0, 1e-12);
  EXPECT_NEAR(m[2], 10.0, 1e-6);
}

TEST_F(GroundDomain, OutputsMayAliasTheInputs) {
  setGrndd({10, 20, 30, 0, 1, 0, -1, 0, 0, 0, 0, 1});
  double x = 11, y = 20, z = 31;
  smod_RSMConvertGRNDD(model_, 1, x, y, z, &x, &y, &z, nullptr);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 1.0);
  EXPECT_EQ(z, 1.0);
}

TEST_F(GroundDomain, BadOrMissingSpheroidIsReportedAndTouchesNothing) {
  setGrndd({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  ErrorReport* err = nullptr;
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(&err);  // zeroed spheroid
  model_->rsm.obsoletePlaceHolder0 = parameters;
  for (int round = 0; round < 2; ++round) {
    if (round == 1) {  // parameters whose host left the spheroid out
      hmsc_HeapFree(parameters->proSpheroid);
      parameters->proSpheroid = nullptr;
    }
    for (int direction : {1, 0}) {
      double out[3] = {7, 8, 9};
      smod_RSMConvertGRNDD(model_, direction, 1e6, 2e6, 3e6, &out[0], &out[1], &out[2], &err);
      EXPECT_EQ(messageOf(err), direction ? "hmod_GeographicToGeocentric failed"
                                          : "hmod_GeocentricToGeographic failed");
      EXPECT_EQ(out[0], 7.0);
      EXPECT_EQ(out[2], 9.0);
      herr_DeleteErrorReportEx(&err);
    }
  }
}

}  // namespace
