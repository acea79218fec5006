#include "partial_file.h"

#include <cpl_vsi.h>

#include <cerrno>
#include <cstring>

#include "read_error.h"

namespace senmod_io {

PartialFile::PartialFile(const std::string& finalPath, const std::string& tag)
    : final_(finalPath), temporary_(finalPath + "." + tag + ".partial") {}

PartialFile::~PartialFile() {
  if (committed_) return;
  VSIUnlink(temporary_.c_str());
  VSIUnlink((temporary_ + ".aux.xml").c_str());
}

void PartialFile::commit() {
  if (VSIRename(temporary_.c_str(), final_.c_str()) != 0) {
    throw WriteError(final_ + ": cannot be written (" + std::strerror(errno) + ")");
  }
  committed_ = true;
}

}  // namespace senmod_io
