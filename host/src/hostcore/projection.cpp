// Live map projections on PROJ.
//
// Building a coordinate system and the way from it to geographic coordinates needs PROJ's
// database and is slow, so it is done once per recipe in one shared context and kept; each
// projection takes clones into a context of its own, so that projections can be used on
// different threads, and a lock makes one projection safe to share as well.
#include <proj.h>
#include <proj_experimental.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "core_fail.h"
#include "hostcore.h"
#include "projection_tables.h"

struct Hprj_Projection {
  PJ_CONTEXT* context = nullptr;
  PJ* crs = nullptr;           // the full definition, axes in x = east / longitude order
  PJ* toGeographic = nullptr;  // map to longitude/latitude; null when the CRS is geographic
  Hprj_ProParameters* parameters = nullptr;
  char* wkt = nullptr;
  bool geographic = false;
  std::mutex lock;
};

namespace {

struct PjDelete {
  void operator()(PJ* object) const { proj_destroy(object); }
};
using PjPtr = std::unique_ptr<PJ, PjDelete>;

void Silent(void*, int, const char*) {}

PJ_CONTEXT* SilentContext() {
  PJ_CONTEXT* context = proj_context_create();
  if (context) {
    proj_log_func(context, nullptr, Silent);
    proj_log_level(context, PJ_LOG_NONE);
  }
  return context;
}

const char* ProjMessage(PJ_CONTEXT* context) {
  const int code = proj_context_errno(context);
  const char* text = code ? proj_context_errno_string(context, code) : nullptr;
  return text ? text : "no further detail";
}

// What a recipe gives: the coordinate system, the way to geographic and the WKT.
struct Built {
  PjPtr crs;
  PjPtr toGeographic;
  bool geographic = false;
  std::string wkt;
};

// Makes a coordinate system in the shared context; null with a report.
using CrsMaker = PjPtr (*)(PJ_CONTEXT* context, const void* input, ErrorReport** err);

// The shared context with what has been built in it, by recipe key. Never destroyed: the
// objects may be needed until the process ends.
struct Workshop {
  std::mutex mutex;
  PJ_CONTEXT* context = SilentContext();
  std::map<std::string, Built> built;
};

Workshop& TheWorkshop() {
  static Workshop* workshop = new Workshop;
  return *workshop;
}

// The geographic CRS of a spheroid record: the datum's own when the table knows the datum on
// this spheroid, else one built from the spheroid's axes.
PjPtr GeodeticCrs(PJ_CONTEXT* context, const Hprj_Spheroid& spheroid, ErrorReport** err) {
  const hcore::DatumEntry* datum = hcore::FindDatum(spheroid.datum.datumName);
  if (datum && hstr_Eqic(datum->spheroid, spheroid.sphereName)) {
    char code[16];
    std::snprintf(code, sizeof code, "%d", datum->geographicEpsg);
    PjPtr crs(proj_create_from_database(context, "EPSG", code, PJ_CATEGORY_CRS, 0, nullptr));
    if (!crs) HCORE_FAILF(err, "PROJ has no CRS EPSG:%s: %s", code, ProjMessage(context));
    return crs;
  }
  if (!(spheroid.a > 0.0) || !(spheroid.b > 0.0) || spheroid.b > spheroid.a ||
      !std::isfinite(spheroid.a)) {
    HCORE_FAIL(err, "The spheroid has no valid axes.");
    return nullptr;
  }
  const double inverseFlattening =
      spheroid.a == spheroid.b ? 0.0 : spheroid.a / (spheroid.a - spheroid.b);
  char datumName[2 * HPRJ_NAME_SIZE + 32];
  if (spheroid.datum.datumName[0] && !datum) {
    std::snprintf(datumName, sizeof datumName, "%.*s", HPRJ_NAME_SIZE, spheroid.datum.datumName);
  } else {
    std::snprintf(datumName, sizeof datumName, "Unknown based on %.*s ellipsoid", HPRJ_NAME_SIZE,
                  spheroid.sphereName);
  }
  PjPtr axes(proj_create_ellipsoidal_2D_cs(context, PJ_ELLPS2D_LONGITUDE_LATITUDE, nullptr, 0.0));
  PjPtr crs(proj_create_geographic_crs(context, datumName, datumName, spheroid.sphereName,
                                       spheroid.a, inverseFlattening, "Greenwich", 0.0, "degree",
                                       M_PI / 180.0, axes.get()));
  if (!crs) HCORE_FAILF(err, "PROJ cannot make the geographic CRS: %s", ProjMessage(context));
  return crs;
}

PjPtr ParametersCrs(PJ_CONTEXT* context, const void* input, ErrorReport** err) {
  const auto& parameters = *static_cast<const Hprj_ProParameters*>(input);
  PjPtr geodetic = GeodeticCrs(context, *parameters.proSpheroid, err);
  if (!geodetic || parameters.proType == 0) return geodetic;
  const bool north = parameters.proZone > 0;
  const int number = north ? parameters.proZone : -parameters.proZone;
  PjPtr conversion(proj_create_conversion_utm(context, number, north));
  PjPtr axes(proj_create_cartesian_2D_cs(context, PJ_CART2D_EASTING_NORTHING, "metre", 1.0));
  char name[160];
  std::snprintf(name, sizeof name, "%s / UTM zone %d%c", proj_get_name(geodetic.get()), number,
                north ? 'N' : 'S');
  PjPtr crs(conversion && axes ? proj_create_projected_crs(context, name, geodetic.get(),
                                                           conversion.get(), axes.get())
                               : nullptr);
  if (!crs) HCORE_FAILF(err, "PROJ cannot make the UTM CRS: %s", ProjMessage(context));
  return crs;
}

PjPtr DefinitionCrs(PJ_CONTEXT* context, const void* input, ErrorReport** err) {
  PjPtr crs(proj_create(context, static_cast<const char*>(input)));
  if (!crs || !proj_is_crs(crs.get())) {
    HCORE_FAILF(err, "PROJ does not accept the definition as a coordinate system: %s",
                crs ? "not a CRS" : ProjMessage(context));
    return nullptr;
  }
  return crs;
}

bool IsGeographicType(PJ_TYPE type) {
  return type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
}

// Geographic coordinates are handed over as degrees from Greenwich, so a geographic system in
// other units or on another prime meridian would give wrong numbers.
bool InDegreesFromGreenwich(PJ_CONTEXT* context, const PJ* geographic) {
  PjPtr axes(proj_crs_get_coordinate_system(context, geographic));
  double factor = 0.0;
  PjPtr meridian(proj_get_prime_meridian(context, geographic));
  double longitude = 1.0;
  return axes &&
         proj_cs_get_axis_info(context, axes.get(), 0, nullptr, nullptr, nullptr, &factor,
                               nullptr, nullptr, nullptr) &&
         std::fabs(factor - M_PI / 180.0) < 1e-15 && meridian &&
         proj_prime_meridian_get_parameters(context, meridian.get(), &longitude, nullptr,
                                            nullptr) &&
         longitude == 0.0;
}

// Completes a coordinate system: keeps the horizontal part of a compound CRS, orders the axes
// x east, y north, and finds the way to geographic coordinates.
bool Complete(PJ_CONTEXT* context, PjPtr crs, Built* built, ErrorReport** err) {
  if (proj_get_type(crs.get()) == PJ_TYPE_COMPOUND_CRS) {
    crs.reset(proj_crs_get_sub_crs(context, crs.get(), 0));
  }
  if (crs) crs.reset(proj_normalize_for_visualization(context, crs.get()));
  if (!crs) {
    HCORE_FAILF(err, "PROJ cannot order the axes: %s", ProjMessage(context));
    return false;
  }
  // A CRS bound to a hub keeps its binding in the WKT; the way to geographic uses its base.
  PjPtr base(proj_get_type(crs.get()) == PJ_TYPE_BOUND_CRS
                 ? proj_get_source_crs(context, crs.get())
                 : proj_clone(context, crs.get()));
  const PJ_TYPE type = base ? proj_get_type(base.get()) : PJ_TYPE_UNKNOWN;
  if (!IsGeographicType(type) && type != PJ_TYPE_PROJECTED_CRS) {
    HCORE_FAIL(err, "The coordinate system is neither geographic nor projected.");
    return false;
  }
  built->geographic = IsGeographicType(type);
  if (built->geographic && !InDegreesFromGreenwich(context, base.get())) {
    HCORE_FAIL(err, "Geographic coordinate systems must be in degrees from Greenwich.");
    return false;
  }
  if (!built->geographic) {
    PjPtr geodetic(proj_crs_get_geodetic_crs(context, base.get()));
    PjPtr ordered(geodetic ? proj_normalize_for_visualization(context, geodetic.get()) : nullptr);
    if (ordered && !InDegreesFromGreenwich(context, ordered.get())) {
      HCORE_FAIL(err, "The base of the coordinate system must be in degrees from Greenwich.");
      return false;
    }
    PJ_OPERATION_FACTORY_CONTEXT* factory = proj_create_operation_factory_context(context, nullptr);
    PJ_OBJ_LIST* operations =
        ordered && factory ? proj_create_operations(context, base.get(), ordered.get(), factory)
                           : nullptr;
    if (operations && proj_list_get_count(operations) > 0) {
      built->toGeographic.reset(proj_list_get(context, operations, 0));
    }
    proj_list_destroy(operations);
    proj_operation_factory_context_destroy(factory);
    if (!built->toGeographic) {
      HCORE_FAILF(err, "PROJ cannot convert the coordinate system to geographic: %s",
                  ProjMessage(context));
      return false;
    }
  }
  const char* wkt = proj_as_wkt(context, crs.get(), PJ_WKT2_2019, nullptr);
  if (!wkt) {
    HCORE_FAILF(err, "PROJ cannot write the WKT: %s", ProjMessage(context));
    return false;
  }
  built->wkt = wkt;
  built->crs = std::move(crs);
  return true;
}

void Release(Hprj_Projection* projection) {
  proj_destroy(projection->toGeographic);
  proj_destroy(projection->crs);
  proj_context_destroy(projection->context);
  hprj_ProParametersFree(&projection->parameters);
  hmsc_HeapFree(projection->wkt);
  projection->~Hprj_Projection();
  hmsc_HeapFree(projection);
}

// A new projection from the recipe key (made by maker from input the first time); null with a
// report.
Hprj_Projection* Make(const std::string& key, CrsMaker maker, const void* input,
                      ErrorReport** err) {
  void* block = hmsc_HeapMalloc(sizeof(Hprj_Projection));
  if (!block) {
    HCORE_FAIL(err, "Couldn't allocate space.");
    return nullptr;
  }
  auto* projection = new (block) Hprj_Projection;
  Workshop& workshop = TheWorkshop();
  std::lock_guard<std::mutex> guard(workshop.mutex);
  auto found = workshop.built.find(key);
  if (found == workshop.built.end()) {
    Built built;
    PjPtr crs = workshop.context ? maker(workshop.context, input, err) : nullptr;
    if (!crs || !Complete(workshop.context, std::move(crs), &built, err)) {
      if (!workshop.context) HCORE_FAIL(err, "Couldn't create a PROJ context.");
      Release(projection);
      return nullptr;
    }
    found = workshop.built.emplace(key, std::move(built)).first;
  }
  const Built& built = found->second;
  projection->geographic = built.geographic;
  projection->context = SilentContext();
  if (projection->context) {
    projection->crs = proj_clone(projection->context, built.crs.get());
    if (built.toGeographic) {
      projection->toGeographic = proj_clone(projection->context, built.toGeographic.get());
    }
  }
  if (!projection->crs || (built.toGeographic && !projection->toGeographic)) {
    HCORE_FAIL(err, "PROJ cannot copy the coordinate system.");
    Release(projection);
    return nullptr;
  }
  if (!(projection->wkt = hstr_Duplicate(built.wkt.c_str()))) {
    HCORE_FAIL(err, "Couldn't allocate space.");
    Release(projection);
    return nullptr;
  }
  return projection;
}

// The recipe of parameters: everything that the coordinate system is made from.
std::string ParametersKey(const Hprj_ProParameters& parameters) {
  const Hprj_Spheroid& spheroid = *parameters.proSpheroid;
  char key[4 * HPRJ_NAME_SIZE + 128];
  std::snprintf(key, sizeof key, "P %d %d %.*s %.17g %.17g %.*s", parameters.proType,
                parameters.proType == 0 ? 0 : parameters.proZone, HPRJ_NAME_SIZE,
                spheroid.sphereName, spheroid.a, spheroid.b, HPRJ_NAME_SIZE,
                spheroid.datum.datumName);
  return key;
}

int Transform(const Hprj_Projection* projection, PJ_DIRECTION direction, double x, double y,
              double* outX, double* outY, const char* function, ErrorReport** err) {
  if (!projection || !outX || !outY) {
    hcore::Fail(err, function, __LINE__, "Null argument.");
    return -1;
  }
  if (!std::isfinite(x) || !std::isfinite(y)) {
    hcore::Fail(err, function, __LINE__, "The point is not finite.");
    return -1;
  }
  PJ_COORD point = proj_coord(x, y, 0.0, 0.0);
  if (projection->toGeographic) {
    std::lock_guard<std::mutex> guard(const_cast<Hprj_Projection*>(projection)->lock);
    proj_errno_reset(projection->toGeographic);
    point = proj_trans(projection->toGeographic, direction, point);
  }
  if (!std::isfinite(point.xy.x) || !std::isfinite(point.xy.y)) {
    hcore::FailFormat(err, function, __LINE__, "PROJ cannot transform (%.17g, %.17g): %s", x, y,
                      ProjMessage(projection->context));
    return -1;
  }
  *outX = point.xy.x;
  *outY = point.xy.y;
  return 0;
}

}  // namespace

extern "C" {

Hprj_Projection* hprj_ProjectionInit(HintInit*, const Hprj_ProParameters* parameters,
                                     ErrorReport** err) {
  if (!parameters || !parameters->proSpheroid) {
    HCORE_FAIL(err, "No projection parameters.");
    return nullptr;
  }
  const bool geographic = parameters->proType == 0 && parameters->proNumber == 0;
  const bool utm = parameters->proType == 1 && parameters->proNumber == 0;
  if (!geographic && !utm) {
    HCORE_FAILF(err, "Unsupported projection type %d number %d.", parameters->proType,
                parameters->proNumber);
    return nullptr;
  }
  if (utm && (parameters->proZone == 0 || parameters->proZone > 60 || parameters->proZone < -60)) {
    HCORE_FAILF(err, "Bad UTM zone %d.", parameters->proZone);
    return nullptr;
  }
  // PROJ evaluates UTM on ellipsoids only; on a sphere it would fail at every point.
  if (utm && !(parameters->proSpheroid->eSquared > 0.0)) {
    HCORE_FAIL(err, "UTM needs an ellipsoid, not a sphere.");
    return nullptr;
  }
  Hprj_Projection* projection = Make(ParametersKey(*parameters), ParametersCrs, parameters, err);
  if (projection && !(projection->parameters = hprj_ProParametersCopy(parameters, nullptr, err))) {
    Release(projection);
    return nullptr;
  }
  return projection;
}

Hprj_Projection* hprj_ProjectionFromDefinition(const char* definition, ErrorReport** err) {
  if (!definition || !*definition) {
    HCORE_FAIL(err, "No definition.");
    return nullptr;
  }
  return Make(std::string("D ") + definition, DefinitionCrs, definition, err);
}

void hprj_ProjectionFree(Hprj_Projection** projection) {
  if (!projection || !*projection) return;
  Release(*projection);
  *projection = nullptr;
}

const void* hprj_MapProjectionCSRGet(const Hprj_Projection* projection, const char* component) {
  if (!projection || !component) return nullptr;
  if (hstr_Eqic(component, "Hprj_ProParameters")) return projection->parameters;
  return nullptr;
}

const char* hprj_ProjectionWkt(const Hprj_Projection* projection) {
  return projection ? projection->wkt : nullptr;
}

int hprj_ProjectionIsGeographic(const Hprj_Projection* projection) {
  return projection && projection->geographic;
}

int hprj_ProjectionToGeographic(const Hprj_Projection* projection, double x, double y,
                                double* longitude, double* latitude, ErrorReport** err) {
  return Transform(projection, PJ_FWD, x, y, longitude, latitude, __func__, err);
}

int hprj_ProjectionFromGeographic(const Hprj_Projection* projection, double longitude,
                                  double latitude, double* x, double* y, ErrorReport** err) {
  return Transform(projection, PJ_INV, longitude, latitude, x, y, __func__, err);
}

}  // extern "C"
