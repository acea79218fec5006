// The senmod command line: what the user asked for.
#ifndef SMODTOOL_COMMAND_LINE_H
#define SMODTOOL_COMMAND_LINE_H

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ground_outline.h"

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
  std::string command;  // "info", "ground-to-image", "image-to-ground", "convert", "ortho",
                        // "footprint", "help", "version"
  std::string model;    // ortho: --model, "" for the image's own
  std::string output;   // convert: the model file to write; transforms, ortho, footprint: -o,
                        // "" for stdout (ortho needs one)
  std::string input;    // -i, "" for stdin
  std::string dem;
  std::optional<double> height;
  bool json = false;
  bool strictDem = false;  // points the DEM does not answer fail
  double maxResidual = kDefaultMaxResidual;
  // ortho
  std::string image;
  std::string srs;                                  // --t_srs
  std::optional<std::array<double, 2>> resolution;  // --tr
  std::optional<std::array<double, 4>> extent;      // --te
  std::string resampling = "near";
  int threads = 0;                           // 0: every core
  std::vector<std::string> creationOptions;  // --co NAME=VALUE
  bool cog = false;                          // --of COG, or an output named *.cog.tif
  bool progress = false;
  bool quiet = false;
  // footprint
  double step = kDefaultOutlineStep;  // pixels between outline points
};

// Throws UsageError for an unknown command or option, a missing or extra argument, a number
// option that is not a number or out of its range, --dem together with --height, ortho without
// -o, and --progress together with --quiet.
CommandLine parseCommandLine(int argc, const char* const* argv);

extern const char* const kUsage;

}  // namespace smodtool

#endif
