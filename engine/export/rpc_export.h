// A model exported as an RPC for GDAL: fitted, checked against the model as GDAL reads it back
// from the file written, and refused when it fits worse than asked.
#ifndef SENMOD_IO_RPC_EXPORT_H
#define SENMOD_IO_RPC_EXPORT_H

#include <optional>
#include <string>
#include <vector>

#include "point_engine.h"
#include "senmod/senmod_io.h"
#include "rpc_coefficients.h"
#include "rpc_file.h"
#include "rpc_fit.h"
#include "rpc_residual.h"

namespace senmod_io {

struct RpcExportJob {
  std::string output;
  std::optional<RpcFormat> format;  // from output's name when not given
  std::string image;                // the raster GTIFF and NITF copy; "" for the sidecars
  RpcFitOptions fit;
  std::optional<double> maxResidual;  // pixels: an RPC whose largest residual is larger is
                                      // refused and nothing is written
  smod_ProgressFunc progress = nullptr;  // follows the copy of image; returns 0 to stop it
  void* progressArg = nullptr;
  // The model's own accuracy, unknown by default: ERR_BIAS is its bias, ERR_RAND its random
  // error and the fit's own share together (root sum of squares).
  RpcAccuracy modelAccuracy;
};

// The RPC's figures, for the report.
struct RpcExportResult {
  RpcFormat format = RpcFormat::Rpb;
  RpcFit fit;
  RpcResidual residual;     // of the RPC as GDAL reads it back from the file written
  RpcAccuracy accuracy;     // what ERR_BIAS and ERR_RAND hold
  double groundSampleDistance = 0.0;  // m per pixel at the image centre; NaN when unknown
  std::vector<std::string> warnings;  // for people
};

// Fits the RPC of engine's model (read from modelPath, which the output may not replace) and
// writes it as job says, under a temporary name renamed when complete. The residual is measured
// on the check grid of RpcCheck with the RPC that GDAL reads back from the file written.
// Throws ReadError for a bad job, a model that cannot be fitted or an RPC worse than
// job.maxResidual, WriteError for an output that cannot be written or a copy stopped by
// job.progress; nothing is then left under job.output.
RpcExportResult exportRpc(PointEngine& engine, const std::string& modelPath,
                          const RpcExportJob& job);

// The result as one JSON object followed by a line feed.
std::string rpcExportJson(const RpcExportJob& job, const RpcExportResult& result);

}  // namespace senmod_io

#endif
