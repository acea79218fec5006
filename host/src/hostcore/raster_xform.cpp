#include <string>

#include "core_fail.h"
#include "raster_grid.h"

int hxfr_Transform(HxfrXForm* xform, int32_t n, const double* in, double* out,
                   ErrorReport** err) {
  if (xform == nullptr || n < 0 || (n > 0 && (in == nullptr || out == nullptr))) {
    HCORE_FAIL(err, "Invalid transform or points");
    return -1;
  }
  for (int32_t i = 0; i < n; ++i) {
    double column = 0.0;
    double row = 0.0;
    if (!xform->toPixel.Apply(in[2 * i], in[2 * i + 1], &column, &row)) {
      HCORE_FAIL(err, ("Point " + std::to_string(i) + " cannot be transformed").c_str());
      return -1;
    }
    // Cell centres at whole numbers.
    out[2 * i] = column - 0.5;
    out[2 * i + 1] = row - 0.5;
  }
  return 0;
}

void hxfr_XFormFree(HxfrXForm** xform, ErrorReport**) {
  if (xform == nullptr || *xform == nullptr) return;
  (*xform)->~HxfrXForm();
  hmsc_HeapFree(*xform);
  *xform = nullptr;
}
