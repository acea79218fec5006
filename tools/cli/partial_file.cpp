#include "partial_file.h"

#include <cpl_vsi.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "output.h"

namespace smodtool {

namespace {

volatile std::sig_atomic_t caught = 0;
void (*previousInt)(int) = SIG_DFL;
void (*previousTerm)(int) = SIG_DFL;

void onSignal(int) { caught = 1; }

}  // namespace

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

InterruptCatcher::InterruptCatcher() {
  caught = 0;
  previousInt = std::signal(SIGINT, onSignal);
  previousTerm = std::signal(SIGTERM, onSignal);
}

InterruptCatcher::~InterruptCatcher() {
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
}

bool InterruptCatcher::interrupted() { return caught != 0; }

}  // namespace smodtool
