// Deep copy and field-by-field comparison of model records and their sections.
#include <cmath>
#include <cstring>

#include "common/error_slot.h"
#include "model/sections.h"

namespace {

constexpr double kTolerance = 1e-10;
constexpr const char* kNoMemory = "No memory";

// Two doubles are the same unless they differ by more than the tolerance; a NaN difference is
// not greater than it and so counts as the same.
bool sameValue(double a, double b) { return !(std::fabs(a - b) > kTolerance); }

bool sameValues(const double* a, const double* b, int count) {
  for (int i = 0; i < count; ++i)
    if (!sameValue(a[i], b[i])) return false;
  return true;
}

bool sameDoubles(const Smod_Doubles& a, const Smod_Doubles& b) {
  if (a.count != b.count) return false;
  if (a.count <= 0 || a.data == b.data) return true;
  if (!a.data || !b.data) return false;
  return sameValues(a.data, b.data, a.count);
}

// Copies a counted array into an empty one; false (destination still empty) when the block
// cannot be allocated. A source without elements gives an empty copy.
bool copyDoubles(Smod_Doubles* destination, const Smod_Doubles& source) {
  *destination = Smod_Doubles{0, nullptr};
  if (source.count <= 0 || !source.data) return true;
  auto* data =
      static_cast<double*>(hmsc_HeapMalloc(sizeof(double) * static_cast<size_t>(source.count)));
  if (!data) return false;
  std::memcpy(data, source.data, sizeof(double) * static_cast<size_t>(source.count));
  destination->data = data;
  destination->count = source.count;
  return true;
}

bool copyText(Hmif_String* destination, const Hmif_String& source) {
  *destination = Hmif_String{0, nullptr};
  if (source.count <= 0 || !source.data) return true;
  char* data = hstr_Duplicate(source.data);
  if (!data) return false;
  destination->data = data;
  destination->count = source.count;
  return true;
}

int32_t RSMFunctions::*const kPowers[] = {
    &RSMFunctions::sampleNumeratorPowerX,   &RSMFunctions::sampleNumeratorPowerY,
    &RSMFunctions::sampleNumeratorPowerZ,   &RSMFunctions::sampleDenominatorPowerX,
    &RSMFunctions::sampleDenominatorPowerY, &RSMFunctions::sampleDenominatorPowerZ,
    &RSMFunctions::rowNumeratorPowerX,      &RSMFunctions::rowNumeratorPowerY,
    &RSMFunctions::rowNumeratorPowerZ,      &RSMFunctions::rowDenominatorPowerX,
    &RSMFunctions::rowDenominatorPowerY,    &RSMFunctions::rowDenominatorPowerZ};

Smod_Doubles RSMFunctions::*const kCoefficients[] = {
    &RSMFunctions::sampleNumerator, &RSMFunctions::sampleDenominator, &RSMFunctions::rowNumerator,
    &RSMFunctions::rowDenominator};

Smod_Doubles RSM_Model_Orig::*const kModelArrays[] = {
    &RSM_Model_Orig::imageDomain, &RSM_Model_Orig::groundDomain, &RSM_Model_Orig::groundToImagePoly,
    &RSM_Model_Orig::adjustableParms, &RSM_Model_Orig::grndd};

// Copies source into destination, which holds the defaults of a new section. False when an
// array cannot be allocated; what was copied stays in destination for its owner to release.
bool copySection(RSMFunctions* destination, const RSMFunctions& source) {
  for (int m = 0; m < 5; ++m) {
    destination->Scales[m] = source.Scales[m];
    destination->Offsets[m] = source.Offsets[m];
  }
  destination->useNormalization = source.useNormalization;
  for (auto power : kPowers) destination->*power = source.*power;
  for (auto array : kCoefficients)
    if (!copyDoubles(&(destination->*array), source.*array)) return false;
  destination->validSolution = source.validSolution;
  destination->sameDenominators = source.sameDenominators;
  if (!copyDoubles(&destination->imageToGroundPoly, source.imageToGroundPoly) ||
      !copyDoubles(&destination->validImageDomain, source.validImageDomain))
    return false;
  destination->rowSection = source.rowSection;
  destination->columnSection = source.columnSection;
  return true;
}

bool sameSection(const RSMFunctions* a, const RSMFunctions* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  for (int m = 0; m < 5; ++m)
    if (!sameValue(a->Scales[m], b->Scales[m]) || !sameValue(a->Offsets[m], b->Offsets[m]))
      return false;
  if (a->useNormalization != b->useNormalization) return false;
  for (auto power : kPowers)
    if (a->*power != b->*power) return false;
  for (auto array : kCoefficients)
    if (!sameDoubles(a->*array, b->*array)) return false;
  return a->validSolution == b->validSolution && a->sameDenominators == b->sameDenominators &&
         sameDoubles(a->imageToGroundPoly, b->imageToGroundPoly) &&
         sameDoubles(a->validImageDomain, b->validImageDomain) && a->rowSection == b->rowSection &&
         a->columnSection == b->columnSection;
}

// The fields from groundToImageTransform to colSections; false when a block cannot be
// allocated.
bool copyModelFields(RSM_Model_Orig* destination, const RSM_Model_Orig& source) {
  destination->groundToImageTransform = source.groundToImageTransform;
  destination->demsource = source.demsource;
  if (!copyText(&destination->demfilename, source.demfilename) ||
      !copyText(&destination->demzunits, source.demzunits))
    return false;
  for (int i = 0; i < 6; ++i) {
    destination->forSrcAffine[i] = source.forSrcAffine[i];
    destination->forDstAffine[i] = source.forDstAffine[i];
    destination->invSrcAffine[i] = source.invSrcAffine[i];
    destination->invDstAffine[i] = source.invDstAffine[i];
  }
  destination->z_mean = source.z_mean;
  const Smod_Sections& sections = source.RationalPolyList;
  if (sections.count > 0 && sections.data) {
    ErrorReport* ignored = nullptr;
    destination->RationalPolyList.data = smod_RationalPolynomialsCreate(sections.count, &ignored);
    herr_DeleteErrorReportEx(&ignored);
    if (!destination->RationalPolyList.data) return false;
    destination->RationalPolyList.count = sections.count;
    for (int32_t i = 0; i < sections.count; ++i)
      if (!copySection(&destination->RationalPolyList.data[i], sections.data[i])) return false;
  }
  for (auto array : kModelArrays)
    if (!copyDoubles(&(destination->*array), source.*array)) return false;
  destination->rowsPerSection = source.rowsPerSection;
  destination->colsPerSection = source.colsPerSection;
  destination->rowSections = source.rowSections;
  destination->colSections = source.colSections;
  return true;
}

bool sameText(const Hmif_String& a, const Hmif_String& b) {
  if (a.count != b.count) return false;
  if (a.count <= 0 || a.data == b.data) return true;
  return a.data && b.data && htxt_Text_strcmp(a.data, b.data) == 0;
}

bool sameTextIgnoringCase(const Hmif_String& a, const Hmif_String& b) {
  if (a.count != b.count) return false;
  return a.count <= 0 || hstr_Eqic(a.data, b.data) != 0;
}

// Every field but the projection parameters and the output members.
bool sameModelFields(const RSM_Model_Orig& a, const RSM_Model_Orig& b) {
  if (a.groundToImageTransform != b.groundToImageTransform || a.demsource != b.demsource)
    return false;
  if (a.demsource == HMOD_DEM_FILE && !sameText(a.demfilename, b.demfilename)) return false;
  if (!sameTextIgnoringCase(a.demzunits, b.demzunits)) return false;
  if (!sameValues(a.forSrcAffine, b.forSrcAffine, 6) ||
      !sameValues(a.forDstAffine, b.forDstAffine, 6))
    return false;
  if (a.demsource != HMOD_DEM_FILE && !sameValue(a.z_mean, b.z_mean)) return false;
  if (a.RationalPolyList.count != b.RationalPolyList.count) return false;
  if (a.RationalPolyList.data != b.RationalPolyList.data)
    for (int32_t i = 0; i < a.RationalPolyList.count; ++i) {
      if (!a.RationalPolyList.data || !b.RationalPolyList.data) return false;
      if (!sameSection(&a.RationalPolyList.data[i], &b.RationalPolyList.data[i])) return false;
    }
  for (auto array : kModelArrays)
    if (!sameDoubles(a.*array, b.*array)) return false;
  return sameValue(a.rowsPerSection, b.rowsPerSection) &&
         sameValue(a.colsPerSection, b.colsPerSection) && a.rowSections == b.rowSections &&
         a.colSections == b.colSections;
}

// The members that host calls copy; returns null, or the message of the first failure with
// the host's report left in host.
const char* copyHostMembers(RSM_Model* copy, const RSM_Model& model, senmod::CalleeSlot& host) {
  if (model.rsm.obsoletePlaceHolder0) {
    copy->rsm.obsoletePlaceHolder0 =
        hprj_ProParametersCopy(model.rsm.obsoletePlaceHolder0, nullptr, host.get());
    if (!copy->rsm.obsoletePlaceHolder0 || host.failed()) return "hprj_ProParametersCopy failed";
  }
  if (hmif_MIFObjectCopyContents(&copy->outputProjection, &model.outputProjection, host.get()) !=
          0 ||
      host.failed())
    return "hmif_MIFObjectCopyContents failed";
  if (hmif_PTRCopyContents(&copy->outputHorizontalUnits, &model.outputHorizontalUnits,
                           host.get()) != 0 ||
      host.failed())
    return "hmif_PTRCopyContents failed";
  if (hmif_MIFObjectCopyContents(&copy->outputElevationInfo, &model.outputElevationInfo,
                                 host.get()) != 0 ||
      host.failed())
    return "hmif_MIFObjectCopyContents failed";
  return nullptr;
}

}  // namespace

extern "C" RSM_Model* smod_RSMCopy(const RSM_Model* model, ErrorReport** err) {
  senmod::ErrorSlot slot(err, "smod_RSMCopy");
  senmod::CalleeSlot host;
  ErrorReport* ignored = nullptr;
  RSM_Model* copy = model ? smod_RSMCreate(&ignored) : nullptr;
  if (!model) {
    SMOD_FAIL(slot, "Replacement sensor model not available");
  } else if (!copy || !copyModelFields(&copy->rsm, model->rsm)) {
    SMOD_FAIL(slot, kNoMemory);
  } else if (const char* failure = copyHostMembers(copy, *model, host)) {
    SMOD_FAIL(slot, failure, host.take());
  }
  if (slot.failed()) {
    // A failed copy is shown to the user here; the caller sees only the null result.
    slot.printAndClear();
    smod_RSMDelete(copy);
    return nullptr;
  }
  return copy;
}

extern "C" int32_t smod_RSMsAreSame(const RSM_Model* first, const RSM_Model* second) {
  if (first == second) return 1;
  if (!first || !second) return 0;
  if (!sameModelFields(first->rsm, second->rsm)) return 0;

  senmod::CalleeSlot host;
  const Hprj_ProParameters* a = first->rsm.obsoletePlaceHolder0;
  const Hprj_ProParameters* b = second->rsm.obsoletePlaceHolder0;
  // The output projection is compared only when the first record has no parameters, so the
  // result can depend on the order of the arguments.
  const bool same =
      (!a || !b || a == b || hprj_ProParametersEqual(a, b, host.get()) != 0) &&
      (a || hmif_MIFObjectIsSame(&first->outputProjection, &second->outputProjection) != 0) &&
      hmif_PTRIsSame(&first->outputHorizontalUnits, &second->outputHorizontalUnits) != 0 &&
      hmif_MIFObjectIsSame(&first->outputElevationInfo, &second->outputElevationInfo) != 0;
  if (same) return 1;
  if (host.failed()) herr_PrintErrorReport(*host.get(), 0, 0);
  return 0;
}
