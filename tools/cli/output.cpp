#include "output.h"

#include <cerrno>
#include <cstring>

namespace senmod_cli {

Output::Output(const std::string& path)
    : file_(path.empty() ? stdout : std::fopen(path.c_str(), "wb")),
      name_(path.empty() ? "standard output" : path) {
  if (!file_) fail(errno);
}

Output::~Output() {
  if (file_ && file_ != stdout) std::fclose(file_);
}

void Output::write(const char* data, size_t size) {
  errno = 0;
  if (size > 0 && std::fwrite(data, 1, size, file_) != size) fail(errno);
}

void Output::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const int error = errno;
  // Closing reports what the file system refused only now (a full disk over NFS, ...).
  if (std::fclose(file) != 0 || !flushed) fail(flushed ? errno : error);
}

void Output::fail(int error) const {
  throw WriteError(name_ + ": cannot write the output" +
                   (error ? std::string(" (") + std::strerror(error) + ")" : std::string()));
}

}  // namespace senmod_cli
