// senmod example: builds a small model of a frame camera looking straight down from 5 km, cut
// into a 2 x 2 grid of sections, fits the starting polynomials of the inversion, and carries a
// few points from the ground to the image and back.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "senmod/senmod.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthRadius = 6378137.0;  // meters
constexpr double kAltitude = 5000.0;        // meters above height 0
constexpr double kFocal = 2500.0;           // pixels: 2 m ground pixels at nadir
constexpr double kImageSize = 2000.0;       // samples and rows
constexpr double kLon0 = 10.0 * kPi / 180;  // radians
constexpr double kLat0 = 45.0 * kPi / 180;

// A counted array on the host heap, as every record member must be.
Smod_Doubles heapArray(std::initializer_list<double> values) {
  Smod_Doubles array{static_cast<int32_t>(values.size()),
                     static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * values.size()))};
  if (array.data) std::memcpy(array.data, values.begin(), sizeof(double) * values.size());
  return array;
}

void setPowers(int32_t* powers, int x, int y, int z) {
  powers[0] = x;
  powers[1] = y;
  powers[2] = z;
}

// The camera in ground-domain coordinates (longitude, latitude in radians, height in m):
//   sample = 1000 + F * east / (H - z),  row = 1000 - F * north / (H - z)
// with east = (lon - lon0) R cos(lat0) and north = (lat - lat0) R, written as polynomials
// with the shared denominator H - z.
void fillCameraSection(RSMFunctions* s) {
  const double center = kImageSize / 2;
  const double eastScale = kFocal * kEarthRadius * std::cos(kLat0);
  const double northScale = kFocal * kEarthRadius;
  // Coefficients by powers (x fastest, then y, then z).
  setPowers(&s->sampleNumeratorPowerX, 1, 0, 1);
  s->sampleNumerator = heapArray({center * kAltitude - eastScale * kLon0, eastScale, -center, 0.0});
  setPowers(&s->sampleDenominatorPowerX, 0, 0, 1);
  s->sampleDenominator = heapArray({kAltitude, -1.0});
  setPowers(&s->rowNumeratorPowerX, 0, 1, 1);
  s->rowNumerator = heapArray({center * kAltitude + northScale * kLat0, -northScale, -center, 0.0});
  s->sameDenominators = SMOD_TRUE;
  s->validSolution = SMOD_TRUE;  // last, once the polynomials are filled
}

RSM_Model* buildModel() {
  ErrorReport* err = nullptr;
  RSM_Model* model = smod_RSMCreate(&err);
  RSMFunctions* sections = smod_RationalPolynomialsCreate(4, &err);
  if (!model || !sections) return nullptr;
  for (int i = 0; i < 4; ++i) {
    fillCameraSection(&sections[i]);
    sections[i].rowSection = i / 2;
    sections[i].columnSection = i % 2;
  }
  RSM_Model_Orig& rsm = model->rsm;
  rsm.RationalPolyList = Smod_Sections{4, sections};
  rsm.rowSections = 2;
  rsm.colSections = 2;
  rsm.rowsPerSection = kImageSize / 2;
  rsm.colsPerSection = kImageSize / 2;
  rsm.imageDomain = heapArray({0.0, kImageSize, 0.0, kImageSize});
  // The footprint's corners at heights 0 and 500 m, in ground-domain coordinates.
  const double dLon = 0.8 * kImageSize / 2 / kFocal * kAltitude / (kEarthRadius * std::cos(kLat0));
  const double dLat = 0.8 * kImageSize / 2 / kFocal * kAltitude / kEarthRadius;
  rsm.groundDomain =
      heapArray({kLon0 - dLon, kLat0 - dLat, 0.0,   kLon0 + dLon, kLat0 - dLat, 0.0,
                 kLon0 + dLon, kLat0 + dLat, 0.0,   kLon0 - dLon, kLat0 + dLat, 0.0,
                 kLon0 - dLon, kLat0 - dLat, 500.0, kLon0 + dLon, kLat0 - dLat, 500.0,
                 kLon0 + dLon, kLat0 + dLat, 500.0, kLon0 - dLon, kLat0 + dLat, 500.0});
  return model;
}

// Prints the report chain and deletes it; true when there was one.
bool failed(ErrorReport** err, const char* what) {
  if (!*err) return false;
  std::fprintf(stderr, "%s failed: %s\n", what, herr_ErrorReportMessage(*err));
  for (const ErrorReport* r = herr_ErrorReportPrevious(*err); r; r = herr_ErrorReportPrevious(r))
    std::fprintf(stderr, "  because: %s\n", herr_ErrorReportMessage(r));
  herr_DeleteErrorReportEx(err);
  return true;
}

}  // namespace

int main() {
  RSM_Model* model = buildModel();
  if (!model) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  }
  ErrorReport* err = nullptr;
  smod_image2groundCalc(model, &err);
  if (failed(&err, "smod_image2groundCalc")) return 1;
  const Smod_Doubles& start = model->rsm.RationalPolyList.data[0].imageToGroundPoly;
  std::printf(
      "starting polynomial (order %.0f): lon = %.9f %+.3e s %+.3e r, lat = %.9f %+.3e s %+.3e r\n",
      start.data[0], start.data[1], start.data[2], start.data[3], start.data[4], start.data[5],
      start.data[6]);

  std::printf("%12s %12s %8s -> %10s %10s -> %12s %12s\n", "longitude", "latitude", "height",
              "sample", "row", "longitude", "latitude");
  const double points[][3] = {
      {10.0, 45.0, 0.0}, {10.01, 44.995, 120.0}, {9.99, 45.008, 300.0}, {10.012, 45.012, 50.0}};
  for (const auto& p : points) {
    double sample, row, lon, lat;
    model->rsm.groundToImageTransform = SMOD_TRUE;
    smod_RSMTransform(model, p[0], p[1], p[2], &sample, &row, &err);
    if (failed(&err, "ground to image")) return 1;
    model->rsm.groundToImageTransform = SMOD_FALSE;
    smod_RSMTransform(model, sample, row, p[2], &lon, &lat, &err);
    if (failed(&err, "image to ground")) return 1;
    std::printf("%12.7f %12.7f %8.1f -> %10.3f %10.3f -> %12.7f %12.7f\n", p[0], p[1], p[2], sample,
                row, lon, lat);
  }
  smod_RSMDelete(model);
  return 0;
}
