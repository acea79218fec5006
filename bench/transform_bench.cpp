// Cost of one point through a model (the Time column is nanoseconds per point): ground to image and
// image to ground, with one cubic section (powers 3, 3, 3 in all four polynomials) and with a 3 x 2
// grid of such sections.
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "senmod/senmod.h"

namespace {

constexpr double kRho = 57.29577951308232;
constexpr int kTerms = 64;
constexpr double kSamples = 6000.0;
constexpr double kRows = 4500.0;
// Ground footprint around (10 E, 45 N) in radians: about 6 x 4.5 km.
constexpr double kLon0 = 10.0 / kRho;
constexpr double kLat0 = 45.0 / kRho;
constexpr double kHalfLon = 4.2e-4;
constexpr double kHalfLat = 3.5e-4;
constexpr double kHalfHeight = 500.0;

Smod_Doubles heapCopy(const std::vector<double>& values) {
  Smod_Doubles array{static_cast<int32_t>(values.size()),
                     static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * values.size()))};
  if (!array.data) throw std::bad_alloc();
  std::memcpy(array.data, values.data(), sizeof(double) * values.size());
  return array;
}

// Coefficients of a mildly non-linear cubic: lead is the coefficient of x (sample) or y (row),
// every other term small, so that the inversion meets its tolerance like a real sensor model.
std::vector<double> cubic(double constant, int leadTerm, double lead) {
  std::vector<double> c(kTerms);
  for (int n = 0; n < kTerms; ++n) c[n] = 1e-3 * ((n * 37) % 11 - 5) / (1 + n % 7);
  c[0] = constant;
  c[leadTerm] = lead;
  return c;
}

// The section covering image columns [s0, s0 + width) and rows [r0, r0 + height).
void fillSection(RSMFunctions* s, double s0, double width, double r0, double height) {
  const double scales[5] = {kHalfLon, kHalfLat, kHalfHeight, width / 2, height / 2};
  const double offsets[5] = {kLon0, kLat0, 0.0, s0 + width / 2, r0 + height / 2};
  for (int m = 0; m < 5; ++m) {
    s->Scales[m] = scales[m];
    s->Offsets[m] = offsets[m];
  }
  s->useNormalization = SMOD_TRUE;
  int32_t* powers = &s->sampleNumeratorPowerX;
  for (int p = 0; p < 12; ++p) powers[p] = 3;
  // The section's image extent relative to the whole image in normalised units.
  const double sampleShift = (kSamples / 2 - offsets[3]) / scales[3];
  const double sampleGain = (kSamples / 2) / scales[3];
  const double rowShift = (kRows / 2 - offsets[4]) / scales[4];
  const double rowGain = (kRows / 2) / scales[4];
  s->sampleNumerator = heapCopy(cubic(sampleShift, 1, sampleGain));
  s->sampleDenominator = heapCopy(cubic(1.0, 16, 0.01));
  s->rowNumerator = heapCopy(cubic(rowShift, 4, -rowGain));
  s->rowDenominator = heapCopy(cubic(1.0, 1, 0.01));
  s->validSolution = SMOD_TRUE;
}

RSM_Model* makeModel(int rows, int cols) {
  ErrorReport* err = nullptr;
  RSM_Model* model = smod_RSMCreate(&err);
  RSMFunctions* sections = smod_RationalPolynomialsCreate(rows * cols, &err);
  if (!model || !sections) throw std::bad_alloc();
  const double height = kRows / rows;
  const double width = kSamples / cols;
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j)
      fillSection(&sections[j + i * cols], j * width, width, i * height, height);
  RSM_Model_Orig& rsm = model->rsm;
  rsm.RationalPolyList = Smod_Sections{rows * cols, sections};
  rsm.rowSections = rows;
  rsm.colSections = cols;
  rsm.rowsPerSection = height;
  rsm.colsPerSection = width;
  rsm.imageDomain = heapCopy({0.0, kSamples, 0.0, kRows});
  std::vector<double> corners;
  for (double z : {-kHalfHeight, kHalfHeight})
    for (double dx : {-1.0, 1.0})
      for (double dy : {-1.0, 1.0})
        corners.insert(corners.end(), {kLon0 + dx * kHalfLon, kLat0 + dy * kHalfLat, z});
  rsm.groundDomain = heapCopy(corners);
  smod_image2groundCalc(model, &err);
  if (err) throw std::runtime_error("smod_image2groundCalc failed");
  return model;
}

// Map points (degrees) and heights spread over the footprint.
std::vector<double> mapPoints() {
  std::vector<double> points;
  for (int a = 0; a < 16; ++a)
    for (int b = 0; b < 16; ++b)
      points.insert(points.end(),
                    {(kLon0 + (a / 7.5 - 1) * 0.9 * kHalfLon) * kRho,
                     (kLat0 + (b / 7.5 - 1) * 0.9 * kHalfLat) * kRho, ((a + b) % 5 - 2) * 100.0});
  return points;
}

void run(benchmark::State& state, int rows, int cols, bool groundToImage) {
  RSM_Model* model = makeModel(rows, cols);
  std::vector<double> points = mapPoints();
  if (!groundToImage) {
    // The image positions of the map points, to carry back to the ground.
    for (size_t p = 0; p < points.size(); p += 3) {
      ErrorReport* err = nullptr;
      smod_RSMTransform(model, points[p], points[p + 1], points[p + 2], &points[p], &points[p + 1],
                        &err);
      if (err) throw std::runtime_error("ground to image failed");
    }
    model->rsm.groundToImageTransform = SMOD_FALSE;
  }
  ErrorReport* err = nullptr;
  size_t p = 0;
  for (auto _ : state) {
    double x, y;
    smod_RSMTransform(model, points[p], points[p + 1], points[p + 2], &x, &y, &err);
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    p = p + 3 == points.size() ? 0 : p + 3;
  }
  if (err) state.SkipWithError("transform failed");
  // One point per iteration: the time per iteration is the time per point.
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  smod_RSMDelete(model);
}

void BM_GroundToImage_CubicSection(benchmark::State& state) { run(state, 1, 1, true); }
void BM_ImageToGround_CubicSection(benchmark::State& state) { run(state, 1, 1, false); }
void BM_GroundToImage_Grid3x2(benchmark::State& state) { run(state, 3, 2, true); }
void BM_ImageToGround_Grid3x2(benchmark::State& state) { run(state, 3, 2, false); }

BENCHMARK(BM_GroundToImage_CubicSection);
BENCHMARK(BM_ImageToGround_CubicSection);
BENCHMARK(BM_GroundToImage_Grid3x2);
BENCHMARK(BM_ImageToGround_Grid3x2);

}  // namespace

BENCHMARK_MAIN();
