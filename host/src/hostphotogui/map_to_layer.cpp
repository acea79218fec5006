#include <cmath>
#include <string>

#include "core_fail.h"
#include "raster_grid.h"
#include "hostphotogui.h"

namespace {

// Height terms: z = terms[0] * pixel value + terms[1].
constexpr int32_t kTermCount = 2;

// Meters per unit of an elevation info's units; meters when it names none or an unknown one.
double MetersPerUnit(const Hprj_ElevationInfo* info) {
  const double meters = info ? hraster::MetersPerUnit(info->units) : 0.0;
  return meters > 0.0 ? meters : 1.0;
}

}  // namespace

HxfrXForm* hpho_DeriveMapToLayerXformEx(HimgLayer* layer, const Hprj_ElevationInfo* demInfo,
                                        const Hprj_Projection* projection, const char* mapUnits,
                                        const Hprj_ElevationInfo* outputInfo, double,
                                        int32_t* termCount, double** terms, ErrorReport** err) {
  if (layer == nullptr || termCount == nullptr || terms == nullptr) {
    HCORE_FAIL(err, "Invalid layer or height-term outputs");
    return nullptr;
  }
  auto* newTerms = static_cast<double*>(hmsc_HeapMalloc(kTermCount * sizeof(double)));
  if (newTerms == nullptr) {
    HCORE_FAIL(err, "No memory");
    return nullptr;
  }
  HxfrXForm* xform =
      hraster::NewMapToLayerXForm(projection, mapUnits, layer->grid, __func__, err);
  if (xform == nullptr) {
    hmsc_HeapFree(newTerms);
    return nullptr;
  }
  // The raster's own unit name outranks what the caller believes the DEM holds.
  double demMeters = hraster::MetersPerUnit(layer->grid.unitType.c_str());
  if (demMeters == 0.0) demMeters = MetersPerUnit(demInfo);
  newTerms[0] = demMeters / MetersPerUnit(outputInfo);
  newTerms[1] = 0.0;
  *termCount = kTermCount;
  *terms = newTerms;
  return xform;
}

double hpho_CalcZ(double, double, double pixelValue, int32_t termCount, const double* terms) {
  if (termCount < kTermCount || terms == nullptr) return pixelValue;
  return terms[0] * pixelValue + terms[1];
}
