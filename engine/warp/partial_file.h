// Files written under a temporary name beside their final one and renamed when complete: a
// stopped or failed write leaves nothing under the final name, and no temporary file either.
#ifndef SENMOD_IO_PARTIAL_FILE_H
#define SENMOD_IO_PARTIAL_FILE_H

#include <string>

namespace senmod_io {

class PartialFile {
 public:
  // The temporary name is finalPath with ".<tag>.partial" appended.
  PartialFile(const std::string& finalPath, const std::string& tag);
  // Removes the temporary file (and GDAL's sidecar of it) unless committed.
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::string& path() const { return temporary_; }
  // Renames the temporary file to the final name; throws WriteError naming it when that fails.
  void commit();

 private:
  std::string final_;
  std::string temporary_;
  bool committed_ = false;
};

}  // namespace senmod_io

#endif
