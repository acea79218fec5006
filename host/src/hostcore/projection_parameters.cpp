// Projection parameters and the spheroid and datum lookups.
#include <cmath>
#include <cstring>

#include "core_fail.h"
#include "hostcore.h"
#include "projection_tables.h"

namespace {

void CopyName(char (&destination)[HPRJ_NAME_SIZE], const char* name) {
  std::strncpy(destination, name, HPRJ_NAME_SIZE - 1);
  destination[HPRJ_NAME_SIZE - 1] = '\0';
}

// The radius of the sphere with the spheroid's surface area.
double AuthalicRadius(double a, double eSquared) {
  if (eSquared == 0.0) return a;
  const double e = std::sqrt(eSquared);
  return a * std::sqrt(0.5 * (1.0 + (1.0 - eSquared) / (2.0 * e) * std::log((1.0 + e) / (1.0 - e))));
}

bool SameSpheroid(const Hprj_Spheroid* a, const Hprj_Spheroid* b) {
  if (!a || !b) return a == b;
  return hstr_Eqic(a->sphereName, b->sphereName) && a->a == b->a && a->b == b->b &&
         a->eSquared == b->eSquared && a->radius == b->radius &&
         hstr_Eqic(a->datum.datumName, b->datum.datumName);
}

}  // namespace

extern "C" {

Hprj_ProParameters* hprj_ProParametersCreate(ErrorReport** err) {
  auto* parameters = static_cast<Hprj_ProParameters*>(hmsc_HeapMalloc(sizeof(Hprj_ProParameters)));
  auto* spheroid = static_cast<Hprj_Spheroid*>(hmsc_HeapMalloc(sizeof(Hprj_Spheroid)));
  if (!parameters || !spheroid) {
    hmsc_HeapFree(parameters);
    hmsc_HeapFree(spheroid);
    HCORE_FAIL(err, "Couldn't allocate space.");
    return nullptr;
  }
  std::memset(parameters, 0, sizeof(*parameters));
  std::memset(spheroid, 0, sizeof(*spheroid));
  parameters->proSpheroid = spheroid;
  return parameters;
}

void hprj_ProParametersFree(Hprj_ProParameters** parameters) {
  if (!parameters || !*parameters) return;
  hmsc_HeapFree((*parameters)->proName);
  hmsc_HeapFree((*parameters)->proSpheroid);
  hmsc_HeapFree(*parameters);
  *parameters = nullptr;
}

Hprj_ProParameters* hprj_ProParametersCopy(const Hprj_ProParameters* parameters,
                                           Hprj_ProParameters* destination, ErrorReport** err) {
  if (!parameters) {
    HCORE_FAIL(err, "No parameters to copy.");
    return nullptr;
  }
  if (parameters == destination) return destination;
  // Everything that can fail comes first, so that destination is untouched on failure.
  char* name = nullptr;
  if (parameters->proName && !(name = hstr_Duplicate(parameters->proName))) {
    HCORE_FAIL(err, "Couldn't allocate space.");
    return nullptr;
  }
  Hprj_ProParameters* copy = destination;
  if (!copy) {
    copy = hprj_ProParametersCreate(err);
  } else if (!copy->proSpheroid) {
    copy->proSpheroid = static_cast<Hprj_Spheroid*>(hmsc_HeapMalloc(sizeof(Hprj_Spheroid)));
    if (!copy->proSpheroid) HCORE_FAIL(err, "Couldn't allocate space.");
  }
  if (!copy || !copy->proSpheroid) {
    hmsc_HeapFree(name);
    return nullptr;
  }
  Hprj_Spheroid* spheroid = copy->proSpheroid;
  hmsc_HeapFree(copy->proName);
  *copy = *parameters;
  copy->proName = name;
  copy->proSpheroid = spheroid;
  if (parameters->proSpheroid) {
    *spheroid = *parameters->proSpheroid;
  } else {
    std::memset(spheroid, 0, sizeof(*spheroid));
  }
  return copy;
}

int hprj_ProParametersEqual(const Hprj_ProParameters* a, const Hprj_ProParameters* b,
                            ErrorReport** err) {
  if (!a || !b) {
    HCORE_FAIL(err, "Null parameters.");
    return 0;
  }
  if (a->proType != b->proType || a->proNumber != b->proNumber || a->proZone != b->proZone) {
    return 0;
  }
  for (size_t i = 0; i < sizeof(a->proParams) / sizeof(a->proParams[0]); ++i) {
    if (a->proParams[i] != b->proParams[i]) return 0;
  }
  return hstr_Eqic(a->proName ? a->proName : "", b->proName ? b->proName : "") &&
         SameSpheroid(a->proSpheroid, b->proSpheroid);
}

int hprj_CharStrCreate(const char* text, char** destination, ErrorReport** err) {
  if (!destination) {
    HCORE_FAIL(err, "No destination.");
    return -1;
  }
  char* copy = nullptr;
  if (text && !(copy = hstr_Duplicate(text))) {
    HCORE_FAIL(err, "Couldn't allocate space.");
    return -1;
  }
  hmsc_HeapFree(*destination);
  *destination = copy;
  return 0;
}

int hprj_SpheroidByName(HintInit*, const char* name, Hprj_Spheroid* spheroid, ErrorReport** err) {
  const hcore::SpheroidEntry* entry = hcore::FindSpheroid(name);
  if (!spheroid) {
    HCORE_FAIL(err, "No spheroid record.");
    return -1;
  }
  if (!entry) {
    HCORE_FAILF(err, "Unknown spheroid \"%s\".", name ? name : "");
    return -1;
  }
  double flattening = 0.0;
  if (entry->inverseFlattening != 0.0) {
    flattening = 1.0 / entry->inverseFlattening;
  } else if (entry->b != 0.0) {
    flattening = (entry->a - entry->b) / entry->a;
  }
  CopyName(spheroid->sphereName, entry->name);
  spheroid->a = entry->a;
  spheroid->b = entry->b != 0.0 ? entry->b : entry->a * (1.0 - flattening);
  spheroid->eSquared = flattening * (2.0 - flattening);
  spheroid->radius = AuthalicRadius(spheroid->a, spheroid->eSquared);
  return 0;
}

int hprj_DatumByName(HintInit*, const char* datumName, const char* spheroidName,
                     Hprj_Datum* datum, ErrorReport** err) {
  const hcore::DatumEntry* entry = hcore::FindDatum(datumName);
  if (!datum) {
    HCORE_FAIL(err, "No datum record.");
    return -1;
  }
  if (!entry) {
    HCORE_FAILF(err, "Unknown datum \"%s\".", datumName ? datumName : "");
    return -1;
  }
  if (!hstr_Eqic(entry->spheroid, spheroidName)) {
    HCORE_FAILF(err, "The spheroid of datum \"%s\" is \"%s\", not \"%s\".", entry->name,
                entry->spheroid, spheroidName ? spheroidName : "");
    return -1;
  }
  CopyName(datum->datumName, entry->name);
  return 0;
}

}  // extern "C"
