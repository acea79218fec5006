// A batch gives every point exactly what the point gives alone, on every vector target the
// processor runs: same bits (any NaN counts as any NaN), same failing points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hwy/targets.h"
#include "poly/plan_kernels.h"
#include "senmod/senmod.h"
#include "support/dem_builder.h"
#include "support/model_builder.h"
#include "xform/xform_fixture.h"

namespace {

using model_builder::FlatGroundCamera;

// Points per case: fewer under AddressSanitizer, which is slow enough that the comparisons of
// the plain build would take minutes.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kPointScale = 1;
#else
constexpr int kPointScale = 4;
#endif
using model_builder::Poly;
using model_builder::SectionPolynomials;

// What a point gave: its two outputs, or a failure.
struct Outcome {
  bool ok;
  double x;
  double y;
};

bool sameBits(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  uint64_t ua, ub;
  std::memcpy(&ua, &a, sizeof a);
  std::memcpy(&ub, &b, sizeof b);
  return ua == ub;
}

// Written into every output before a batch, to see which outputs it wrote.
double unwritten() {
  const uint64_t bits = 0x7ff4deadbeef0001ULL;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool isUnwritten(double v) {
  const double marker = unwritten();
  return std::memcmp(&v, &marker, sizeof v) == 0;
}

// A batch call on n points of `width` reals each from in, two reals out each.
using Batch = std::function<bool(int32_t n, const double* in, double* out)>;

// The 3-D batch call of xform, true when it reports no failure.
Batch batch3D(RSM_Xform* xform) {
  return [xform](int32_t n, const double* in, double* out) {
    ErrorReport* err = nullptr;
    smod_RSMXformTransform3DTo2D(xform, n, in, out, &err);
    const bool ok = err == nullptr;
    herr_DeleteErrorReportEx(&err);
    return ok;
  };
}

// Every point's outcome from the batch, calling it again after each failing point.
std::vector<Outcome> batchOutcomes(const Batch& batch, const std::vector<double>& points,
                                   int width) {
  const int32_t n = static_cast<int32_t>(points.size() / width);
  std::vector<Outcome> outcomes;
  int32_t start = 0;
  while (start < n) {
    std::vector<double> out(2 * (n - start), unwritten());
    const bool ok = batch(n - start, points.data() + width * start, out.data());
    int32_t written = 0;
    while (written < n - start && !isUnwritten(out[2 * written])) {
      outcomes.push_back({true, out[2 * written], out[2 * written + 1]});
      ++written;
    }
    if (ok) {
      EXPECT_EQ(written, n - start) << "a successful batch left outputs unwritten";
      break;
    }
    for (int32_t j = written; j < n - start; ++j)
      EXPECT_TRUE(isUnwritten(out[2 * j])) << "a failed batch wrote past its failing point";
    outcomes.push_back({false, 0.0, 0.0});
    start += written + 1;
  }
  return outcomes;
}

// Each point alone through the same call.
std::vector<Outcome> pointOutcomes(const Batch& batch, const std::vector<double>& points,
                                   int width) {
  std::vector<Outcome> outcomes;
  for (size_t p = 0; p < points.size(); p += width) {
    double out[2];
    const bool ok = batch(1, points.data() + p, out);
    outcomes.push_back({ok, out[0], out[1]});
  }
  return outcomes;
}

void compare(const std::vector<Outcome>& batch, const std::vector<Outcome>& alone,
             const std::string& what) {
  ASSERT_EQ(batch.size(), alone.size()) << what;
  int differing = 0;
  for (size_t j = 0; j < batch.size(); ++j) {
    const bool same =
        batch[j].ok == alone[j].ok &&
        (!batch[j].ok || (sameBits(batch[j].x, alone[j].x) && sameBits(batch[j].y, alone[j].y)));
    if (!same && ++differing <= 3)
      ADD_FAILURE() << what << ": point " << j << " batch " << batch[j].ok << " " << batch[j].x
                    << " " << batch[j].y << ", alone " << alone[j].ok << " " << alone[j].x << " "
                    << alone[j].y;
  }
  EXPECT_EQ(differing, 0) << what;
}

// The outcomes of each case on the first target, to hold every other target to.
std::map<std::string, std::vector<Outcome>>& firstTargetOutcomes() {
  static std::map<std::string, std::vector<Outcome>> outcomes;
  return outcomes;
}

// The batch against the points alone, and both against the first target's batch of the case.
void expectSame(const std::vector<Outcome>& batch, const std::vector<Outcome>& alone,
                const std::string& target, const std::string& what) {
  compare(batch, alone, target + ", " + what);
  auto first = firstTargetOutcomes().emplace(what, batch);
  if (!first.second)
    compare(batch, first.first->second, target + " against the first target, " + what);
}

// The 3-D batch of a transform object against smod_RSMTransform point by point (the model's
// affines are the identity).
void expectBatchIsPerPoint3D(RSM_Model* model, const std::vector<double>& points,
                             const std::string& target, const std::string& what) {
  RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
  ASSERT_NE(xform, nullptr);
  const Batch batch = batch3D(xform);
  const Batch alone = [&](int32_t, const double* in, double* out) {
    ErrorReport* err = nullptr;
    smod_RSMTransform(xform->model, in[0], in[1], in[2], &out[0], &out[1], &err);
    const bool ok = err == nullptr;
    herr_DeleteErrorReportEx(&err);
    return ok;
  };
  const std::vector<Outcome> outcomes = batchOutcomes(batch, points, 3);
  expectSame(outcomes, pointOutcomes(alone, points, 3), target, what);
  int failures = 0;
  for (const Outcome& o : outcomes) failures += !o.ok;
  EXPECT_LT(failures, static_cast<int>(outcomes.size()) / 2) << what << ": most points fail";
  smod_RSMXformDelete(xform);
}

// Map points over a camera's footprint (in the model's map coordinates) or image points over its
// image, with heights over the camera's range.
std::vector<double> cameraPoints(const FlatGroundCamera& camera, const RSM_Model* model,
                                 bool groundToImage, int count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> points;
  const double halfEast = 0.5 * camera.samples * camera.pixelSize;
  const double halfNorth = 0.5 * camera.rows * camera.pixelSize;
  for (int p = 0; p < count; ++p) {
    const double h = camera.minHeight + unit(random) * (camera.maxHeight - camera.minHeight);
    if (groundToImage) {
      double gx, gy, gz, x, y, z;
      model_builder::localToGround(camera, (2 * unit(random) - 1) * halfEast,
                                   (2 * unit(random) - 1) * halfNorth, h, &gx, &gy, &gz);
      model_builder::groundToMap(model, gx, gy, gz, &x, &y, &z);
      points.insert(points.end(), {x, y, z});
    } else {
      points.insert(points.end(), {unit(random) * camera.samples, unit(random) * camera.rows, h});
    }
  }
  return points;
}

// Random sparse polynomial of powers in -1..5 with a lead term, for normalised coordinates.
Poly randomPoly(std::mt19937_64& random, double constant, int leadTerm, double lead) {
  std::uniform_int_distribution<int> power(-1, 5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Poly p;
  p.px = power(random);
  p.py = power(random);
  p.pz = power(random);
  if (p.px < 0 || p.py < 0 || p.pz < 0) return p;
  const int terms = (p.px + 1) * (p.py + 1) * (p.pz + 1);
  p.coef.assign(terms, 0.0);
  for (int n = 0; n < terms; ++n)
    if (unit(random) > 0.4) p.coef[n] = 0.02 * unit(random) / (1 + n % 5);
  p.coef[0] = constant;
  if (leadTerm < terms) p.coef[leadTerm] = lead;
  return p;
}

SectionPolynomials randomSection(std::mt19937_64& random, bool normalised, bool shared) {
  SectionPolynomials s;
  // Lead terms x (term 1) and y (term px + 1), where the powers have them.
  s.sampleNumerator = randomPoly(random, 0.1, 1, 0.9);
  s.rowNumerator = randomPoly(random, -0.1, 0, 0.0);
  if (s.rowNumerator.px >= 0 && s.rowNumerator.py >= 1 && s.rowNumerator.pz >= 0)
    s.rowNumerator.coef[s.rowNumerator.px + 1] = -0.8;
  s.sampleDenominator = randomPoly(random, 1.0, 0, 1.0);
  s.rowDenominator = randomPoly(random, 1.0, 0, 1.0);
  s.sameDenominators = shared;
  s.useNormalization = normalised;
  if (normalised) {
    s.scales = {{0.001, 0.001, 500.0, 500.0, 400.0}};
    s.offsets = {{0.17, 0.78, 100.0, 500.0, 400.0}};
  }
  return s;
}

// Points around where the random sections are fitted, in ground-domain (or map) units.
std::vector<double> sectionPoints(bool normalised, bool groundToImage, int count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<double> points;
  for (int p = 0; p < count; ++p) {
    double a = unit(random), b = unit(random), c = unit(random);
    if (normalised && groundToImage) {
      a = (0.17 + 0.001 * a) * 57.29577951308232;
      b = (0.78 + 0.001 * b) * 57.29577951308232;
      c = 100.0 + 500.0 * c;
    } else if (normalised) {
      a = 500.0 + 500.0 * a;
      b = 400.0 + 400.0 * b;
      c = 100.0 + 500.0 * c;
    } else if (groundToImage) {
      // Degrees of map longitude and latitude whose ground-domain radians lie in -1..1.
      a *= 57.29577951308232;
      b *= 57.29577951308232;
    }
    points.insert(points.end(), {a, b, c});
  }
  return points;
}

// Runs body once per vector target of this processor (the widest first), with the kernels
// dispatched to it; fails unless at least two targets ran.
void onEveryTarget(const std::function<void(const std::string&)>& body) {
  hwy::SetSupportedTargetsForTest(0);
  const int64_t supported = hwy::SupportedTargets();
  std::set<std::string> ran;
  for (int shift = 0; shift < 63; ++shift) {
    const int64_t bit = int64_t{1} << shift;
    if (!(supported & bit)) continue;
    hwy::SetSupportedTargetsForTest(bit);
    const std::string target = senmod::kernelTarget();
    if (target != hwy::TargetName(bit)) continue;  // a target the library was not built for
    ran.insert(target);
    body(target);
  }
  hwy::SetSupportedTargetsForTest(0);
  std::string names;
  for (const std::string& name : ran) names += " " + name;
  std::printf("compared on:%s\n", names.c_str());
  EXPECT_GE(ran.size(), 2u) << "fewer than two vector targets were compared";
}

TEST(BatchEquality, CameraModelsEveryDomainGridAndSectionChoice) {
  struct Case {
    const char* name;
    FlatGroundCamera camera;
  };
  std::vector<Case> cases;
  FlatGroundCamera c;
  cases.push_back({"geodetic cubic section", c});
  c.kind = FlatGroundCamera::Kind::Pushbroom;
  c.rowSections = 3;
  c.colSections = 2;
  c.lowOrderPoly = true;
  cases.push_back({"3 x 2 grid, low-order section choice", c});
  c.lowOrderPoly = false;
  cases.push_back({"3 x 2 grid, first-section choice", c});
  // Enough sections that a batch's points are sorted by counting.
  c.rowSections = 5;
  c.colSections = 6;
  c.lowOrderPoly = true;
  cases.push_back({"5 x 6 grid, low-order section choice", c});
  FlatGroundCamera r;
  r.domain = FlatGroundCamera::Domain::Rectangular;
  cases.push_back({"rectangular with projection parameters", r});
  r.withProjection = false;
  cases.push_back({"rectangular Earth-centred", r});
  FlatGroundCamera q;
  q.powerX = 2;
  q.powerY = 1;
  q.powerZ = 0;
  cases.push_back({"powers 2, 1, 0", q});

  onEveryTarget([&](const std::string& target) {
    for (const Case& k : cases) {
      for (bool groundToImage : {true, false}) {
        RSM_Model* model = model_builder::makeCameraModel(k.camera);
        model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
        const std::vector<double> points =
            cameraPoints(k.camera, model, groundToImage, 375 * kPointScale, 7);
        expectBatchIsPerPoint3D(
            model, points, target,
            std::string(k.name) + (groundToImage ? ", to image" : ", to ground"));
      }
    }
  });
}

TEST(BatchEquality, RandomSectionsOfEveryPowerPatternWithFailingPoints) {
  onEveryTarget([&](const std::string& target) {
    std::mt19937_64 random(11);
    for (int m = 0; m < 24; ++m) {
      const bool normalised = m % 2 == 0;
      const bool shared = m % 3 == 0;
      std::vector<SectionPolynomials> sections;
      const bool grid = m % 4 == 1;
      for (int s = 0; s < (grid ? 4 : 1); ++s)
        sections.push_back(randomSection(random, normalised, shared));
      for (bool groundToImage : {true, false}) {
        RSM_Model* model = grid ? model_builder::makeModel(sections, 2, 2, 400.0, 500.0)
                                : model_builder::makeModel(sections);
        // One section of a grid is unusable: its points fail.
        if (grid) model->rsm.RationalPolyList.data[3].validSolution = SMOD_FALSE;
        model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
        // Hybrid ground domain for a quarter of the models.
        if (m % 4 == 2) {
          model->rsm.grndd.count = 1;
          model->rsm.grndd.data = static_cast<double*>(hmsc_HeapMalloc(sizeof(double)));
          model->rsm.grndd.data[0] = 0.0;
        }
        const std::vector<double> points =
            sectionPoints(normalised, groundToImage, 175 * kPointScale, m);
        const std::string what =
            "random model " + std::to_string(m) + (groundToImage ? ", to image" : ", to ground");
        RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
        const Batch batch = batch3D(xform);
        expectSame(batchOutcomes(batch, points, 3), pointOutcomes(batch, points, 3), target, what);
        smod_RSMXformDelete(xform);
      }
    }
  });
}

TEST(BatchEquality, PointsFailingAtAZeroDenominatorFailAlone) {
  RSM_Model* model = xform_test::makeFailingAtZeroLongitudeModel();
  std::vector<double> points;
  for (int p = 0; p < 600; ++p) points.insert(points.end(), {p % 7 == 3 ? 0.0 : 1.0 + p, 2.0, 0.0});
  expectBatchIsPerPoint3D(model, points, senmod::kernelTarget(), "zero longitude");
}

// 2-D batches with heights from a DEM (and without) against the same call point by point.
TEST(BatchEquality, HeightsFromTheDemInBothDirections) {
  senmod_test::Dem dem(xform_test::geographicPlaneDem(4000.0, -2500.0));
  FlatGroundCamera camera;
  camera.longitude0 = xform_test::kLon0;
  camera.latitude0 = xform_test::kLat0;
  onEveryTarget([&](const std::string& target) {
    for (bool withDem : {true, false}) {
      for (bool groundToImage : {true, false}) {
        RSM_Model* model = model_builder::makeCameraModel(camera);
        xform_test::setGeographicOutput(model);
        if (withDem) xform_test::useDemFile(model, dem.path());
        model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
        RSM_Xform* xform = smod_RSMXformGetFromRSMData(model, nullptr);
        const std::vector<double> xyz =
            cameraPoints(camera, model, groundToImage, 300 * kPointScale, 5);
        std::vector<double> points;
        for (size_t p = 0; p < xyz.size(); p += 3)
          points.insert(points.end(), {xyz[p], xyz[p + 1]});
        const Batch batch = [&](int32_t n, const double* in, double* out) {
          std::vector<double> copy(in, in + 2 * n);
          ErrorReport* err = nullptr;
          smod_RSMXformTransform(xform, n, copy.data(), out, &err);
          const bool ok = err == nullptr;
          herr_DeleteErrorReportEx(&err);
          return ok;
        };
        expectSame(batchOutcomes(batch, points, 2), pointOutcomes(batch, points, 2), target,
                   std::string(withDem ? "DEM" : "constant height") +
                       (groundToImage ? ", to image" : ", to ground"));
        // Written over its input, chunk after chunk, the batch gives the same.
        std::vector<double> inPlace = points, apart(points.size());
        ErrorReport* err = nullptr;
        smod_RSMXformTransform(xform, static_cast<int32_t>(points.size() / 2), inPlace.data(),
                               nullptr, &err);
        EXPECT_EQ(err, nullptr);
        herr_DeleteErrorReportEx(&err);
        batch(static_cast<int32_t>(points.size() / 2), points.data(), apart.data());
        EXPECT_EQ(std::memcmp(inPlace.data(), apart.data(), sizeof(double) * apart.size()), 0);
        smod_RSMXformDelete(xform);
      }
    }
  });
}

}  // namespace
