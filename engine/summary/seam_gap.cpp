#include "seam_gap.h"

#include <algorithm>
#include <cmath>

namespace senmod_io {

namespace {

// The library's own image to ground refines a rectangular domain's height as far as this.
constexpr int kHeightPasses = 5;
constexpr double kHeightTolerance = 0.01;  // m
// A ground point whose section misses its seam point by more than this (pixels) lies off the
// seam: the inversion did not converge there.
constexpr double kOffSeam = 1e-3;

bool failed(ErrorReport** report) {
  if (!*report) return false;
  herr_DeleteErrorReportEx(report);
  return true;
}

// The ground-domain point (x, y, z) of image point (sample, row) through section, at the model's
// mean height. On a rectangular domain with projection parameters the ground-domain height that
// belongs to that map height is iterated, as the library's image to ground does; elsewhere the
// ground-domain height is the map height.
bool toGround(const RSM_Model& model, const RSMFunctions& section, double sample, double row,
              double* x, double* y, double* z) {
  const RSM_Model_Orig& rsm = model.rsm;
  ErrorReport* report = nullptr;
  *z = rsm.z_mean;
  smod_RationalPolynomialsToMapXY(&section, sample, row, *z, x, y, &report);
  if (failed(&report)) return false;
  if (rsm.grndd.count < 12 || !rsm.obsoletePlaceHolder0) return true;
  for (int pass = 0; pass < kHeightPasses; ++pass) {
    double lon, lat, height, gx, gy, gz;
    smod_RSMConvertGRNDD(&model, 0, *x, *y, *z, &lon, &lat, &height, &report);
    if (failed(&report)) return false;
    smod_RSMConvertGRNDD(&model, 1, lon, lat, rsm.z_mean, &gx, &gy, &gz, &report);
    if (failed(&report)) return false;
    if (!(std::fabs(gz - *z) > kHeightTolerance)) break;
    *z = gz;
    smod_RationalPolynomialsToMapXY(&section, sample, row, *z, x, y, &report);
    if (failed(&report)) return false;
  }
  return true;
}

bool toImage(const RSMFunctions& section, double x, double y, double z, double* sample,
             double* row) {
  ErrorReport* report = nullptr;
  smod_RationalPolynomialsToFileXY(&section, x, y, z, sample, row, &report);
  return !failed(&report) && std::isfinite(*sample) && std::isfinite(*row);
}

// The gap at seam point (sample, row) between the images through first and second of the
// ground point that first gives it; false when that point cannot be found or carried.
bool gapThrough(const RSM_Model& model, const RSMFunctions& first, const RSMFunctions& second,
                double sample, double row, double* gap) {
  double x, y, z, s1, r1, s2, r2;
  if (!toGround(model, first, sample, row, &x, &y, &z) || !toImage(first, x, y, z, &s1, &r1) ||
      !toImage(second, x, y, z, &s2, &r2)) {
    return false;
  }
  if (!(std::hypot(s1 - sample, r1 - row) <= kOffSeam)) return false;
  *gap = std::hypot(s2 - s1, r2 - r1);
  return std::isfinite(*gap);
}

// Measures the seam between sections a and b from (fromSample, fromRow) to (toSample, toRow).
void measureSeam(const RSM_Model& model, const RSMFunctions& a, const RSMFunctions& b,
                 double fromSample, double fromRow, double toSample, double toRow,
                 SeamStats& result) {
  const double length = std::max(toSample - fromSample, toRow - fromRow);
  const double wanted = std::ceil(length / kSeamStep) + 1.0;
  const long n = wanted >= kSeamPointsMax ? kSeamPointsMax
                                          : std::max(kSeamPointsMin, static_cast<long>(wanted));
  ++result.seams;
  for (long k = 0; k < n; ++k) {
    const double t = static_cast<double>(k) / static_cast<double>(n - 1);
    const double sample = fromSample + (toSample - fromSample) * t;
    const double row = fromRow + (toRow - fromRow) * t;
    double gap = 0.0;
    if (gapThrough(model, a, b, sample, row, &gap) || gapThrough(model, b, a, sample, row, &gap)) {
      ++result.points;
      result.largest = result.points == 1 ? gap : std::max(result.largest, gap);
    } else {
      ++result.failed;
    }
  }
}

}  // namespace

SeamStats SeamGap::all() const {
  SeamStats sum;
  sum.seams = betweenRows.seams + betweenColumns.seams;
  sum.points = betweenRows.points + betweenColumns.points;
  sum.failed = betweenRows.failed + betweenColumns.failed;
  // NaN where a kind carried no point: fmax takes the other.
  sum.largest = std::fmax(betweenRows.largest, betweenColumns.largest);
  return sum;
}

SeamGap seamGap(const RSM_Model& model) {
  SeamGap result;
  const RSM_Model_Orig& rsm = model.rsm;
  const Smod_Sections& list = rsm.RationalPolyList;
  const long rows = rsm.rowSections;
  const long columns = rsm.colSections;
  const Smod_Doubles& domain = rsm.imageDomain;
  if (list.count < 2 || !list.data || rows < 1 || columns < 1 || rows * columns != list.count ||
      domain.count < 4 || !domain.data) {
    return result;
  }
  // The domain names its first and last pixel; its extent runs to the last one's far edge.
  const double firstSample = domain.data[0], endSample = domain.data[1] + 1.0;
  const double firstRow = domain.data[2], endRow = domain.data[3] + 1.0;
  const double rowStep = rsm.rowsPerSection, sampleStep = rsm.colsPerSection;
  if (!std::isfinite(firstSample) || !std::isfinite(endSample) || !std::isfinite(firstRow) ||
      !std::isfinite(endRow) || !(rowStep > 0.0) || !(sampleStep > 0.0)) {
    return result;
  }
  // The stretch [from, to) of the image's extent [first, end) that section i of n along an axis
  // takes: the first and last sections take whatever lies before and beyond the grid.
  auto stretch = [](long i, long n, double first, double end, double step, double* from,
                    double* to) {
    *from = i == 0 ? first : std::max(first, first + static_cast<double>(i) * step);
    *to = i == n - 1 ? end : std::min(end, first + static_cast<double>(i + 1) * step);
    return *to > *from;
  };
  const RSMFunctions* s = list.data;
  double from = 0.0, to = 0.0;
  for (long r = 1; r < rows; ++r) {
    const double row = firstRow + static_cast<double>(r) * rowStep;
    if (!(row > firstRow && row < endRow)) continue;
    for (long c = 0; c < columns; ++c) {
      if (!stretch(c, columns, firstSample, endSample, sampleStep, &from, &to)) continue;
      measureSeam(model, s[(r - 1) * columns + c], s[r * columns + c], from, row, to, row,
                  result.betweenRows);
    }
  }
  for (long c = 1; c < columns; ++c) {
    const double sample = firstSample + static_cast<double>(c) * sampleStep;
    if (!(sample > firstSample && sample < endSample)) continue;
    for (long r = 0; r < rows; ++r) {
      if (!stretch(r, rows, firstRow, endRow, rowStep, &from, &to)) continue;
      measureSeam(model, s[r * columns + c - 1], s[r * columns + c], sample, from, sample, to,
                  result.betweenColumns);
    }
  }
  return result;
}

}  // namespace senmod_io
