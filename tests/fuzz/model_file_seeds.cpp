// model_file_seeds OUT IN...: writes each file IN of "xml:TRE" text, read as the command reads
// an image's tagged records, as the model file OUT/<name of IN>.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "model_loader.h"
#include "read_error.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: model_file_seeds OUT IN...\n");
    return 2;
  }
  try {
    for (int i = 2; i < argc; ++i) {
      const std::string in = argv[i];
      std::ifstream file(in);
      std::stringstream xml;
      xml << file.rdbuf();
      const std::string name = in.substr(in.find_last_of('/') + 1);
      senmod_io::saveModel(
          senmod_io::modelFromTreRecords(senmod_io::parseTreXml(xml.str(), in), in),
          std::string(argv[1]) + "/" + name);
    }
  } catch (const senmod_io::ReadError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
