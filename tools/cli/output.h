// Where the command writes: every write checked, the first failure stops the command.
#ifndef SENMOD_CLI_OUTPUT_H
#define SENMOD_CLI_OUTPUT_H

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace senmod_cli {

// A write that failed; what() names the output and the system's reason.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file the command reads: role names it for people ("the DEM"), name as given ("" for none).
struct CommandInput {
  std::string role;
  std::string name;
};

// Throws WriteError when output (standard output when empty) is the same regular file (device
// and inode: another name or a link counts) as one of inputs, or as standard input when
// readsStandardInput: writing it would destroy what the command reads. A GDAL name such as
// "NITF_IM:0:a.ntf" stands for its file too. Devices and FIFOs are never refused here.
void refuseOutputOverInputs(const std::string& output, const std::vector<CommandInput>& inputs,
                            bool readsStandardInput);

class Output {
 public:
  // Standard output for an empty path, else the file at path (created or emptied). Throws
  // WriteError when the file cannot be opened.
  explicit Output(const std::string& path);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Throw WriteError at the first failure.
  void write(const char* data, size_t size);
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Flushes and closes, checked; the output is not used again.
  void close();

  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void fail(int error) const;
  std::FILE* file_;
  std::string name_;
};

}  // namespace senmod_cli

#endif
