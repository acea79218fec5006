#include "output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_names.h"

namespace senmod_cli {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

void refuseOutputOverInputs(const std::string& output, const std::vector<CommandInput>& inputs,
                            bool readsStandardInput) {
  struct stat out;
  const bool known = output.empty() ? fstat(STDOUT_FILENO, &out) == 0
                                    : stat(output.c_str(), &out) == 0;
  if (!known || !S_ISREG(out.st_mode)) return;
  const std::string name = output.empty() ? "standard output" : output;
  auto refuse = [&](const std::string& what) {
    throw WriteError(name + ": the output is the same file as " + what + "; name another output");
  };
  for (const CommandInput& input : inputs) {
    if (input.name.empty()) continue;
    for (const std::string& file : senmod_text::filesNamedBy(input.name)) {
      struct stat in;
      if (stat(file.c_str(), &in) == 0 && sameFile(in, out)) refuse(input.role + " " + input.name);
    }
  }
  struct stat in;
  if (readsStandardInput && fstat(STDIN_FILENO, &in) == 0 && sameFile(in, out)) {
    refuse("standard input");
  }
}

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
