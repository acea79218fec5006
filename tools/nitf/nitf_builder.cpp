#include "nitf_builder.h"

#include <cpl_minixml.h>
#include <cpl_string.h>
#include <gdal.h>

#include <cstdio>
#include <map>
#include <stdexcept>

namespace nitf_builder {

namespace {

// Fields of the RSM records that are not 21-character reals.
const std::map<std::string, int>& widths(const std::string& tre) {
  static const std::map<std::string, int> index = [] {
    std::map<std::string, int> w;
    for (const char* f : {"IRO", "IRX", "IRY", "IRZ", "IRXX", "IRXY", "IRXZ", "IRYY", "IRYZ",
                          "IRZZ", "IC0", "ICX", "ICY", "ICZ", "ICXX", "ICXY", "ICXZ", "ICYY",
                          "ICYZ", "ICZZ", "GXO", "GYO", "GZO", "GXR", "GYR", "GZR", "GS",
                          "GXX", "GXY", "GXZ", "GYX", "GYY", "GYZ", "GZX", "GZY", "GZZ"}) {
      w[f] = 2;
    }
    return w;
  }();
  static const std::map<std::string, std::map<std::string, int>> tables = [] {
    std::map<std::string, std::map<std::string, int>> t;
    t["RSMIDA"] = {{"IID", 80},   {"EDITION", 40}, {"ISID", 40}, {"SID", 40},  {"STID", 40},
                   {"YEAR", 4},   {"MONTH", 2},    {"DAY", 2},   {"HOUR", 2},  {"MINUTE", 2},
                   {"SECOND", 9}, {"NRG", 8},      {"NCG", 8},   {"GRNDD", 1}, {"FULLR", 8},
                   {"FULLC", 8},  {"MINR", 8},     {"MAXR", 8},  {"MINC", 8},  {"MAXC", 8}};
    t["RSMPIA"] = {{"IID", 80}, {"EDITION", 40}, {"RNIS", 3}, {"CNIS", 3}, {"TNIS", 3}};
    t["RSMPCA"] = {{"IID", 80}, {"EDITION", 40}, {"RSN", 3}, {"CSN", 3}};
    for (const char* p : {"RN", "RD", "CN", "CD"}) {
      for (const char* a : {"PWRX", "PWRY", "PWRZ"}) t["RSMPCA"][std::string(p) + a] = 1;
      t["RSMPCA"][std::string(p) + "TRMS"] = 3;
    }
    t["RSMAPA"] = index;
    t["RSMAPA"].insert({{"IID", 80}, {"EDITION", 40}, {"TID", 40}, {"NPAR", 2}});
    t["RSMDCA"] = index;
    t["RSMDCA"].insert({{"IID", 80}, {"EDITION", 40}, {"TID", 40}, {"NPAR", 2}, {"NIMGE", 3},
                        {"NPART", 5}, {"NPARI", 2}});
    t["RSMECA"] = index;
    t["RSMECA"].insert({{"IID", 80}, {"EDITION", 40}, {"TID", 40}, {"INCLIC", 1},
                        {"INCLUC", 1}, {"NPAR", 2}, {"NPARO", 2}, {"IGN", 2}, {"CVDATE", 8},
                        {"NUMOPG", 2}, {"TCDF", 1}, {"NCSEG", 1}, {"UNCSR", 1}, {"UNCSC", 1}});
    // The B records' parameter definition, which each of them may carry.
    const std::map<std::string, int> definition = {
        {"IID", 80},   {"EDITION", 40}, {"TID", 40},   {"NPAR", 2},   {"APTYP", 1},
        {"LOCTYP", 1}, {"APBASE", 1},   {"NISAP", 2},  {"NISAPR", 2}, {"NISAPC", 2},
        {"XPWRR", 1},  {"YPWRR", 1},    {"ZPWRR", 1},  {"XPWRC", 1},  {"YPWRC", 1},
        {"ZPWRC", 1},  {"NGSAP", 2},    {"GSAPID", 4}, {"NBASIS", 2}};
    t["RSMAPB"] = definition;
    t["RSMDCB"] = definition;
    t["RSMDCB"].insert({{"NROWCB", 2}, {"NIMGE", 3}, {"IIDI", 80}, {"NCOLCB", 2}, {"INCAPD", 1}});
    t["RSMECB"] = definition;
    t["RSMECB"].insert({{"INCLIC", 1}, {"INCLUC", 1}, {"NPARO", 2}, {"IGN", 2}, {"CVDATE", 8},
                        {"NUMOPG", 2}, {"TCDF", 1}, {"ACSMC", 1}, {"NCSEG", 1}, {"UACSMC", 1},
                        {"UNCSR", 1}, {"UNCSC", 1}});
    return t;
  }();
  static const std::map<std::string, int> none;
  const auto found = tables.find(tre);
  return found == tables.end() ? none : found->second;
}

void collect(const CPLXMLNode* node, Fields& fields) {
  for (const CPLXMLNode* child = node->psChild; child; child = child->psNext) {
    if (child->eType != CXT_Element) continue;
    const std::string tag = child->pszValue;
    if (tag == "field") {
      fields.emplace_back(CPLGetXMLValue(child, "name", ""), CPLGetXMLValue(child, "value", ""));
    } else if (tag == "repeated" || tag == "group") {
      collect(child, fields);
    }
  }
}

}  // namespace

std::string encodeTre(const std::string& tre, const Fields& fields) {
  const auto& table = widths(tre);
  std::string raw;
  for (const auto& [name, value] : fields) {
    const auto found = table.find(name);
    const size_t width = found == table.end() ? 21 : static_cast<size_t>(found->second);
    if (value.size() > width) {
      throw std::invalid_argument(tre + " field " + name + ": \"" + value + "\" is too long");
    }
    raw += value + std::string(width - value.size(), ' ');
  }
  return raw;
}

std::string encodeTreXml(const CPLXMLNode* tre) {
  Fields fields;
  collect(tre, fields);
  return encodeTre(CPLGetXMLValue(tre, "name", ""), fields);
}

std::string real(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%+.14E", value);
  return text;
}

std::string whole(long value, int width) {
  char text[64];
  std::snprintf(text, sizeof text, "%0*ld", width, value);
  return text;
}

namespace {

// Writes image as a new file, or appends it as a further segment of a file started with room
// for segments images.
std::string writeSegment(const std::string& path, const NitfImage& image, bool append,
                         size_t segments) {
  GDALDriverH memory = GDALGetDriverByName("MEM");
  GDALDriverH nitf = GDALGetDriverByName("NITF");
  if (!memory || !nitf) return "GDAL has no MEM or NITF driver";
  GDALDatasetH source = GDALCreate(memory, "", image.width, image.height, 1, GDT_Byte, nullptr);
  if (!source) return CPLGetLastErrorMsg();
  if (!image.pixels.empty()) {
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
      GDALClose(source);
      return "the pixels do not fill the raster";
    }
    if (GDALRasterIO(GDALGetRasterBand(source, 1), GF_Write, 0, 0, image.width, image.height,
                     const_cast<unsigned char*>(image.pixels.data()), image.width, image.height,
                     GDT_Byte, 0, 0) != CE_None) {
      GDALClose(source);
      return CPLGetLastErrorMsg();
    }
  }
  if (!image.rpc.empty()) {
    char** rpc = nullptr;
    for (const std::string& item : image.rpc) rpc = CSLAddString(rpc, item.c_str());
    GDALSetMetadata(source, rpc, "RPC");
    CSLDestroy(rpc);
  }
  char** options = nullptr;
  for (const auto& [name, raw] : image.tres) {
    options = CSLAddString(options, ("TRE=" + name + "=" + raw).c_str());
  }
  for (const std::string& option : image.options) options = CSLAddString(options, option.c_str());
  if (append) options = CSLAddString(options, "APPEND_SUBDATASET=YES");
  if (!append && segments > 1) {
    options = CSLAddString(options, ("NUMI=" + std::to_string(segments)).c_str());
  }
  CPLErrorReset();
  GDALDatasetH written = GDALCreateCopy(nitf, path.c_str(), source, FALSE, options, nullptr,
                                        nullptr);
  CSLDestroy(options);
  GDALClose(source);
  if (!written) return CPLGetLastErrorMsg();
  GDALClose(written);
  return "";
}

}  // namespace

std::string writeNitf(const std::string& path, const std::vector<NitfImage>& images) {
  GDALAllRegister();
  for (size_t i = 0; i < images.size(); ++i) {
    const std::string failure = writeSegment(path, images[i], i > 0, images.size());
    if (!failure.empty()) return failure;
  }
  return "";
}

std::string writeNitf(const std::string& path, const NitfImage& image) {
  return writeNitf(path, std::vector<NitfImage>{image});
}

}  // namespace nitf_builder
