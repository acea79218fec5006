#include "sensor_transformer.h"

#include <cpl_minixml.h>
#include <gdal_alg.h>
#include <gdal_alg_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
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

void gridToLonLat(State& s, int count, double* x, double* y, int* success) {
  const double* g = s.setup->geoTransform;
  for (int i = 0; i < count; ++i) {
    const double px = x[i];
    x[i] = g[0] + px * g[1] + y[i] * g[2];
    y[i] = g[3] + px * g[4] + y[i] * g[5];
    success[i] = 1;
  }
  if (s.grid.toLonLat) s.grid.toLonLat->Transform(count, x, y, nullptr, success);
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
