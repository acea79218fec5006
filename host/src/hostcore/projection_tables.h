// The tables of known spheroids and datums behind hprj_SpheroidByName and hprj_DatumByName.
#ifndef HOSTCORE_PROJECTION_TABLES_H
#define HOSTCORE_PROJECTION_TABLES_H

namespace hcore {

// A spheroid is given by its semi-major axis and either its inverse flattening or its semi-minor
// axis (whichever defines it); both zero make a sphere.
struct SpheroidEntry {
  const char* name;
  double a;
  double inverseFlattening;
  double b;
};

struct DatumEntry {
  const char* name;
  const char* spheroid;
  int geographicEpsg;
};

// Lookups by name, case ignored; null when unknown.
const SpheroidEntry* FindSpheroid(const char* name);
const DatumEntry* FindDatum(const char* name);

}  // namespace hcore

#endif  // HOSTCORE_PROJECTION_TABLES_H
