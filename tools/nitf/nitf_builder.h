// NITF files with given tagged records, written through GDAL's NITF driver: raw records go in
// with its TRE= creation option, RPC metadata comes out as RPC00B.
#ifndef SMODTOOL_NITF_BUILDER_H
#define SMODTOOL_NITF_BUILDER_H

#include <string>
#include <utility>
#include <vector>

struct CPLXMLNode;

namespace nitf_builder {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The raw bytes of RSM record tre (RSMIDA, RSMPIA, RSMPCA, RSMAPA, RSMDCA, RSMECA, RSMAPB,
// RSMDCB, RSMECB) from its
// fields in record order: each value is padded with blanks to its field's width (21 for every
// real number). Throws std::invalid_argument for a value longer than its field.
std::string encodeTre(const std::string& tre, const Fields& fields);

// The same from a <tre> element as GDAL's NITF driver gives it in the "xml:TRE" domain.
std::string encodeTreXml(const CPLXMLNode* tre);

// Field text of a real number: 21 characters, "+d.ddddddddddddddE+dd".
std::string real(double value);
// A whole number with leading zeros to width characters.
std::string whole(long value, int width);

// One image segment: its raster and what it carries.
struct NitfImage {
  int width = 4;   // raster size in pixels (one byte band)
  int height = 4;
  std::vector<unsigned char> pixels;  // width * height, row by row; none for a blank raster
  std::vector<std::string> options;   // more creation options of GDAL's NITF driver ("IC=C3")
  std::vector<std::pair<std::string, std::string>> tres;  // record name, raw bytes
  std::vector<std::string> rpc;  // "KEY=VALUE" items of the RPC metadata domain, or none
};

// Writes the file with one image segment per image, in order; returns "" or GDAL's message.
std::string writeNitf(const std::string& path, const std::vector<NitfImage>& images);
std::string writeNitf(const std::string& path, const NitfImage& image);

}  // namespace nitf_builder

#endif
