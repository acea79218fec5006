// Data buffers of 64-bit reals, stored column by column.
#include <cstdint>
#include <cstring>

#include "core_fail.h"
#include "hostcore.h"

extern "C" {

HgdaBaseData* hgda_BaseDataCreate(int32_t rows, int32_t columns, int32_t pixelType, int32_t kind,
                                  int32_t options, ErrorReport** err) {
  if (rows < 1 || columns < 1) {
    HCORE_FAIL(err, "Rows and columns must be at least 1.");
    return nullptr;
  }
  if (pixelType != HGDA_PIXEL_FLOAT64 || (kind != 2 && kind != 3) || options != 0) {
    HCORE_FAIL(err, "Unsupported pixel type, kind or options.");
    return nullptr;
  }
  const uint64_t count = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
  if (count > SIZE_MAX / sizeof(double)) {
    HCORE_FAIL(err, "Buffer too large.");
    return nullptr;
  }
  auto* buffer = static_cast<HgdaBaseData*>(hmsc_HeapMalloc(sizeof(HgdaBaseData)));
  auto* values = static_cast<double*>(hmsc_HeapMalloc(count * sizeof(double)));
  if (!buffer || !values) {
    hmsc_HeapFree(buffer);
    hmsc_HeapFree(values);
    HCORE_FAIL(err, "Couldn't allocate space.");
    return nullptr;
  }
  std::memset(values, 0, count * sizeof(double));
  *buffer = HgdaBaseData{rows, columns, pixelType, kind, values, rows, 1};
  return buffer;
}

void hgda_BaseDataDelete(HgdaBaseData* data, ErrorReport**) {
  if (!data) return;
  hmsc_HeapFree(data->data);
  hmsc_HeapFree(data);
}

}  // extern "C"
