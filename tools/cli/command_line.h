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

// The largest distance (pixels) by which an image-to-ground result may miss its image point
// when it is carried back to the image: the inversion stops after a fixed number of passes
// without reporting whether it converged.
constexpr double kDefaultMaxResidual = 1e-3;

struct CommandLine {
  std::string command;  // "info", "ground-to-image", "image-to-ground", "convert", "help",
                        // "version"
  std::string model;
  std::string output;  // convert: the model file to write; transforms: -o, "" for stdout
  std::string input;   // -i, "" for stdin
  std::string dem;
  std::optional<double> height;
  bool json = false;
  bool strictDem = false;  // points the DEM does not answer fail
  double maxResidual = kDefaultMaxResidual;
};

// Throws UsageError for an unknown command or option, a missing or extra argument, a height
// or residual that is not a number, and --dem together with --height.
CommandLine parseCommandLine(int argc, const char* const* argv);

extern const char* const kUsage;

}  // namespace smodtool

#endif
