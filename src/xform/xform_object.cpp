// The transform object of the main build: its release and its one-time elevation set-up, which
// takes heights from an elevation source of the host.
#include "common/error_slot.h"
#include "common/scoped.h"
#include "hostmodel.h"
#include "senmod/senmod.h"
#include "xform/xform_setup.h"

namespace {

using senmod::ErrorSlot;

const char* const kMissingDemWarning =
    "File %s does not exist. \nConstant elevation of %.3lf meters will be used. \nYou can select "
    "a valid DTM file as the elevation source of the image and then restart/redisplay.";
const char* const kUnreadableDemWarning =
    "File %s cannot be read as a DEM. \nConstant elevation of %.3lf meters will be used.";
const char* const kEmptyDemWarning =
    "File %s has no valid height. \nConstant elevation of %.3lf meters will be used.";

// Shows the user a warning at once (severity 1, print flag 1); previous, the host's account of
// why, is taken over.
void warnUser(int line, const char* format, const RSM_Model_Orig& rsm,
              ErrorReport* previous = nullptr) {
  const char* file = rsm.demfilename.data ? rsm.demfilename.data : "";
  char* text = hstr_Sprintf(nullptr, format, nullptr, file, rsm.z_mean);
  ErrorReport* warning =
      herr_CreateErrorReport("smod_RSMXformFillNoMIFData", line, 1, previous, text, 0);
  hmsc_HeapFree(text);
  if (warning) {
    herr_PrintErrorReport(warning, 1, 0);
    herr_DeleteErrorReportEx(&warning);
  }
}

// Makes the elevation source of the model's DEM file and takes the DEM's mean height into the
// model. A file that exists but cannot be read, or holds no valid cell, leaves the object
// without a source (transforms then use z_mean) and tells the user why. False after reporting
// in slot.
bool openElevationSource(RSM_Xform* xform, const Hprj_ElevationInfo* elevationInfo,
                         ErrorSlot& slot) {
  RSM_Model_Orig& rsm = xform->model->rsm;
  if (!xform->elevationSource) {
    senmod::ScopedProjection geographic;
    const Hprj_Projection* pointProjection;
    if (!senmod::demPointProjection(xform, geographic, &pointProjection, slot)) return false;
    senmod::ScopedElevationInfo defaultInfo;
    if (!elevationInfo) {
      defaultInfo.reset(
          hprj_ElevationInfoCreateByName("Undefined", "Undefined", "meters", "height", nullptr));
      elevationInfo = defaultInfo.get();
    }
    senmod::CalleeSlot host;
    xform->elevationSource =
        CreateRereferenceableElevationSource(rsm.demfilename.data, pointProjection,
                                             senmod::kDemPointUnits, elevationInfo, host.get());
    if (!xform->elevationSource) {
      warnUser(__LINE__, kUnreadableDemWarning, rsm, host.take());
      return true;
    }
  }
  double mean;
  if (HasMeanZUpdateFromElevationSource(xform->elevationSource, &mean) == 1) {
    rsm.z_mean = mean;
    return true;
  }
  // A source without a mean has no valid cell: it would answer every point with 0 m.
  DeleteRereferenceableElevationSource(xform->elevationSource);
  xform->elevationSource = nullptr;
  warnUser(__LINE__, kEmptyDemWarning, rsm);
  return true;
}

void fill(RSM_Xform* xform, ErrorSlot& slot) {
  if (!senmod::xformUsable(xform)) {
    SMOD_FAIL(slot, senmod::kInvalidXformMessage);
    return;
  }
  if (xform->filled) return;
  senmod::ScopedElevationInfo elevationInfo(senmod::outputElevationInfo(xform->model));
  if (!senmod::makeProjection(xform, slot)) return;
  RSM_Model_Orig& rsm = xform->model->rsm;
  if (rsm.demsource == HMOD_DEM_FILE) {
    if (!hfio_FileExists(rsm.demfilename.data, nullptr)) {
      warnUser(__LINE__, kMissingDemWarning, rsm);
      rsm.demsource = HMOD_DEM_CONSTANT;
    } else if (!openElevationSource(xform, elevationInfo.get(), slot)) {
      return;
    }
  }
  xform->filled = 1;
}

}  // namespace

void smod_RSMXformDelete(RSM_Xform* xform) {
  if (!xform) return;
  smod_RSMDelete(xform->model);
  hprj_ProjectionFree(&xform->projection);
  DeleteRereferenceableElevationSource(xform->elevationSource);
  hmsc_HeapFree(xform);
}

void smod_RSMXformFillNoMIFData(RSM_Xform* xform, ErrorReport** err) {
  ErrorSlot slot(err, "smod_RSMXformFillNoMIFData");
  fill(xform, slot);
  if (slot.failed()) slot.printAndClear();
}
