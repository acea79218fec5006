#include "sensor_transformer.h"

#include <cpl_minixml.h>
#include <gdal_alg.h>
#include <gdal_alg_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "read_error.h"

namespace senmod_io {

namespace {

const char kClassName[] = "SenmodSensorTransformer";

// The ways between WGS 84 longitude and latitude and the grid's coordinate system; both null
// when the grid is in longitude and latitude.
struct GridTransformations {
  std::unique_ptr<OGRCoordinateTransformation> toLonLat;
  std::unique_ptr<OGRCoordinateTransformation> fromLonLat;
};

GridTransformations gridTransformations(const std::string& wkt) {
  OGRSpatialReference grid;
  OGRSpatialReference lonLat;
  grid.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  lonLat.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (grid.importFromWkt(wkt.c_str()) != OGRERR_NONE ||
      lonLat.SetFromUserInput("EPSG:4326") != OGRERR_NONE) {
    throw ReadError("the output coordinate system cannot be read");
  }
  GridTransformations t;
  if (grid.IsSame(&lonLat)) return t;
  t.toLonLat.reset(OGRCreateCoordinateTransformation(&grid, &lonLat));
  t.fromLonLat.reset(OGRCreateCoordinateTransformation(&lonLat, &grid));
  if (!t.toLonLat || !t.fromLonLat) {
    throw ReadError("the output coordinate system cannot be reached from longitude and latitude");
  }
  return t;
}

struct State {
  State(std::shared_ptr<const TransformerSetup> s, long i)
      : setup(std::move(s)),
        id(i),
        geometry(*setup->engine, setup->height, true),
        grid(gridTransformations(setup->wkt)) {
    if (!GDALInvGeoTransform(const_cast<double*>(setup->geoTransform), inverse)) {
      throw ReadError("the output grid has no inverse");
    }
  }
  std::shared_ptr<const TransformerSetup> setup;
  long id;
  SensorGeometry geometry;
  GridTransformations grid;
  double inverse[6] = {};
  // Image to ground, grown to the longest call and then kept: the heights found, and the
  // success flags before the step to the grid's coordinate system.
  std::vector<double> heights;
  std::vector<int> kept;
  // Rows of the warper: the points carried by PROJ, and their flags.
  std::vector<double> exactX, exactY;
  std::vector<int> exactOk;
};

// What GDAL is given: its transformer record first, as GDAL reads it through the pointer.
struct Handle {
  GDALTransformerInfo info;
  State* state;
};

// The set-ups of live transformers by id: a clone is made from the id written when GDAL
// serializes a transformer.
std::mutex registryLock;
std::map<long, std::weak_ptr<const TransformerSetup>> registry;
long lastId = 0;

void destroy(void* transformer) {
  Handle* handle = static_cast<Handle*>(transformer);
  if (!handle) return;
  delete handle->state;
  delete handle;
}

CPLXMLNode* serialize(void* transformer) {
  const Handle* handle = static_cast<const Handle*>(transformer);
  CPLXMLNode* node = CPLCreateXMLNode(nullptr, CXT_Element, kClassName);
  CPLCreateXMLElementAndValue(node, "Id", std::to_string(handle->state->id).c_str());
  return node;
}

void* makeHandle(const std::shared_ptr<const TransformerSetup>& setup, long id) {
  auto handle = std::make_unique<Handle>();
  std::memcpy(handle->info.abySignature, GDAL_GTI2_SIGNATURE, sizeof handle->info.abySignature);
  handle->info.pszClassName = kClassName;
  handle->info.pfnTransform = sensorTransform;
  handle->info.pfnCleanup = destroy;
  handle->info.pfnSerialize = serialize;
  handle->info.pfnCreateSimilar = nullptr;
  handle->state = new State(setup, id);
  return handle.release();
}

void* deserialize(CPLXMLNode* node) {
  const long id = std::atol(CPLGetXMLValue(node, "Id", "0"));
  std::shared_ptr<const TransformerSetup> setup;
  {
    const std::lock_guard<std::mutex> hold(registryLock);
    const auto found = registry.find(id);
    if (found != registry.end()) setup = found->second.lock();
  }
  if (!setup) return nullptr;
  try {
    return makeHandle(setup, id);
  } catch (...) {
    return nullptr;
  }
}

void registerDeserializer() {
  static std::once_flag once;
  std::call_once(
      once, [] { GDALRegisterTransformDeserializer(kClassName, sensorTransform, deserialize); });
}

// A row of the warper's: cells evenly spaced along one line of the grid, as GDAL's warper asks
// for them (and as a C program warping with the face's transformer does).
constexpr int kSpan = 32;

bool isRow(int count, const double* x, const double* y) {
  if (count < 2 * kSpan) return false;
  const double dx = x[1] - x[0];
  if (!(std::fabs(dx) > 0.0)) return false;
  for (int i = 1; i < count; ++i) {
    if (y[i] != y[0] || x[i] - x[i - 1] != dx) return false;
  }
  return true;
}

// The largest distance (degrees) from PROJ's longitude and latitude that an interpolated cell
// may have: about a micrometre on the ground, far below any image's hundredth of a pixel.
constexpr double kLonLatTolerance = 1e-11;

// Map coordinates of a row (see isRow) to longitude and latitude. PROJ carries the cells at the
// ends, the middle and the first quarter of each span of kSpan cells; the others take the
// quadratic through the ends and the middle of their span, when it meets PROJ's answer at the
// quarter within kLonLatTolerance in both coordinates (interpolation error along such a span
// peaks near its quarters, within 3% of that point's). A span that misses (a projection's edge or
// fold, a failed point) is carried by PROJ cell by cell.
void rowToLonLat(State& s, int count, double* x, double* y, int* success) {
  const int spans = (count - 1 + kSpan - 1) / kSpan;
  const size_t exact = static_cast<size_t>(spans) * 3 + 1;
  // PROJ's cells first, then those of the spans that miss.
  s.exactX.resize(std::max(s.exactX.size(), exact + count));
  s.exactY.resize(s.exactX.size());
  s.exactOk.resize(s.exactX.size());
  s.kept.resize(std::max<size_t>(s.kept.size(), count));
  double* ex = s.exactX.data();
  double* ey = s.exactY.data();
  int* eok = s.exactOk.data();
  // Per span k: its start at 3k, its quarter at 3k + 1, its middle at 3k + 2; the row's last cell
  // at 3 * spans.
  auto quarterOf = [&](int a, int b) { return a + (b - a) / 4; };
  auto middleOf = [&](int a, int b) { return a + (b - a) / 2; };
  for (int k = 0; k < spans; ++k) {
    const int a = k * kSpan;
    const int b = std::min(a + kSpan, count - 1);
    for (const auto& [slot, i] : {std::pair{0, a}, {1, quarterOf(a, b)}, {2, middleOf(a, b)}}) {
      ex[3 * k + slot] = x[i];
      ey[3 * k + slot] = y[i];
      eok[3 * k + slot] = 1;
    }
  }
  ex[3 * spans] = x[count - 1];
  ey[3 * spans] = y[count - 1];
  eok[3 * spans] = 1;
  s.grid.toLonLat->Transform(static_cast<int>(exact), ex, ey, nullptr, eok);
  int missed = 0;
  for (int k = 0; k < spans; ++k) {
    const int a = k * kSpan;
    const int b = std::min(a + kSpan, count - 1);
    const int q = quarterOf(a, b);
    const int m = middleOf(a, b);
    const double* lon[3] = {&ex[3 * k], &ex[3 * k + 2], &ex[3 * k + 3]};
    const double* lat[3] = {&ey[3 * k], &ey[3 * k + 2], &ey[3 * k + 3]};
    // Lagrange's quadratic through t = 0, tm, tb (cells from a).
    const double tm = m - a;
    const double tb = b - a;
    auto quadratic = [&](const double* const* f, double t) {
      return *f[0] * ((t - tm) * (t - tb)) / (tm * tb) +
             *f[1] * (t * (t - tb)) / (tm * (tm - tb)) +
             *f[2] * (t * (t - tm)) / (tb * (tb - tm));
    };
    const bool flagged = eok[3 * k] && eok[3 * k + 1] && eok[3 * k + 2] && eok[3 * k + 3];
    const bool meets = flagged && m > a && m < b && q > a && q < m &&
                       std::fabs(quadratic(lon, q - a) - ex[3 * k + 1]) <= kLonLatTolerance &&
                       std::fabs(quadratic(lat, q - a) - ey[3 * k + 1]) <= kLonLatTolerance;
    if (!meets) {
      for (int i = a; i < b; ++i) {
        ex[exact + missed] = x[i];
        ey[exact + missed] = y[i];
        eok[exact + missed] = 1;
        s.kept[missed++] = i;
      }
      continue;
    }
    const double qLon = ex[3 * k + 1], qLat = ey[3 * k + 1];
    for (int i = a + 1; i < b; ++i) {
      x[i] = i == q ? qLon : i == m ? *lon[1] : quadratic(lon, i - a);
      y[i] = i == q ? qLat : i == m ? *lat[1] : quadratic(lat, i - a);
      success[i] = 1;
    }
    x[a] = *lon[0];
    y[a] = *lat[0];
    success[a] = 1;
  }
  x[count - 1] = ex[3 * spans];
  y[count - 1] = ey[3 * spans];
  success[count - 1] = eok[3 * spans];
  if (missed == 0) return;
  s.grid.toLonLat->Transform(missed, ex + exact, ey + exact, nullptr, eok + exact);
  for (int j = 0; j < missed; ++j) {
    const int i = s.kept[j];
    x[i] = ex[exact + j];
    y[i] = ey[exact + j];
    success[i] = eok[exact + j];
  }
}

void gridToLonLat(State& s, int count, double* x, double* y, int* success) {
  const double* g = s.setup->geoTransform;
  const bool row = s.grid.toLonLat && isRow(count, x, y);
  for (int i = 0; i < count; ++i) {
    const double px = x[i];
    x[i] = g[0] + px * g[1] + y[i] * g[2];
    y[i] = g[3] + px * g[4] + y[i] * g[5];
    success[i] = 1;
  }
  if (row) {
    rowToLonLat(s, count, x, y, success);
  } else if (s.grid.toLonLat) {
    s.grid.toLonLat->Transform(count, x, y, nullptr, success);
  }
}

void lonLatToGrid(State& s, int count, double* x, double* y, int* success) {
  if (s.grid.fromLonLat) {
    // OGR sets the flag of every point; keep the ones the model could not carry down.
    s.kept.resize(std::max<size_t>(s.kept.size(), count));
    std::copy(success, success + count, s.kept.begin());
    s.grid.fromLonLat->Transform(count, x, y, nullptr, success);
    for (int i = 0; i < count; ++i) success[i] = success[i] && s.kept[i];
  }
  for (int i = 0; i < count; ++i) {
    const double gx = x[i];
    x[i] = s.inverse[0] + gx * s.inverse[1] + y[i] * s.inverse[2];
    y[i] = s.inverse[3] + gx * s.inverse[4] + y[i] * s.inverse[5];
  }
}

}  // namespace

void* createSensorTransformer(const std::shared_ptr<const TransformerSetup>& setup) {
  registerDeserializer();
  long id = 0;
  {
    const std::lock_guard<std::mutex> hold(registryLock);
    for (auto it = registry.begin(); it != registry.end();) {
      it = it->second.expired() ? registry.erase(it) : std::next(it);
    }
    id = ++lastId;
    registry[id] = setup;
  }
  return makeHandle(setup, id);
}

int sensorTransform(void* transformer, int dstToSrc, int count, double* x, double* y, double* z,
                    int* success) {
  State& s = *static_cast<Handle*>(transformer)->state;
  if (count <= 0) return TRUE;
  try {
    if (dstToSrc) {
      gridToLonLat(s, count, x, y, success);
      s.geometry.groundToPixel(static_cast<size_t>(count), x, y, success);
      return TRUE;
    }
    for (int i = 0; i < count; ++i) success[i] = 1;
    std::vector<double>& heights = s.heights;
    heights.resize(std::max<size_t>(heights.size(), count));
    s.geometry.pixelToGround(static_cast<size_t>(count), x, y, heights.data(), success);
    if (z) {
      for (int i = 0; i < count; ++i) z[i] = heights[i];
    }
    lonLatToGrid(s, count, x, y, success);
    return TRUE;
  } catch (...) {
    for (int i = 0; i < count; ++i) success[i] = 0;
    return FALSE;
  }
}

}  // namespace senmod_io
