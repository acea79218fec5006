// The senmod command line: what the user asked for.
#ifndef SMODTOOL_COMMAND_LINE_H
#define SMODTOOL_COMMAND_LINE_H

#include <optional>
#include <stdexcept>
#include <string>

namespace smodtool {

// A bad command line; what() says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CommandLine {
  std::string command;  // "info", "ground-to-image", "image-to-ground", "convert", "help"
  std::string model;
  std::string output;   // convert: the model file to write; transforms: -o, "" for stdout
  std::string input;    // -i, "" for stdin
  std::string dem;
  std::optional<double> height;
  bool json = false;
};

// Throws UsageError for an unknown command or option, a missing or extra argument, a height
// that is not a number, and --dem together with --height.
CommandLine parseCommandLine(int argc, const char* const* argv);

extern const char* const kUsage;

}  // namespace smodtool

#endif
