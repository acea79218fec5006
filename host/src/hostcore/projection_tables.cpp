#include "projection_tables.h"

#include "hostcore.h"

namespace hcore {

namespace {

const SpheroidEntry spheroids[] = {
    {"WGS 84", 6378137.0, 298.257223563, 0.0},
    {"GRS 1980", 6378137.0, 298.257222101, 0.0},
    {"WGS 72", 6378135.0, 298.26, 0.0},
    {"Clarke 1866", 6378206.4, 0.0, 6356583.8},
    {"Clarke 1880", 6378249.145, 293.465, 0.0},
    {"International 1909", 6378388.0, 297.0, 0.0},
    {"Bessel 1841", 6377397.155, 299.1528128, 0.0},
    {"Airy 1830", 6377563.396, 299.3249646, 0.0},
    {"Krassovsky 1940", 6378245.0, 298.3, 0.0},
    {"Australian National", 6378160.0, 298.25, 0.0},
    {"Everest 1830", 6377276.345, 300.8017, 0.0},
    {"Sphere", 6370997.0, 0.0, 0.0},
};

const DatumEntry datums[] = {
    {"WGS 84", "WGS 84", 4326},
    {"WGS 72", "WGS 72", 4322},
    {"North American 1983", "GRS 1980", 4269},
    {"North American 1927", "Clarke 1866", 4267},
    {"European 1950", "International 1909", 4230},
    {"European Terrestrial Reference System 1989", "GRS 1980", 4258},
    {"Geocentric Datum of Australia 1994", "GRS 1980", 4283},
    {"Australian Geodetic Datum 1966", "Australian National", 4202},
    {"Ordnance Survey of Great Britain 1936", "Airy 1830", 4277},
    {"Deutsches Hauptdreiecksnetz", "Bessel 1841", 4314},
    {"Tokyo", "Bessel 1841", 4301},
    {"Pulkovo 1942", "Krassovsky 1940", 4284},
};

template <typename Entry, size_t n>
const Entry* Find(const Entry (&table)[n], const char* name) {
  if (!name) return nullptr;
  for (const Entry& entry : table) {
    if (hstr_Eqic(entry.name, name)) return &entry;
  }
  return nullptr;
}

}  // namespace

const SpheroidEntry* FindSpheroid(const char* name) { return Find(spheroids, name); }

const DatumEntry* FindDatum(const char* name) { return Find(datums, name); }

}  // namespace hcore
