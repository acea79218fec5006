// The senmod command line: what the user asked for.
#ifndef SENMOD_CLI_COMMAND_LINE_H
#define SENMOD_CLI_COMMAND_LINE_H

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace senmod_cli {

// A bad command line; what() says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CommandLine {
  std::string command;  // "info", "ground-to-image", "image-to-ground", "accuracy", "convert",
                        // "ortho", "footprint", "refine", "help", "version"
  bool help = false;    // COMMAND --help: that command's usage
  std::string model;    // ortho: --model, "" for the image's own
  std::string output;   // convert: the model file to write; transforms, ortho, footprint: -o,
                        // "" for stdout (ortho needs one)
  std::string input;    // -i, "" for stdin
  std::string dem;
  std::optional<double> height;
  bool json = false;
  bool strictDem = false;    // points the DEM does not answer fail
  bool extrapolate = false;  // points outside the domain are transformed too
  bool stopOnError = false;  // the first failed point stops the command
  std::optional<double> maxResidual;  // pixels; the engine's default when not given
  double heightSigma = 0.0;  // accuracy: metres
  double imageSigma = 0.0;   // accuracy: pixels
  // convert
  std::string to = "smod";       // what convert writes: "smod" or "rpc"
  std::optional<int> degree;     // --to rpc: the engine's defaults when not given
  std::optional<int> grid;
  std::optional<int> heights;
  // ortho; convert --to rpc: --image, the image copied with the RPC
  std::string image;
  std::string srs;                                  // --t_srs
  std::optional<std::array<double, 2>> resolution;  // --tr
  std::optional<std::array<double, 4>> extent;      // --te
  std::string resampling = "near";
  int threads = 0;                           // 0: every core
  std::optional<double> maxCells;            // --max-cells
  std::vector<std::string> creationOptions;  // --co NAME=VALUE
  std::string format;                        // --of, "" to choose by the output's extension
  bool progress = false;
  bool quiet = false;
  // footprint
  double step = 64.0;  // pixels between outline points
  // refine
  std::string gcps;                  // --gcps
  std::string params;                // --params, "" for the engine's default
  std::optional<int> maxIterations;  // --max-iterations
  bool reject = false;
  // --config KEY VALUE pairs, for GDAL
  std::vector<std::pair<std::string, std::string>> config;
};

// Options are those of command_text.h, in either spelling. Throws UsageError for an unknown
// command or option, a missing or extra argument, a number option that is not a number or out
// of its range, --dem together with --height, ortho without -o, refine without --gcps or -o,
// --progress together with --quiet, and the RPC options of convert without --to rpc.
CommandLine parseCommandLine(int argc, const char* const* argv);

}  // namespace senmod_cli

#endif
