// The files GDAL reads an RPC from, written by GDAL's own drivers so that their form is
// exactly what GDAL and the tools on it read: the sidecars of an image (.RPB and _rpc.txt, by
// the GeoTIFF driver's RPB and RPCTXT options), or a copy of an image with the RPC (a GeoTIFF
// with GDAL's RPC tag, a NITF file with an RPC00B record).
#ifndef SENMOD_IO_RPC_FILE_H
#define SENMOD_IO_RPC_FILE_H

#include <cpl_string.h>
#include <gdal.h>

#include <string>

namespace senmod_io {

enum class RpcFormat { Rpb, RpcText, GeoTiff, Nitf };

// "RPB", "RPCTXT", "GTIFF" or "NITF", as the C face's FORMAT option names them.
const char* rpcFormatName(RpcFormat format);

// The format named name (any case). Throws ReadError for another name.
RpcFormat rpcFormatNamed(const std::string& name);

// The format path's name calls for: ".RPB" RPB, "_rpc.txt" RPCTXT, ".tif" or ".tiff" GTIFF,
// ".ntf" or ".nitf" NITF (any case). Throws ReadError for another name.
RpcFormat rpcFormatOfPath(const std::string& path);

// True for the formats that copy an image.
inline bool copiesImage(RpcFormat format) {
  return format == RpcFormat::GeoTiff || format == RpcFormat::Nitf;
}

// Writes the RPC of metadata (GDAL's "RPC" items) to path in format; image is the raster the
// GeoTIFF and NITF formats copy (every band, its pixels and metadata, but not its own
// georeferencing: the geotransform, GCPs and coordinate system are left out, so that GDAL's
// tools take the RPC), calling progress (with progressArg) as it goes. Throws ReadError for an
// image GDAL cannot read, WriteError (GDAL's reason given) when the file cannot be written or
// progress stopped the copy.
void writeRpcFile(RpcFormat format, const std::string& path, char** metadata,
                  const std::string& image, GDALProgressFunc progress, void* progressArg);

// The RPC as GDAL reads it back from the file at path written in format: for a sidecar, from
// the sidecar beside a raster that has none of its own. Throws ReadError when GDAL finds none.
CPLStringList readRpcFile(RpcFormat format, const std::string& path);

}  // namespace senmod_io

#endif
