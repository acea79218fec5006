// Bilinear DEM heights of many points at once, in the processor's widest vectors (chosen at run
// time). Every lane takes the operations of the one-point read in the same order, so a height
// does not depend on the vector width or on the other points of a call.
#ifndef HOST_HOSTMODEL_BILINEAR_HEIGHTS_H
#define HOST_HOSTMODEL_BILINEAR_HEIGHTS_H

#include <cstddef>

// Internal to the library, like everything outside its public header.
#pragma GCC visibility push(hidden)
namespace hmodel {

// A grid of cells as the elevation source reads it, borrowed for the length of a call.
struct BilinearGrid {
  const float* floats;    // the cells row by row: floats, or when null, values
  const double* values;
  int columns, rows;      // at least 1 each, columns * rows below 2^31
  bool hasNoData;
  double noData;          // as a cell reads back
  const double* inverse;  // the grid's CRS to pixel corners, as MapToPixel::Inverse
  double metersPerUnit;
  double mean;            // meters: the height of points the grid cannot answer
};

// Heights (m) of the n points (x[j], y[j]) in the grid's CRS: bilinear between the cell
// centres (held to the outer centres in the border half-cells); the mean off the grid, next to
// a cell without data that carries weight, or where x or y is not finite.
void BilinearHeights(const BilinearGrid& grid, size_t n, const double* x, const double* y,
                     double* heights);

}  // namespace hmodel
#pragma GCC visibility pop

#endif  // HOST_HOSTMODEL_BILINEAR_HEIGHTS_H
