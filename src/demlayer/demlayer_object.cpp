// The transform object of the DEM-layer build: its release and its one-time elevation set-up,
// which opens the DEM file's first layer and derives the map-to-layer transform.
#include <limits>

#include "common/error_slot.h"
#include "common/scoped.h"
#include "hostphotogui.h"
#include "senmod/senmod.h"
#include "xform/xform_setup.h"

namespace {

using senmod::CalleeSlot;
using senmod::ErrorSlot;

// Opens the first layer of the model's DEM file into xform->layer and hands back the DEM's
// elevation info (the caller's). False after reporting in slot.
bool openLayer(RSM_Xform* xform, senmod::ScopedElevationInfo& demInfo, ErrorSlot& slot) {
  const char* file = xform->model->rsm.demfilename.data;
  if (!file || !*file) {
    SMOD_FAIL(slot, "DEM file not available.");
    return false;
  }
  CalleeSlot host;
  demInfo.reset(hprj_ElevationInfoRead(file, "Layer_1", host.get()));
  if (!demInfo.get()) {
    SMOD_FAIL(slot, "Cannot get DEM file.", host.take());
    return false;
  }
  HstrStringList* names = himg_LayerGetNames(file, hint_GetInit(), host.get());
  if (!names || names->count < 1 || !names->items) {
    hstr_StringListDelete(&names, nullptr);
    SMOD_FAIL(slot, "Cannot get DEM file.", host.take());
    return false;
  }
  xform->layer = himg_LayerOpen(names->items[0], hint_GetInit(), host.get(), 4097, 1, 0);
  hstr_StringListDelete(&names, nullptr);
  if (!xform->layer) {
    SMOD_FAIL(slot, "Cannot open DEM file.", host.take());
    return false;
  }
  return true;
}

// Derives the map-to-layer transform and the height terms; false after reporting in slot.
bool deriveMapToLayer(RSM_Xform* xform, const Hprj_ElevationInfo* outputInfo,
                      const Hprj_ElevationInfo* demInfo, double mean, ErrorSlot& slot) {
  senmod::ScopedElevationInfo defaultOutput;
  if (!outputInfo) {
    defaultOutput.reset(
        hprj_ElevationInfoCreateByName("Undefined", "Undefined", "meters", "height", nullptr));
    outputInfo = defaultOutput.get();
  }
  senmod::ScopedElevationInfo defaultDem;
  if (!demInfo) {
    defaultDem.reset(hprj_ElevationInfoCreateByName(
        "Undefined", "Undefined", xform->model->rsm.demzunits.data, "height", nullptr));
    demInfo = defaultDem.get();
  }
  senmod::ScopedProjection geographic;
  const Hprj_Projection* pointProjection;
  if (!senmod::demPointProjection(xform, geographic, &pointProjection, slot)) return false;
  CalleeSlot host;
  xform->mapToLayer = hpho_DeriveMapToLayerXformEx(
      xform->layer, demInfo, pointProjection, senmod::kDemPointUnits, outputInfo, mean,
      &xform->heightTermCount, &xform->heightTerms, host.get());
  if (!xform->mapToLayer) {
    SMOD_FAIL(slot, "hpho_DeriveMapToLayerXformEx failed", host.take());
    return false;
  }
  return true;
}

// Installs the layer's null value as a double, and keeps it in the object. A layer without one
// keeps NaN, which no pixel equals.
bool installNullValue(RSM_Xform* xform, ErrorSlot& slot) {
  const void* raw = himg_LayerRawNullValue(xform->layer);
  if (!raw) {
    xform->demNullValue = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  const double value = hmsc_AddressOf_hpxm_Convert()[himg_LayerPixelType(xform->layer)](raw);
  CalleeSlot host;
  HgdaBaseData* data = hgda_BaseDataCreate(1, 1, HGDA_PIXEL_FLOAT64, 3, 0, host.get());
  if (!data) {
    SMOD_FAIL(slot, "No memory", host.take());
    return false;
  }
  data->data[0] = value;
  const int set = himg_LayerRasterNullValueSet(xform->layer, data, host.get());
  hgda_BaseDataDelete(data, nullptr);
  if (set != 0) {
    SMOD_FAIL(slot, "himg_LayerRasterNullValueSet failed", host.take());
    return false;
  }
  xform->demNullValue = value;
  return true;
}

void fill(RSM_Xform* xform, ErrorSlot& slot) {
  if (!senmod::xformUsable(xform)) {
    SMOD_FAIL(slot, senmod::kInvalidXformMessage);
    return;
  }
  if (xform->filled) return;
  senmod::ScopedElevationInfo outputInfo(senmod::outputElevationInfo(xform->model));
  if (!senmod::makeProjection(xform, slot)) return;
  RSM_Model_Orig& rsm = xform->model->rsm;
  if (rsm.demsource == HMOD_DEM_CONSTANT) {
    xform->filled = 1;
    return;
  }
  senmod::ScopedElevationInfo demInfo;
  if (!xform->layer && !openLayer(xform, demInfo, slot)) return;
  // Without statistics the derivation still works, from a mean of 0.
  HstaStatistics* statistics = himg_StatisticsRead(xform->layer, 0, nullptr);
  const double mean = statistics ? statistics->mean : 0.0;
  const bool derived =
      xform->mapToLayer || deriveMapToLayer(xform, outputInfo.get(), demInfo.get(), mean, slot);
  if (derived && statistics) {
    rsm.z_mean = hpho_CalcZ(0.0, 0.0, statistics->mean, xform->heightTermCount, xform->heightTerms);
  }
  hsta_StatisticsDelete(&statistics, nullptr);
  if (derived && installNullValue(xform, slot)) xform->filled = 1;
}

}  // namespace

void smod_RSMXformDelete(RSM_Xform* xform) {
  if (!xform) return;
  smod_RSMDelete(xform->model);
  hprj_ProjectionFree(&xform->projection);
  hxfr_XFormFree(&xform->mapToLayer, nullptr);
  hmsc_HeapFree(xform->heightTerms);
  himg_LayerClose(&xform->layer, nullptr);
  hmsc_HeapFree(xform);
}

void smod_RSMXformFillNoMIFData(RSM_Xform* xform, ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformFillNoMIFData");
  fill(xform, slot);
  if (slot.failed()) slot.printAndClear();
}
