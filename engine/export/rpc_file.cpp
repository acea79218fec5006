#include "rpc_file.h"

#include <cpl_conv.h>
#include <cpl_minixml.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>

#include "gdal_dataset.h"
#include "read_error.h"

namespace senmod_io {

namespace {

bool endsWith(const std::string& text, const char* ending) {
  const size_t n = std::strlen(ending);
  return text.size() >= n && EQUAL(text.c_str() + text.size() - n, ending);
}

// A directory of GDAL's memory file system, removed with what it holds.
class MemoryDirectory {
 public:
  MemoryDirectory() {
    static std::atomic<unsigned> made{0};
    path_ = "/vsimem/senmod-rpc-" + std::to_string(getpid()) + "-" + std::to_string(++made);
    VSIMkdir(path_.c_str(), 0755);
  }
  ~MemoryDirectory() { VSIRmdirRecursive(path_.c_str()); }
  MemoryDirectory(const MemoryDirectory&) = delete;
  MemoryDirectory& operator=(const MemoryDirectory&) = delete;

  std::string file(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The raster a sidecar goes with, and the sidecar's name beside it as GDAL's GeoTIFF driver
// writes it and reads it.
constexpr const char* kRaster = "rpc.tif";
const char* sidecarName(RpcFormat format) {
  return format == RpcFormat::Rpb ? "rpc.RPB" : "rpc_RPC.TXT";
}

// A one-pixel GeoTIFF at path with the RPC of metadata (null for none), created with option
// (null for none).
void writePixel(const std::string& path, char** metadata, const char* option) {
  const Dataset memory(GDALCreate(GDALGetDriverByName("MEM"), "", 1, 1, 1, GDT_Byte, nullptr));
  if (!memory) throw WriteError(withReason("a raster cannot be made in memory"));
  if (metadata && GDALSetMetadata(memory.get(), metadata, "RPC") != CE_None) {
    throw WriteError(withReason("GDAL does not take the RPC"));
  }
  char* options[] = {const_cast<char*>(option), nullptr};
  Dataset tiff(GDALCreateCopy(GDALGetDriverByName("GTiff"), path.c_str(), memory.get(), FALSE,
                              option ? options : nullptr, nullptr, nullptr));
  if (!tiff) throw WriteError(withReason(path + ": cannot be written"));
  closeWritten(std::move(tiff), path);
}

std::string readBytes(const std::string& path) {
  VSILFILE* file = VSIFOpenL(path.c_str(), "rb");
  if (!file) throw ReadError(path + ": cannot be read");
  std::string bytes;
  char block[4096];
  size_t n;
  while ((n = VSIFReadL(block, 1, sizeof block, file)) > 0) bytes.append(block, n);
  VSIFCloseL(file);
  return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes, const std::string& name) {
  VSILFILE* file = VSIFOpenL(path.c_str(), "wb");
  if (!file) throw WriteError(name + ": cannot be written");
  const bool written = VSIFWriteL(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (VSIFCloseL(file) != 0 || !written) throw WriteError(name + ": cannot be written");
}

struct XmlCloser {
  void operator()(CPLXMLNode* node) const { CPLDestroyXMLNode(node); }
};

// The raster at image as a virtual dataset without its own georeferencing and RPC.
Dataset withoutGeoreferencing(const std::string& image) {
  const Dataset source(GDALOpen(image.c_str(), GA_ReadOnly));
  if (!source) throw ReadError(withReason(image + ": not a raster GDAL can read"));
  const Dataset copy(GDALCreateCopy(GDALGetDriverByName("VRT"), "", source.get(), FALSE, nullptr,
                                    nullptr, nullptr));
  char** xml = copy ? GDALGetMetadata(copy.get(), "xml:VRT") : nullptr;
  if (!xml || !xml[0]) throw ReadError(withReason(image + ": cannot be copied"));
  const std::unique_ptr<CPLXMLNode, XmlCloser> root(CPLParseXMLString(xml[0]));
  CPLXMLNode* dataset = root ? CPLGetXMLNode(root.get(), "=VRTDataset") : nullptr;
  if (!dataset) throw ReadError(image + ": cannot be copied");
  for (CPLXMLNode* child = dataset->psChild; child;) {
    CPLXMLNode* next = child->psNext;
    const bool georeferencing =
        child->eType == CXT_Element &&
        (EQUAL(child->pszValue, "GeoTransform") || EQUAL(child->pszValue, "SRS") ||
         EQUAL(child->pszValue, "GCPList") ||
         (EQUAL(child->pszValue, "Metadata") &&
          EQUAL(CPLGetXMLValue(child, "domain", ""), "RPC")));
    if (georeferencing) {
      CPLRemoveXMLChild(dataset, child);
      CPLDestroyXMLNode(child);
    }
    child = next;
  }
  char* text = CPLSerializeXMLTree(root.get());
  Dataset bare(text ? GDALOpen(text, GA_ReadOnly) : nullptr);
  CPLFree(text);
  if (!bare) throw ReadError(withReason(image + ": cannot be copied"));
  return bare;
}

}  // namespace

const char* rpcFormatName(RpcFormat format) {
  switch (format) {
    case RpcFormat::Rpb:
      return "RPB";
    case RpcFormat::RpcText:
      return "RPCTXT";
    case RpcFormat::GeoTiff:
      return "GTIFF";
    case RpcFormat::Nitf:
      return "NITF";
  }
  return "";
}

RpcFormat rpcFormatNamed(const std::string& name) {
  for (const RpcFormat f : {RpcFormat::Rpb, RpcFormat::RpcText, RpcFormat::GeoTiff, RpcFormat::Nitf}) {
    if (EQUAL(name.c_str(), rpcFormatName(f))) return f;
  }
  throw ReadError("FORMAT takes RPB, RPCTXT, GTIFF or NITF, not \"" + name + "\"");
}

RpcFormat rpcFormatOfPath(const std::string& path) {
  if (endsWith(path, ".rpb")) return RpcFormat::Rpb;
  if (endsWith(path, "_rpc.txt")) return RpcFormat::RpcText;
  if (endsWith(path, ".tif") || endsWith(path, ".tiff")) return RpcFormat::GeoTiff;
  if (endsWith(path, ".ntf") || endsWith(path, ".nitf")) return RpcFormat::Nitf;
  throw ReadError(path +
                  ": the name says no RPC format: name a sidecar IMAGE.RPB or IMAGE_rpc.txt, or "
                  "a copy of the image .tif or .ntf");
}

void writeRpcFile(RpcFormat format, const std::string& path, char** metadata,
                  const std::string& image, GDALProgressFunc progress, void* progressArg) {
  if (!copiesImage(format)) {
    const MemoryDirectory directory;
    writePixel(directory.file(kRaster), metadata,
               format == RpcFormat::Rpb ? "RPB=YES" : "RPCTXT=YES");
    writeBytes(path, readBytes(directory.file(sidecarName(format))), path);
    return;
  }
  const Dataset bare = withoutGeoreferencing(image);
  if (GDALSetMetadata(bare.get(), metadata, "RPC") != CE_None) {
    throw WriteError(withReason("GDAL does not take the RPC"));
  }
  const bool tiff = format == RpcFormat::GeoTiff;
  // The NITF driver would keep the copied metadata in an .aux.xml beside the file as well.
  std::optional<CPLConfigOptionSetter> noSidecar;
  if (!tiff) noSidecar.emplace("GDAL_PAM_ENABLED", "NO", false);
  const char* tiffOptions[] = {"TILED=YES", "COMPRESS=DEFLATE", nullptr};
  Dataset out(GDALCreateCopy(GDALGetDriverByName(tiff ? "GTiff" : "NITF"), path.c_str(),
                             bare.get(), FALSE, tiff ? const_cast<char**>(tiffOptions) : nullptr,
                             progress, progressArg));
  if (!out) throw WriteError(withReason(path + ": cannot be written"));
  closeWritten(std::move(out), path);
}

CPLStringList readRpcFile(RpcFormat format, const std::string& path) {
  if (copiesImage(format)) {
    const Dataset written(GDALOpen(path.c_str(), GA_ReadOnly));
    char** rpc = written ? GDALGetMetadata(written.get(), "RPC") : nullptr;
    if (!rpc) throw ReadError(withReason(path + ": GDAL reads no RPC from the file written"));
    return CPLStringList(CSLDuplicate(rpc), TRUE);
  }
  const MemoryDirectory directory;
  writePixel(directory.file(kRaster), nullptr, nullptr);
  writeBytes(directory.file(sidecarName(format)), readBytes(path), path);
  const Dataset raster(GDALOpen(directory.file(kRaster).c_str(), GA_ReadOnly));
  char** rpc = raster ? GDALGetMetadata(raster.get(), "RPC") : nullptr;
  if (!rpc) throw ReadError(withReason(path + ": GDAL reads no RPC from the file written"));
  return CPLStringList(CSLDuplicate(rpc), TRUE);
}

}  // namespace senmod_io
