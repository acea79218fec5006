// Live map projections on PROJ. Each projection has its own PROJ context, so projections can be
// used on different threads; a lock makes one projection safe to share as well.
#include <proj.h>
#include <proj_experimental.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

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

const char* ProjMessage(PJ_CONTEXT* context) {
  const int code = proj_context_errno(context);
  const char* text = code ? proj_context_errno_string(context, code) : nullptr;
  return text ? text : "no further detail";
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

// A new projection with a silent PROJ context and nothing else; null with a report.
Hprj_Projection* NewProjection(const char* function, ErrorReport** err) {
  void* block = hmsc_HeapMalloc(sizeof(Hprj_Projection));
  if (!block) {
    hcore::Fail(err, function, __LINE__, "Couldn't allocate space.");
    return nullptr;
  }
  auto* projection = new (block) Hprj_Projection;
  projection->context = proj_context_create();
  if (!projection->context) {
    Release(projection);
    hcore::Fail(err, function, __LINE__, "Couldn't create a PROJ context.");
    return nullptr;
  }
  proj_log_func(projection->context, nullptr, Silent);
  proj_log_level(projection->context, PJ_LOG_NONE);
  return projection;
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

PjPtr UtmCrs(PJ_CONTEXT* context, PJ* geodetic, int zone, ErrorReport** err) {
  const bool north = zone > 0;
  const int number = north ? zone : -zone;
  PjPtr conversion(proj_create_conversion_utm(context, number, north));
  PjPtr axes(proj_create_cartesian_2D_cs(context, PJ_CART2D_EASTING_NORTHING, "metre", 1.0));
  char name[160];
  std::snprintf(name, sizeof name, "%s / UTM zone %d%c", proj_get_name(geodetic), number,
                north ? 'N' : 'S');
  PjPtr crs(conversion && axes
                ? proj_create_projected_crs(context, name, geodetic, conversion.get(), axes.get())
                : nullptr);
  if (!crs) HCORE_FAILF(err, "PROJ cannot make the UTM CRS: %s", ProjMessage(context));
  return crs;
}

bool IsGeographicType(PJ_TYPE type) {
  return type == PJ_TYPE_GEOGRAPHIC_2D_CRS || type == PJ_TYPE_GEOGRAPHIC_3D_CRS;
}

// Takes crs as the projection's coordinate system: keeps the horizontal part of a compound CRS,
// orders the axes x east, y north, and prepares the way to geographic coordinates.
bool Adopt(Hprj_Projection* projection, PjPtr crs, const char* function, ErrorReport** err) {
  PJ_CONTEXT* context = projection->context;
  if (proj_get_type(crs.get()) == PJ_TYPE_COMPOUND_CRS) {
    crs.reset(proj_crs_get_sub_crs(context, crs.get(), 0));
  }
  if (crs) crs.reset(proj_normalize_for_visualization(context, crs.get()));
  if (!crs) {
    hcore::FailFormat(err, function, __LINE__, "PROJ cannot order the axes: %s",
                      ProjMessage(context));
    return false;
  }
  // A CRS bound to a hub keeps its binding in the WKT; the way to geographic uses its base.
  PjPtr base(proj_get_type(crs.get()) == PJ_TYPE_BOUND_CRS
                 ? proj_get_source_crs(context, crs.get())
                 : proj_clone(context, crs.get()));
  const PJ_TYPE type = base ? proj_get_type(base.get()) : PJ_TYPE_UNKNOWN;
  if (!IsGeographicType(type) && type != PJ_TYPE_PROJECTED_CRS) {
    hcore::Fail(err, function, __LINE__,
                "The coordinate system is neither geographic nor projected.");
    return false;
  }
  projection->geographic = IsGeographicType(type);
  if (!projection->geographic) {
    PjPtr geodetic(proj_crs_get_geodetic_crs(context, base.get()));
    PjPtr ordered(geodetic ? proj_normalize_for_visualization(context, geodetic.get()) : nullptr);
    projection->toGeographic =
        ordered ? proj_create_crs_to_crs_from_pj(context, base.get(), ordered.get(), nullptr,
                                                 nullptr)
                : nullptr;
    if (!projection->toGeographic) {
      hcore::FailFormat(err, function, __LINE__,
                        "PROJ cannot convert the coordinate system to geographic: %s",
                        ProjMessage(context));
      return false;
    }
  }
  const char* wkt = proj_as_wkt(context, crs.get(), PJ_WKT2_2019, nullptr);
  if (!wkt) {
    hcore::FailFormat(err, function, __LINE__, "PROJ cannot write the WKT: %s",
                      ProjMessage(context));
    return false;
  }
  if (!(projection->wkt = hstr_Duplicate(wkt))) {
    hcore::Fail(err, function, __LINE__, "Couldn't allocate space.");
    return false;
  }
  projection->crs = crs.release();
  return true;
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
  Hprj_Projection* projection = NewProjection(__func__, err);
  if (!projection) return nullptr;
  PjPtr crs = GeodeticCrs(projection->context, *parameters->proSpheroid, err);
  if (crs && utm) crs = UtmCrs(projection->context, crs.get(), parameters->proZone, err);
  if (!crs || !Adopt(projection, std::move(crs), __func__, err) ||
      !(projection->parameters = hprj_ProParametersCopy(parameters, nullptr, err))) {
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
  Hprj_Projection* projection = NewProjection(__func__, err);
  if (!projection) return nullptr;
  PjPtr crs(proj_create(projection->context, definition));
  if (!crs || !proj_is_crs(crs.get())) {
    HCORE_FAILF(err, "PROJ does not accept the definition as a coordinate system: %s",
                crs ? "not a CRS" : ProjMessage(projection->context));
    Release(projection);
    return nullptr;
  }
  if (!Adopt(projection, std::move(crs), __func__, err)) {
    Release(projection);
    return nullptr;
  }
  return projection;
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
