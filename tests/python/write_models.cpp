// Writes the model files the Python tests read, which only GDAL's C++ face can make: NGA's
// i_6130a as a NITF file with its RSM records, and a NITF file with RPC00B.
// Usage: write_models TEST_DATA_DIR OUT_DIR
#include <cpl_minixml.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "nitf_builder.h"

namespace {

bool write(const std::string& path, const nitf_builder::NitfImage& image) {
  const std::string error = nitf_builder::writeNitf(path, image);
  if (!error.empty()) std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
  return error.empty();
}

bool writeNga(const std::string& data, const std::string& out) {
  std::ifstream in(data + "/nga-i6130a/i_6130a_tres.xml");
  std::stringstream xml;
  xml << in.rdbuf();
  std::unique_ptr<CPLXMLNode, void (*)(CPLXMLNode*)> root(CPLParseXMLString(xml.str().c_str()),
                                                          CPLDestroyXMLNode);
  const CPLXMLNode* tres = root ? CPLSearchXMLNode(root.get(), "=tres") : nullptr;
  if (!tres) {
    std::fprintf(stderr, "%s: no records\n", data.c_str());
    return false;
  }
  nitf_builder::NitfImage image;
  for (const CPLXMLNode* n = tres->psChild; n; n = n->psNext) {
    if (n->eType == CXT_Element) {
      image.tres.push_back({CPLGetXMLValue(n, "name", ""), nitf_builder::encodeTreXml(n)});
    }
  }
  return write(out + "/i_6130a.ntf", image);
}

// A mildly tilted view of 1000 x 800 pixels near (35.1 N, 106.6 W).
bool writeRpc(const std::string& out) {
  nitf_builder::NitfImage image;
  image.width = 1000;
  image.height = 800;
  image.rpc = {"LINE_OFF=400", "SAMP_OFF=500", "LAT_OFF=35.1", "LONG_OFF=-106.6",
              "HEIGHT_OFF=1600", "LINE_SCALE=400", "SAMP_SCALE=500", "LAT_SCALE=0.01",
              "LONG_SCALE=0.012", "HEIGHT_SCALE=500",
              "LINE_NUM_COEFF=0.002 -0.01 -1.02 0.02 2e-4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
              "LINE_DEN_COEFF=1 2e-4 1e-4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
              "SAMP_NUM_COEFF=-0.002 1.01 0.02 0.01 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
              "SAMP_DEN_COEFF=1 -1e-4 2e-4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"};
  return write(out + "/rpc00b.ntf", image);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_models TEST_DATA_DIR OUT_DIR\n");
    return 2;
  }
  return writeNga(argv[1], argv[2]) && writeRpc(argv[2]) ? 0 : 1;
}
