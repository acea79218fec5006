#include "partial_file.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "read_error.h"
#include "file_names.h"

namespace senmod_io {

namespace {

// The sidecars GDAL attaches to a raster by its name alone.
constexpr const char* kSidecars[] = {".ovr", ".aux.xml", ".msk"};

std::string reason(int error) { return std::string(" (") + std::strerror(error) + ")"; }

// path with every symbolic link of its last component followed; path itself when it is none or
// does not exist (a link to a missing file leads to that file's name, which is then created).
std::string followLinks(const std::string& path) {
  std::string at = path;
  for (int hops = 0;; ++hops) {
    struct stat s;
    if (lstat(at.c_str(), &s) != 0 || !S_ISLNK(s.st_mode)) return at;
    if (hops == 40) throw WriteError(path + ": cannot be written" + reason(ELOOP));
    char link[PATH_MAX];
    const ssize_t n = readlink(at.c_str(), link, sizeof link);
    if (n < 0 || n == sizeof link) {
      throw WriteError(path + ": cannot be written" + reason(n < 0 ? errno : ENAMETOOLONG));
    }
    const std::string to(link, static_cast<size_t>(n));
    const size_t slash = at.find_last_of('/');
    at = to[0] == '/' || slash == std::string::npos ? to : at.substr(0, slash + 1) + to;
  }
}

}  // namespace

PartialFile::PartialFile(const std::string& finalPath, const std::string& tag,
                         const std::vector<WriteInput>& inputs)
    : final_(finalPath), target_(followLinks(finalPath)), inputs_(inputs) {
  const size_t slash = target_.find_last_of('/');
  const size_t dot = target_.find_last_of('.');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const bool extension = dot != std::string::npos && dot > nameStart;
  stem_ = extension ? target_.substr(0, dot) : target_;
  // A name nothing has: a crashed run's leftover or another's file is never written into.
  static std::atomic<unsigned> made{0};
  struct stat s;
  do {
    partialStem_ = stem_ + "." + tag + "-partial-" + std::to_string(getpid()) + "-" +
                   std::to_string(++made);
    temporary_ = partialStem_ + (extension ? target_.substr(dot) : "");
  } while (lstat(temporary_.c_str(), &s) == 0);
  check();
}

PartialFile::~PartialFile() {
  if (committed_) return;
  try {
    for (const std::string& c : companions()) VSIUnlink(c.c_str());
  } catch (...) {
    // Only an allocation can fail here; the temporary file itself still goes.
  }
  VSIUnlink(temporary_.c_str());
}

void PartialFile::check() const {
  struct stat t;
  if (stat(target_.c_str(), &t) != 0) return;
  const std::string name = final_ + (target_ == final_ ? "" : " (a link to " + target_ + ")");
  if (!S_ISREG(t.st_mode)) {
    throw WriteError(name +
                     ": not a regular file; the output is written to a new file or replaces a "
                     "regular one");
  }
  for (const WriteInput& input : inputs_) {
    if (input.name.empty()) continue;
    for (const std::string& file : senmod_text::filesNamedBy(input.name)) {
      struct stat s;
      if (stat(file.c_str(), &s) == 0 && s.st_dev == t.st_dev && s.st_ino == t.st_ino) {
        throw WriteError(name + ": the output is the same file as " + input.role + " " +
                         input.name + "; name another output");
      }
    }
  }
}

// The files beside the temporary one named after it, but it.
std::vector<std::string> PartialFile::companions() const {
  const size_t slash = partialStem_.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0                ? "/"
                                                            : partialStem_.substr(0, slash);
  const std::string prefix =
      partialStem_.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
  std::vector<std::string> files;
  const CPLStringList entries(VSIReadDir(directory.c_str()));
  for (int i = 0; i < entries.size(); ++i) {
    const std::string entry = entries[i];
    if (entry.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string file = partialStem_ + entry.substr(prefix.size() - 1);
    if (file != temporary_) files.push_back(file);
  }
  return files;
}

void PartialFile::commit() {
  check();
  if (VSIRename(temporary_.c_str(), target_.c_str()) != 0) {
    throw WriteError(final_ + ": cannot be written" + reason(errno));
  }
  committed_ = true;
  std::vector<std::string> brought;
  for (const std::string& c : companions()) {
    const std::string to = stem_ + c.substr(partialStem_.size());
    if (VSIRename(c.c_str(), to.c_str()) != 0) {
      const int error = errno;
      VSIUnlink(c.c_str());
      throw WriteError(final_ + ": written, but " + to + " cannot be written beside it" +
                       reason(error));
    }
    brought.push_back(to);
  }
  for (const char* sidecar : kSidecars) {
    const std::string stale = target_ + sidecar;
    VSIStatBufL s;
    if (std::find(brought.begin(), brought.end(), stale) != brought.end() ||
        VSIStatL(stale.c_str(), &s) != 0) {
      continue;
    }
    if (VSIUnlink(stale.c_str()) != 0) {
      throw WriteError(final_ + ": written, but " + stale +
                       ", which describes the file replaced, cannot be removed" + reason(errno));
    }
  }
}

}  // namespace senmod_io
