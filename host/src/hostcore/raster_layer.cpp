#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "core_fail.h"
#include "raster_grid.h"

namespace {

// The open option that carries the access mode, followed by its value (1: read only).
constexpr int kOptionAccess = 4097;
// Option lists end with 0; a list longer than this is taken as unterminated.
constexpr int kMaxOptions = 16;

char* LayerName(const char* file, int band) {
  return hstr_Duplicate((std::string(file) + "(:Layer_" + std::to_string(band) + ")").c_str());
}

}  // namespace

HstrStringList* himg_LayerGetNames(const char* fileName, HintInit*, ErrorReport** err) {
  hraster::EnsureGdal();
  CPLErrorReset();
  if (fileName == nullptr || fileName[0] == '\0') {
    HCORE_FAIL(err, "No raster file name given");
    return nullptr;
  }
  GDALDatasetH dataset =
      GDALOpenEx(fileName, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (dataset == nullptr) {
    hraster::FailGdal(err, __func__, __LINE__, std::string("Cannot open raster file ") + fileName);
    return nullptr;
  }
  const int bands = GDALGetRasterCount(dataset);
  GDALClose(dataset);
  if (bands < 1) {
    HCORE_FAIL(err, (std::string("Raster file ") + fileName + " has no layer").c_str());
    return nullptr;
  }
  auto* list = static_cast<HstrStringList*>(hmsc_HeapMalloc(sizeof(HstrStringList)));
  auto* items = static_cast<char**>(hmsc_HeapMalloc(bands * sizeof(char*)));
  if (list == nullptr || items == nullptr) {
    hmsc_HeapFree(list);
    hmsc_HeapFree(items);
    HCORE_FAIL(err, "No memory");
    return nullptr;
  }
  list->count = 0;
  list->items = items;
  for (int band = 1; band <= bands; ++band) {
    char* name = LayerName(fileName, band);
    if (name == nullptr) {
      hstr_StringListDelete(&list, nullptr);
      HCORE_FAIL(err, "No memory");
      return nullptr;
    }
    items[list->count++] = name;
  }
  return list;
}

HimgLayer* himg_LayerOpen(const char* layerName, HintInit*, ErrorReport** err, ...) {
  va_list options;
  va_start(options, err);
  bool terminated = false;
  bool known = true;
  for (int i = 0; i < kMaxOptions; ++i) {
    const int code = va_arg(options, int);
    if (code == 0) {
      terminated = true;
      break;
    }
    if (code != kOptionAccess) {
      known = false;
      break;
    }
    va_arg(options, int);  // every layer is read into memory: the access mode changes nothing
  }
  va_end(options);
  if (!terminated || !known) {
    HCORE_FAIL(err, "Unknown or unterminated layer open options");
    return nullptr;
  }
  std::string file;
  int band = 0;
  if (!hraster::ParseLayerName(layerName, &file, &band)) {
    HCORE_FAIL(err, (std::string("Bad layer name \"") + (layerName ? layerName : "") + "\"")
                        .c_str());
    return nullptr;
  }
  void* block = hmsc_HeapMalloc(sizeof(HimgLayer));
  if (block == nullptr) {
    HCORE_FAIL(err, "No memory");
    return nullptr;
  }
  auto* layer = new (block) HimgLayer;
  if (!hraster::LoadGrid(file.c_str(), band, &layer->grid, __func__, err)) {
    himg_LayerClose(&layer, nullptr);
    return nullptr;
  }
  if (layer->grid.hasNoData) {
    GDALCopyWords(&layer->grid.noData, GDT_Float64, 0, layer->rawNull, layer->grid.type, 0, 1);
  }
  return layer;
}

void himg_LayerClose(HimgLayer** layer, ErrorReport**) {
  if (layer == nullptr || *layer == nullptr) return;
  (*layer)->~HimgLayer();
  hmsc_HeapFree(*layer);
  *layer = nullptr;
}

int32_t himg_LayerPixelType(const HimgLayer* layer) {
  return layer ? static_cast<int32_t>(layer->grid.type) : static_cast<int32_t>(GDT_Unknown);
}

const void* himg_LayerRawNullValue(const HimgLayer* layer) {
  return layer && layer->grid.hasNoData ? layer->rawNull : nullptr;
}

HstaStatistics* himg_StatisticsRead(HimgLayer* layer, int32_t band, ErrorReport** err) {
  if (layer == nullptr || band != 0) {
    HCORE_FAIL(err, "Invalid layer or band");
    return nullptr;
  }
  const HstaStatistics statistics = hraster::GridStatistics(layer->grid);
  if (statistics.validCount == 0) {
    HCORE_FAIL(err, "The layer has no valid pixel");
    return nullptr;
  }
  auto* result = static_cast<HstaStatistics*>(hmsc_HeapMalloc(sizeof(HstaStatistics)));
  if (result == nullptr) {
    HCORE_FAIL(err, "No memory");
    return nullptr;
  }
  *result = statistics;
  return result;
}

void hsta_StatisticsDelete(HstaStatistics** statistics, ErrorReport**) {
  if (statistics == nullptr) return;
  hmsc_HeapFree(*statistics);
  *statistics = nullptr;
}

HimgPixelRect* himg_PixelRectCreate(int32_t width, int32_t height, int32_t pixelType,
                                    ErrorReport** err) {
  if (width < 1 || height < 1 || static_cast<long long>(width) * height > hraster::kMaxCells) {
    HCORE_FAIL(err, "Invalid pixel rectangle size");
    return nullptr;
  }
  auto* rect = static_cast<HimgPixelRect*>(hmsc_HeapMalloc(sizeof(HimgPixelRect)));
  auto* values = static_cast<double*>(
      hmsc_HeapMalloc(static_cast<size_t>(width) * height * sizeof(double)));
  if (rect == nullptr || values == nullptr) {
    hmsc_HeapFree(rect);
    hmsc_HeapFree(values);
    HCORE_FAIL(err, "No memory");
    return nullptr;
  }
  std::memset(values, 0, static_cast<size_t>(width) * height * sizeof(double));
  *rect = HimgPixelRect{width, height, pixelType, values};
  return rect;
}

void himg_PixelRectDelete(HimgPixelRect** rect, ErrorReport**) {
  if (rect == nullptr || *rect == nullptr) return;
  hmsc_HeapFree((*rect)->values);
  hmsc_HeapFree(*rect);
  *rect = nullptr;
}

int himg_LayerRasterPixelRectGet(HimgLayer* layer, int32_t column, int32_t row, int32_t width,
                                 int32_t height, int32_t, HimgPixelRect* rect,
                                 ErrorReport** err) {
  if (layer == nullptr || rect == nullptr || rect->values == nullptr || width < 1 ||
      height < 1 || width > rect->width || height > rect->height) {
    HCORE_FAIL(err, "Invalid layer or pixel rectangle");
    return -1;
  }
  const hraster::Grid& grid = layer->grid;
  if (column < 0 || row < 0 || column > grid.columns - width || row > grid.rows - height) {
    HCORE_FAIL(err, "Pixel rectangle outside the layer");
    return -1;
  }
  for (int32_t r = 0; r < height; ++r) {
    for (int32_t c = 0; c < width; ++c) {
      rect->values[static_cast<size_t>(r) * rect->width + c] = grid.At(column + c, row + r);
    }
  }
  return 0;
}

int himg_LayerRasterNullValueSet(HimgLayer* layer, const HgdaBaseData* value, ErrorReport** err) {
  if (layer == nullptr || value == nullptr || value->data == nullptr || value->rows < 1 ||
      value->columns < 1) {
    HCORE_FAIL(err, "Invalid layer or null value");
    return -1;
  }
  layer->grid.SetNoData(value->data[0]);
  GDALCopyWords(&layer->grid.noData, GDT_Float64, 0, layer->rawNull, layer->grid.type, 0, 1);
  return 0;
}
