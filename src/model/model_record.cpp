// The model record: creation with its defaults and release of everything it owns.
#include <cstring>

#include "common/error_slot.h"
#include "model/sections.h"

namespace {

const double kIdentityAffine[6] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0};

void setIdentity(double affine[6]) {
  for (int i = 0; i < 6; ++i) affine[i] = kIdentityAffine[i];
}

void freeText(Hmif_String* text) {
  if (text->data) {
    hmsc_HeapFree(text->data);
    text->data = nullptr;
  }
}

}  // namespace

extern "C" RSM_Model* smod_RSMCreate(ErrorReport** err) {
  if (err) *err = nullptr;
  auto* model = static_cast<RSM_Model*>(hmsc_HeapMalloc(sizeof(RSM_Model)));
  if (!model) return nullptr;
  // Zero bytes, padding included, so that records of equal content have equal bytes.
  std::memset(model, 0, sizeof(RSM_Model));
  RSM_Model_Orig& rsm = model->rsm;
  rsm.groundToImageTransform = SMOD_TRUE;
  rsm.demsource = HMOD_DEM_CONSTANT;
  setIdentity(rsm.forSrcAffine);
  setIdentity(rsm.forDstAffine);
  setIdentity(rsm.invSrcAffine);
  setIdentity(rsm.invDstAffine);
  return model;
}

extern "C" void smod_RSMDelete(RSM_Model* model) {
  if (!model) return;
  RSM_Model_Orig& rsm = model->rsm;
  ErrorReport* own = nullptr;
  smod_RationalPolynomialsFree(rsm.RationalPolyList.data, rsm.RationalPolyList.count, &own);
  if (rsm.obsoletePlaceHolder0) hprj_ProParametersFree(&rsm.obsoletePlaceHolder0);
  freeText(&rsm.demfilename);
  freeText(&rsm.demzunits);
  senmod::freeDoubles(&rsm.imageDomain);
  senmod::freeDoubles(&rsm.groundDomain);
  senmod::freeDoubles(&rsm.groundToImagePoly);
  senmod::freeDoubles(&rsm.adjustableParms);
  senmod::freeDoubles(&rsm.grndd);
  hmif_MIFObjectFreeContents(&model->outputProjection);
  hmif_PTRFreeContents(&model->outputHorizontalUnits);
  hmif_MIFObjectFreeContents(&model->outputElevationInfo);
  hmsc_HeapFree(model);
}
