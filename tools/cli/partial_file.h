// Files written under a temporary name beside their final one and renamed when complete, and
// the interruption that stops the writing: a stopped command leaves nothing under the final
// name, and no temporary file either.
#ifndef SMODTOOL_PARTIAL_FILE_H
#define SMODTOOL_PARTIAL_FILE_H

#include <string>

namespace smodtool {

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

// While one lives, SIGINT and SIGTERM set a flag instead of ending the process; the previous
// handlers come back with its end.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // True after a signal came.
  static bool interrupted();
};

}  // namespace smodtool

#endif
