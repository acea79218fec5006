#include "persist/designs.h"

#include "common/error_slot.h"
#include "hostthread.h"

namespace senmod {
namespace {

// Ends a list of enumerator names.
constexpr const char* kNoMoreNames = nullptr;

// Holds the host's process-wide section for code that is not thread-safe; nests per thread.
class ThreadUnsafeSection {
 public:
  ThreadUnsafeSection() { hthr_ThreadUnsafeCodeEnter(0); }
  ~ThreadUnsafeSection() { hthr_ThreadUnsafeCodeExit(); }
  ThreadUnsafeSection(const ThreadUnsafeSection&) = delete;
  ThreadUnsafeSection& operator=(const ThreadUnsafeSection&) = delete;
};

enum DesignId { kString, kMifObject, kFunctions, kModelOrig, kModel, kDesignCount };

// The shared design dictionary with the designs built in it. Constant-initialised, so that it
// is ready before any other static code can ask for a design; its destructor runs at process
// exit and takes the designs with the dictionary.
class HmifDictionaryP {
 public:
  constexpr HmifDictionaryP() = default;
  ~HmifDictionaryP() {
    ThreadUnsafeSection section;
    hmif_DictionaryDestroy(dictionary);
    dictionary = nullptr;
    for (HmifDesign*& design : designs) design = nullptr;
  }
  HmifDictionaryP(const HmifDictionaryP&) = delete;
  HmifDictionaryP& operator=(const HmifDictionaryP&) = delete;

  HmifDictionary* dictionary = nullptr;
  HmifDesign* designs[kDesignCount] = {};
};

HmifDictionaryP shared;

using DesignMaker = HmifDesign* (*)(HmifDictionary* dictionary, ErrorReport** err);

HmifDesign* cachedDesign(DesignId id, const char* builder, DesignMaker make, ErrorReport** err) {
  ErrorSlot slot(err, builder);
  ThreadUnsafeSection section;
  if (!shared.dictionary) {
    CalleeSlot host;
    shared.dictionary = hmif_DictionaryCreate(host.get());
    if (!shared.dictionary) {
      SMOD_FAIL(slot, "Dictionary create fail", host.take());
      return nullptr;
    }
  }
  if (!shared.designs[id]) {
    CalleeSlot host;
    shared.designs[id] = make(shared.dictionary, host.get());
    if (!shared.designs[id]) SMOD_FAIL(slot, "Design create failed", host.take());
  }
  return shared.designs[id];
}

// The 20 items of the model proper; mifObject is the "Hmif_MIFObject" design.
#define SMOD_MODEL_ORIG_ITEMS(mifObject)                                              \
  HMIF_ENUM, "groundToImageTransform", "FALSE", "TRUE", kNoMoreNames,                 \
  HMIF_ENUM, "demsource", "HMOD_DEM_FILE", "HMOD_DEM_CONSTANT", kNoMoreNames,         \
  HMIF_COUNTED_TEXT, "demfilename",                                                   \
  HMIF_COUNTED_TEXT, "demzunits",                                                     \
  HMIF_FLOAT64_ARRAY, "forSrcAffine", 6,                                              \
  HMIF_FLOAT64_ARRAY, "forDstAffine", 6,                                              \
  HMIF_FLOAT64_ARRAY, "invSrcAffine", 6,                                              \
  HMIF_FLOAT64_ARRAY, "invDstAffine", 6,                                              \
  HMIF_FLOAT64, "z_mean",                                                             \
  HMIF_COUNTED_RECORDS, "RationalPolyList", "RSMFunctions",                           \
  HMIF_COUNTED_FLOAT64, "imageDomain",                                                \
  HMIF_COUNTED_FLOAT64, "groundDomain",                                               \
  HMIF_COUNTED_FLOAT64, "groundToImagePoly",                                          \
  HMIF_COUNTED_FLOAT64, "adjustableParms",                                            \
  HMIF_COUNTED_FLOAT64, "grndd",                                                      \
  HMIF_FLOAT64, "rowsPerSection",                                                     \
  HMIF_FLOAT64, "colsPerSection",                                                     \
  HMIF_INT32, "rowSections",                                                          \
  HMIF_INT32, "colSections",                                                          \
  HMIF_RECORD_POINTER, "obsoletePlaceHolder0", (mifObject)

// The three output items that follow the model proper in "RSM_Model".
#define SMOD_MODEL_OUTPUT_ITEMS(projection, units, elevation)                         \
  HMIF_RECORD, "outputProjection", (projection),                                      \
  HMIF_RECORD, "outputHorizontalUnits", (units),                                      \
  HMIF_RECORD, "outputElevationInfo", (elevation)

HmifDesign* makeString(HmifDictionary* dictionary, ErrorReport** err) {
  return hmif_DesignCreate(dictionary, "Hmif_String", err, HMIF_COUNTED_TEXT, "string", 0);
}

HmifDesign* makeMifObject(HmifDictionary* dictionary, ErrorReport** err) {
  HmifDesign* text = Hmif_String_Design();
  return hmif_DesignCreate(dictionary, "Hmif_MIFObject", err,
                           HMIF_RECORD, "type", text,
                           HMIF_COUNTED_TEXT, "MIFDictionary",
                           HMIF_COUNTED_BYTES, "MIFObject", 0);
}

HmifDesign* makeFunctions(HmifDictionary* dictionary, ErrorReport** err) {
  return hmif_DesignCreate(dictionary, "RSMFunctions", err,
                           HMIF_FLOAT64_ARRAY, "Scales", 5,
                           HMIF_FLOAT64_ARRAY, "Offsets", 5,
                           HMIF_ENUM, "useNormalization", "FALSE", "TRUE", kNoMoreNames,
                           HMIF_INT32, "sampleNumeratorPowerX",
                           HMIF_INT32, "sampleNumeratorPowerY",
                           HMIF_INT32, "sampleNumeratorPowerZ",
                           HMIF_INT32, "sampleDenominatorPowerX",
                           HMIF_INT32, "sampleDenominatorPowerY",
                           HMIF_INT32, "sampleDenominatorPowerZ",
                           HMIF_INT32, "rowNumeratorPowerX",
                           HMIF_INT32, "rowNumeratorPowerY",
                           HMIF_INT32, "rowNumeratorPowerZ",
                           HMIF_INT32, "rowDenominatorPowerX",
                           HMIF_INT32, "rowDenominatorPowerY",
                           HMIF_INT32, "rowDenominatorPowerZ",
                           HMIF_COUNTED_FLOAT64, "sampleNumerator",
                           HMIF_COUNTED_FLOAT64, "sampleDenominator",
                           HMIF_COUNTED_FLOAT64, "rowNumerator",
                           HMIF_COUNTED_FLOAT64, "rowDenominator",
                           HMIF_ENUM, "validSolution", "FALSE", "TRUE", kNoMoreNames,
                           HMIF_ENUM, "sameDenominators", "FALSE", "TRUE", kNoMoreNames,
                           HMIF_COUNTED_FLOAT64, "imageToGroundPoly",
                           HMIF_COUNTED_FLOAT64, "validImageDomain",
                           HMIF_INT32, "rowSection",
                           HMIF_INT32, "columnSection", 0);
}

HmifDesign* makeModelOrig(HmifDictionary* dictionary, ErrorReport** err) {
  HmifDesign* mifObject = Hmif_MIFObject_Design();
  return hmif_DesignCreate(dictionary, "RSM_Model_Orig", err, SMOD_MODEL_ORIG_ITEMS(mifObject),
                           0);
}

HmifDesign* makeModel(HmifDictionary* dictionary, ErrorReport** err) {
  HmifDesign* projection = Hmif_MIFObject_Design();
  HmifDesign* units = Hmif_String_Design();
  HmifDesign* elevation = Hmif_MIFObject_Design();
#ifdef SENMOD_DEMLAYER
  // This build stores the model flat: the items of the model proper, then the outputs.
  return hmif_DesignCreate(dictionary, "RSM_Model", err, SMOD_MODEL_ORIG_ITEMS(projection),
                           SMOD_MODEL_OUTPUT_ITEMS(projection, units, elevation), 0);
#else
  HmifDesign* model = RSM_Model_Orig_Design();
  return hmif_DesignCreate(dictionary, "RSM_Model", err, HMIF_RECORD, "rsm", model,
                           SMOD_MODEL_OUTPUT_ITEMS(projection, units, elevation), 0);
#endif
}

}  // namespace

HmifDesign* Hmif_String_Design(ErrorReport** err) {
  return cachedDesign(kString, "Hmif_String_Design", makeString, err);
}

HmifDesign* Hmif_MIFObject_Design(ErrorReport** err) {
  return cachedDesign(kMifObject, "Hmif_MIFObject_Design", makeMifObject, err);
}

HmifDesign* RSMFunctions_Design(ErrorReport** err) {
  return cachedDesign(kFunctions, "RSMFunctions_Design", makeFunctions, err);
}

HmifDesign* RSM_Model_Orig_Design(ErrorReport** err) {
  return cachedDesign(kModelOrig, "RSM_Model_Orig_Design", makeModelOrig, err);
}

HmifDesign* RSM_Model_Design(ErrorReport** err) {
  return cachedDesign(kModel, "RSM_Model_Design", makeModel, err);
}

}  // namespace senmod
