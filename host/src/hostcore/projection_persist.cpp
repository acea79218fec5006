// Projections as MIF-able objects, design "Hprj_Projection": the projection parameters when the
// projection was made from them, else the definition (WKT) of its coordinate system.
#include <cstring>

#include "core_fail.h"
#include "hostcore.h"
#include "persist_support.h"

namespace {

struct DatumRecord {
  Hmif_String datumName;
};

struct SpheroidRecord {
  Hmif_String sphereName;
  double a;
  double b;
  double eSquared;
  double radius;
  DatumRecord datum;
};

struct ParametersRecord {
  int32_t proType;
  int32_t proNumber;
  Hmif_String proName;
  int32_t proZone;
  double proParams[15];
  SpheroidRecord* proSpheroid;
};

struct ProjectionRecord {
  ParametersRecord* parameters;
  Hmif_String definition;
};

HmifDesign* ProjectionDesign(HmifDictionary* dictionary, ErrorReport** err) {
  HmifDesign* datum =
      hmif_DesignCreate(dictionary, "Hprj_Datum", err, HMIF_COUNTED_TEXT, "datumName", 0);
  HmifDesign* spheroid =
      datum ? hmif_DesignCreate(dictionary, "Hprj_Spheroid", err, HMIF_COUNTED_TEXT, "sphereName",
                                HMIF_FLOAT64, "a", HMIF_FLOAT64, "b", HMIF_FLOAT64, "eSquared",
                                HMIF_FLOAT64, "radius", HMIF_RECORD, "datum", datum, 0)
            : nullptr;
  HmifDesign* parameters =
      spheroid ? hmif_DesignCreate(dictionary, "Hprj_ProParameters", err, HMIF_INT32, "proType",
                                   HMIF_INT32, "proNumber", HMIF_COUNTED_TEXT, "proName",
                                   HMIF_INT32, "proZone", HMIF_FLOAT64_ARRAY, "proParams", 15,
                                   HMIF_RECORD_POINTER, "proSpheroid", spheroid, 0)
               : nullptr;
  return parameters ? hmif_DesignCreate(dictionary, "Hprj_Projection", err, HMIF_RECORD_POINTER,
                                        "parameters", parameters, HMIF_COUNTED_TEXT, "definition",
                                        0)
                    : nullptr;
}

template <typename Record>
Record* NewRecord() {
  void* block = hmsc_HeapMalloc(sizeof(Record));
  if (block) std::memset(block, 0, sizeof(Record));
  return static_cast<Record*>(block);
}

// Fills record from parameters; false on heap exhaustion (what was filled stays in record).
bool FillParameters(ParametersRecord* record, const Hprj_ProParameters& parameters) {
  record->proType = parameters.proType;
  record->proNumber = parameters.proNumber;
  record->proZone = parameters.proZone;
  std::memcpy(record->proParams, parameters.proParams, sizeof record->proParams);
  if (parameters.proName && !hcore::SetCountedText(&record->proName, parameters.proName)) {
    return false;
  }
  if (!(record->proSpheroid = NewRecord<SpheroidRecord>())) return false;
  const Hprj_Spheroid& spheroid = *parameters.proSpheroid;
  SpheroidRecord* out = record->proSpheroid;
  out->a = spheroid.a;
  out->b = spheroid.b;
  out->eSquared = spheroid.eSquared;
  out->radius = spheroid.radius;
  return hcore::SetCountedText(&out->sphereName, spheroid.sphereName) &&
         hcore::SetCountedText(&out->datum.datumName, spheroid.datum.datumName);
}

bool StoreName(char (&field)[HPRJ_NAME_SIZE], const Hmif_String& text) {
  const char* name = hcore::CountedText(text);
  if (!name || std::strlen(name) >= HPRJ_NAME_SIZE) return false;
  std::strcpy(field, name);
  return true;
}

// New parameters from a record; null with a report for a malformed record.
Hprj_ProParameters* ReadParameters(const ParametersRecord& record, const char* function,
                                   ErrorReport** err) {
  const char* name = record.proName.data ? hcore::CountedText(record.proName) : "";
  if (!record.proSpheroid || !name) {
    hcore::Fail(err, function, __LINE__, "The projection parameters of the object are malformed.");
    return nullptr;
  }
  Hprj_ProParameters* parameters = hprj_ProParametersCreate(err);
  if (!parameters) return nullptr;
  parameters->proType = record.proType;
  parameters->proNumber = record.proNumber;
  parameters->proZone = record.proZone;
  std::memcpy(parameters->proParams, record.proParams, sizeof parameters->proParams);
  const SpheroidRecord& in = *record.proSpheroid;
  Hprj_Spheroid* spheroid = parameters->proSpheroid;
  spheroid->a = in.a;
  spheroid->b = in.b;
  spheroid->eSquared = in.eSquared;
  spheroid->radius = in.radius;
  if (!StoreName(spheroid->sphereName, in.sphereName) ||
      !StoreName(spheroid->datum.datumName, in.datum.datumName)) {
    hcore::Fail(err, function, __LINE__, "A spheroid or datum name of the object is malformed.");
    hprj_ProParametersFree(&parameters);
    return nullptr;
  }
  if (record.proName.data && hprj_CharStrCreate(name, &parameters->proName, err) != 0) {
    hprj_ProParametersFree(&parameters);
    return nullptr;
  }
  return parameters;
}

}  // namespace

extern "C" {

int hprj_ProjectionConvertToMIFable(const Hprj_Projection* projection, void** object,
                                    HmifDesign** design, ErrorReport** err) {
  if (!projection || !object || !design) {
    HCORE_FAIL(err, "Null argument.");
    return -1;
  }
  const auto* parameters = static_cast<const Hprj_ProParameters*>(
      hprj_MapProjectionCSRGet(projection, "Hprj_ProParameters"));
  HmifDesign* copy = hcore::MakeDesign(ProjectionDesign, err);
  if (!copy) return -1;
  void* block = NewRecord<ProjectionRecord>();
  auto* record = static_cast<ProjectionRecord*>(block);
  bool filled = false;
  if (record && parameters) {
    record->parameters = NewRecord<ParametersRecord>();
    filled = record->parameters && FillParameters(record->parameters, *parameters);
  } else if (record) {
    filled = hcore::SetCountedText(&record->definition, hprj_ProjectionWkt(projection));
  }
  if (!filled) {
    hmif_ObjectFree(&block, copy, nullptr);
    hmif_DesignDestroy(copy);
    HCORE_FAIL(err, "Couldn't allocate space.");
    return -1;
  }
  *object = block;
  *design = copy;
  return 0;
}

Hprj_Projection* hprj_ProjectionConvertFromMIFable(const void* object, const HmifDesign* design,
                                                   ErrorReport** err) {
  if (!object) {
    HCORE_FAIL(err, "No object.");
    return nullptr;
  }
  if (!hcore::SameLayout(design, ProjectionDesign, __func__, err)) return nullptr;
  const auto* record = static_cast<const ProjectionRecord*>(object);
  if (record->parameters) {
    Hprj_ProParameters* parameters = ReadParameters(*record->parameters, __func__, err);
    if (!parameters) return nullptr;
    Hprj_Projection* projection = hprj_ProjectionInit(hint_GetInit(), parameters, err);
    hprj_ProParametersFree(&parameters);
    return projection;
  }
  const char* definition = hcore::CountedText(record->definition);
  if (!definition || !*definition) {
    HCORE_FAIL(err, "The object holds neither projection parameters nor a definition.");
    return nullptr;
  }
  return hprj_ProjectionFromDefinition(definition, err);
}

}  // extern "C"
