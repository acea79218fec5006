// Elevation-info records and their MIF-able form, design "Hprj_ElevationInfo": the four names
// as counted texts.
#include <cstring>

#include "core_fail.h"
#include "hostcore.h"
#include "persist_support.h"

namespace {

struct ElevationInfoRecord {
  Hmif_String spheroidName;
  Hmif_String datumName;
  Hmif_String units;
  Hmif_String elevationType;
};

HmifDesign* ElevationInfoDesign(HmifDictionary* dictionary, ErrorReport** err) {
  return hmif_DesignCreate(dictionary, "Hprj_ElevationInfo", err, HMIF_COUNTED_TEXT,
                           "spheroidName", HMIF_COUNTED_TEXT, "datumName", HMIF_COUNTED_TEXT,
                           "units", HMIF_COUNTED_TEXT, "elevationType", 0);
}

bool Fits(const char* name) { return !name || std::strlen(name) < HPRJ_NAME_SIZE; }

void Store(char (&field)[HPRJ_NAME_SIZE], const char* name) {
  std::strcpy(field, name ? name : "");
}

}  // namespace

extern "C" {

Hprj_ElevationInfo* hprj_ElevationInfoCreateByName(const char* spheroidName,
                                                   const char* datumName, const char* units,
                                                   const char* elevationType, ErrorReport** err) {
  if (!Fits(spheroidName) || !Fits(datumName) || !Fits(units) || !Fits(elevationType)) {
    HCORE_FAILF(err, "A name is longer than %d characters.", HPRJ_NAME_SIZE - 1);
    return nullptr;
  }
  auto* info = static_cast<Hprj_ElevationInfo*>(hmsc_HeapMalloc(sizeof(Hprj_ElevationInfo)));
  if (!info) {
    HCORE_FAIL(err, "Couldn't allocate space.");
    return nullptr;
  }
  std::memset(info, 0, sizeof(*info));
  Store(info->spheroidName, spheroidName);
  Store(info->datumName, datumName);
  Store(info->units, units);
  Store(info->elevationType, elevationType);
  return info;
}

void hprj_ElevationInfoFree(Hprj_ElevationInfo** info) {
  if (!info) return;
  hmsc_HeapFree(*info);
  *info = nullptr;
}

int hprj_ElevationInfoConvertToMIFable(const Hprj_ElevationInfo* info, void** object,
                                       HmifDesign** design, ErrorReport** err) {
  if (!info || !object || !design) {
    HCORE_FAIL(err, "Null argument.");
    return -1;
  }
  HmifDesign* copy = hcore::MakeDesign(ElevationInfoDesign, err);
  if (!copy) return -1;
  void* record = hmsc_HeapMalloc(sizeof(ElevationInfoRecord));
  if (record) {
    std::memset(record, 0, sizeof(ElevationInfoRecord));
    auto* fields = static_cast<ElevationInfoRecord*>(record);
    if (hcore::SetCountedText(&fields->spheroidName, info->spheroidName) &&
        hcore::SetCountedText(&fields->datumName, info->datumName) &&
        hcore::SetCountedText(&fields->units, info->units) &&
        hcore::SetCountedText(&fields->elevationType, info->elevationType)) {
      *object = record;
      *design = copy;
      return 0;
    }
    hmif_ObjectFree(&record, copy, nullptr);
  }
  hmif_DesignDestroy(copy);
  HCORE_FAIL(err, "Couldn't allocate space.");
  return -1;
}

Hprj_ElevationInfo* hprj_ElevationInfoConvertFromMIFable(const void* object,
                                                         const HmifDesign* design,
                                                         ErrorReport** err) {
  if (!object) {
    HCORE_FAIL(err, "No object.");
    return nullptr;
  }
  if (!hcore::SameLayout(design, ElevationInfoDesign, __func__, err)) return nullptr;
  const auto* fields = static_cast<const ElevationInfoRecord*>(object);
  const char* spheroidName = hcore::CountedText(fields->spheroidName);
  const char* datumName = hcore::CountedText(fields->datumName);
  const char* units = hcore::CountedText(fields->units);
  const char* elevationType = hcore::CountedText(fields->elevationType);
  if (!spheroidName || !datumName || !units || !elevationType) {
    HCORE_FAIL(err, "A name of the object is not a well-formed text.");
    return nullptr;
  }
  return hprj_ElevationInfoCreateByName(spheroidName, datumName, units, elevationType, err);
}

}  // extern "C"
