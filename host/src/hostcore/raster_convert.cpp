#include <cmath>
#include <cstdint>
#include <cstring>

#include <gdal.h>

#include "hostcore.h"

namespace {

// A raw pixel may lie at any alignment; a missing one reads as NaN.
template <typename T>
double Convert(const void* raw) {
  if (raw == nullptr) return std::nan("");
  T value;
  std::memcpy(&value, raw, sizeof value);
  return static_cast<double>(value);
}

double Unknown(const void*) { return std::nan(""); }

// Indexed by GDALDataType; complex pixels give their real part.
const HpxmConvert kConverters[GDT_TypeCount] = {
    Unknown,            // GDT_Unknown
    Convert<uint8_t>,   // GDT_Byte
    Convert<uint16_t>,  // GDT_UInt16
    Convert<int16_t>,   // GDT_Int16
    Convert<uint32_t>,  // GDT_UInt32
    Convert<int32_t>,   // GDT_Int32
    Convert<float>,     // GDT_Float32
    Convert<double>,    // GDT_Float64
    Convert<int16_t>,   // GDT_CInt16
    Convert<int32_t>,   // GDT_CInt32
    Convert<float>,     // GDT_CFloat32
    Convert<double>,    // GDT_CFloat64
    Convert<uint64_t>,  // GDT_UInt64
    Convert<int64_t>,   // GDT_Int64
};

}  // namespace

const HpxmConvert* hmsc_AddressOf_hpxm_Convert(void) { return kConverters; }
