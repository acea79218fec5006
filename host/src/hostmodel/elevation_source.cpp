#include <algorithm>
#include <cmath>
#include <new>

#include "core_fail.h"
#include "raster_grid.h"
#include "hostmodel.h"

struct HmodElevationSource {
  hraster::Grid grid;
  hraster::MapToPixel toPixel;
  double metersPerUnit = 1.0;
  bool hasMean = false;
  double mean = 0.0;  // meters; the height of points the DEM cannot answer
};

namespace {

// Meters per DEM unit: the raster's own unit name, else the one the caller states, else meters.
double VerticalScale(const hraster::Grid& grid, const Hprj_ElevationInfo* info) {
  if (const double fromRaster = hraster::MetersPerUnit(grid.unitType.c_str())) return fromRaster;
  if (info != nullptr) {
    if (const double fromInfo = hraster::MetersPerUnit(info->units)) return fromInfo;
  }
  return 1.0;
}

// Bilinear height (DEM units) between cell centres at pixel-corner coordinates (column, row);
// false off the grid or when a cell that carries weight holds no data (*value is then
// unspecified).
bool Interpolate(const hraster::Grid& grid, double column, double row, double* value) {
  if (!(column >= 0.0 && column <= grid.columns && row >= 0.0 && row <= grid.rows)) return false;
  // Centre-based coordinates, held to the outer centres in the border half-cells.
  const double cx = std::min(std::max(column - 0.5, 0.0), grid.columns - 1.0);
  const double cy = std::min(std::max(row - 0.5, 0.0), grid.rows - 1.0);
  const int c0 = std::min(static_cast<int>(cx), std::max(grid.columns - 2, 0));
  const int r0 = std::min(static_cast<int>(cy), std::max(grid.rows - 2, 0));
  const int c1 = std::min(c0 + 1, grid.columns - 1);
  const int r1 = std::min(r0 + 1, grid.rows - 1);
  const double fx = cx - c0;
  const double fy = cy - r0;
  const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
  const double cells[4] = {grid.At(c0, r0), grid.At(c1, r0), grid.At(c0, r1), grid.At(c1, r1)};
  // A cell without weight need not be valid and adds -0.0, which leaves any sum as it is; no
  // branches, which would cost more than the products they skip.
  double sum = 0.0;
  bool valid = true;
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    const bool weighted = weights[i] != 0.0;
    valid &= !weighted | grid.IsValid(cells[i]);
    sum += weighted ? weights[i] * cells[i] : -0.0;
  }
  *value = sum;
  return valid;
}

}  // namespace

HmodElevationSource* CreateRereferenceableElevationSource(const char* demFile,
                                                          const Hprj_Projection* projection,
                                                          const char* horizontalUnits,
                                                          const Hprj_ElevationInfo* elevationInfo,
                                                          ErrorReport** err) {
  static const char kFunction[] = "CreateRereferenceableElevationSource";
  void* block = hmsc_HeapMalloc(sizeof(HmodElevationSource));
  if (block == nullptr) {
    hcore::Fail(err, kFunction, __LINE__, "No memory");
    return nullptr;
  }
  auto* source = new (block) HmodElevationSource;
  if (!hraster::LoadGrid(demFile, 1, &source->grid, kFunction, err) ||
      !source->toPixel.Init(projection, horizontalUnits, source->grid, kFunction, err)) {
    DeleteRereferenceableElevationSource(source);
    return nullptr;
  }
  source->metersPerUnit = VerticalScale(source->grid, elevationInfo);
  const HstaStatistics statistics = hraster::GridStatistics(source->grid);
  source->hasMean = statistics.validCount > 0;
  if (source->hasMean) source->mean = statistics.mean * source->metersPerUnit;
  return source;
}

int HasMeanZUpdateFromElevationSource(HmodElevationSource* source, double* mean) {
  if (source == nullptr || mean == nullptr || !source->hasMean) return 0;
  *mean = source->mean;
  return 1;
}

int ReadElevationValues(HmodElevationSource* source, int32_t n, const HgdaBaseData* points,
                        double* heights, int32_t flag) {
  if (source == nullptr || n < 0 || (flag != 0 && flag != 1)) return -1;
  if (n == 0) return 0;
  if (points == nullptr || heights == nullptr || points->data == nullptr || points->rows < 2 ||
      points->columns < n) {
    return -1;
  }
  for (int32_t j = 0; j < n; ++j) {
    const double x = points->data[j * points->columnStride];
    const double y = points->data[j * points->columnStride + points->rowOffset];
    double column = 0.0;
    double row = 0.0;
    double value = 0.0;
    if (source->toPixel.Apply(x, y, &column, &row) &&
        Interpolate(source->grid, column, row, &value)) {
      heights[j] = value * source->metersPerUnit;
    } else {
      heights[j] = source->mean;
    }
  }
  return 0;
}

void DeleteRereferenceableElevationSource(HmodElevationSource* source) {
  if (source == nullptr) return;
  source->~HmodElevationSource();
  hmsc_HeapFree(source);
}
