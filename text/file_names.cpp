#include "file_names.h"

namespace senmod_text {

std::vector<std::string> filesNamedBy(const std::string& name) {
  std::vector<std::string> files{name};
  for (size_t at = name.find(':'); at != std::string::npos; at = name.find(':', at + 1)) {
    files.push_back(name.substr(at + 1));
  }
  for (size_t open = name.find('"'); open != std::string::npos;) {
    const size_t close = name.find('"', open + 1);
    if (close == std::string::npos) break;
    files.push_back(name.substr(open + 1, close - open - 1));
    open = name.find('"', close + 1);
  }
  return files;
}

}  // namespace senmod_text
