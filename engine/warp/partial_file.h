// Files written under a temporary name beside their final one and renamed when complete: a
// stopped or failed write leaves nothing under the final name, and no temporary file either.
// The one place where the engine decides what it may write over.
#ifndef SENMOD_IO_PARTIAL_FILE_H
#define SENMOD_IO_PARTIAL_FILE_H

#include <string>
#include <vector>

namespace senmod_io {

// A file the write reads, for the refusal to write over it: role names it for people ("the
// image"), name as given to GDAL ("" for none).
struct WriteInput {
  std::string role;
  std::string name;
};

class PartialFile {
 public:
  // Writes finalPath, or the file it leads to when it is a symbolic link (the link stays). The
  // temporary name is the target's with ".<tag>-partial-<process>-<n>" before its extension
  // (drivers go by the extension), n chosen so that no file has it yet. Throws WriteError,
  // before anything is written, when the target exists and is not a regular file (a device, a
  // FIFO, a directory), or is the same file (device and inode) as one of inputs; commit checks
  // again.
  PartialFile(const std::string& finalPath, const std::string& tag,
              const std::vector<WriteInput>& inputs = {});
  // Unless committed, removes the temporary file and the files written beside it under its
  // name (GDAL's .aux.xml, a Shapefile's .dbf, ...).
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::string& path() const { return temporary_; }
  // Renames the temporary file to the target, then the files beside it under its name to the
  // target's name, and removes the target's sidecars that the new file did not bring (.ovr,
  // .aux.xml, .msk: they describe the file replaced). Only once the new file is in place: a
  // failed rename leaves the old file and its sidecars as they were. Throws WriteError naming
  // the final path.
  void commit();

 private:
  void check() const;
  std::vector<std::string> companions() const;

  std::string final_;
  std::string target_;     // final_ with its symbolic links followed
  std::string stem_;       // target_ without its extension
  std::string temporary_;
  std::string partialStem_;  // temporary_ without its extension
  std::vector<WriteInput> inputs_;
  bool committed_ = false;
};

}  // namespace senmod_io

#endif
