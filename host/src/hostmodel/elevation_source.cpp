#include <algorithm>
#include <cmath>
#include <new>

#include "bilinear_heights.h"
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

// What the vector read takes of the source, borrowed from it.
hmodel::BilinearGrid CellsOf(const HmodElevationSource& source) {
  const hraster::Grid& grid = source.grid;
  hmodel::BilinearGrid cells;
  cells.floats = grid.floats;
  cells.values = grid.values;
  cells.columns = grid.columns;
  cells.rows = grid.rows;
  cells.hasNoData = grid.hasNoData;
  cells.noData = grid.noData;
  cells.inverse = source.toPixel.Inverse();
  cells.metersPerUnit = source.metersPerUnit;
  cells.mean = source.mean;
  return cells;
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
  const hmodel::BilinearGrid cells = CellsOf(*source);
  // The points in the grid's CRS a block at a time, NaN where they cannot be carried there.
  constexpr int32_t kBlock = 256;
  double xs[kBlock], ys[kBlock];
  int ok[kBlock];
  for (int32_t start = 0; start < n; start += kBlock) {
    const int32_t count = std::min(kBlock, n - start);
    for (int32_t i = 0; i < count; ++i) {
      const int64_t j = start + i;
      xs[i] = points->data[j * points->columnStride];
      ys[i] = points->data[j * points->columnStride + points->rowOffset];
    }
    source->toPixel.ToGridCrs(count, xs, ys, ok);
    hmodel::BilinearHeights(cells, static_cast<size_t>(count), xs, ys, heights + start);
  }
  return 0;
}

void DeleteRereferenceableElevationSource(HmodElevationSource* source) {
  if (source == nullptr) return;
  source->~HmodElevationSource();
  hmsc_HeapFree(source);
}
