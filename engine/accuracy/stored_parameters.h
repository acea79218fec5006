// A model's adjustable parameters as one object of a model file: design kParametersDesign, an
// empty dictionary, and these bytes (integers and IEEE doubles little-endian):
//   u32      encoding version (1)
//   u32 n    then n bytes: the source text (at most 4096 bytes, no zero byte)
//   f64 × 18 origin (3), axes (9), offset (3), scale (3)
//   u32      parameter count P (at most 36)
//   f64 × P  values
//   u32      term count T (at most 99)
//   per term: u8 kind (0 row, 1 sample, 2 ground), u8 × 3 the powers of x, y and z (row and
//            sample) or the ground term (0 GXO ... 15 GZZ) and two zeros, u32 parameter (from 0)
//   u8       1 when a covariance follows, else 0; then f64 × P² (row-major)
//   u8       1 when the unmodelled error follows, else 0; then f64 × 3 (URR, URC, UCC)
// The names are not stored: they follow from the terms.
#ifndef SENMOD_IO_STORED_PARAMETERS_H
#define SENMOD_IO_STORED_PARAMETERS_H

#include <string>
#include <vector>

#include "adjustable_parameters.h"

namespace senmod_io {

// The design name of the stored parameters in a model file.
inline constexpr const char* kParametersDesign = "senmod:AdjustableParameters";

// The bytes of parameters. Throws ReadError naming file when parameters fails checkParameters
// (parameter_records.h) or exceeds the counts above.
std::vector<unsigned char> encodeParameters(const AdjustableParameters& parameters,
                                            const std::string& file);

// The parameters of bytes. Throws ReadError naming file for another encoding version, a count
// beyond the limits above, bytes missing or left over, and parameters that checkParameters
// refuses.
AdjustableParameters decodeParameters(const std::vector<unsigned char>& bytes,
                                      const std::string& file);

}  // namespace senmod_io

#endif
