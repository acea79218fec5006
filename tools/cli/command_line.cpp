#include "command_line.h"

#include <cmath>
#include <vector>

#include "number_text.h"

namespace smodtool {

const char* const kUsage =
    "usage: senmod info MODEL [--json]\n"
    "       senmod ground-to-image MODEL [--dem DEM [--strict-dem] | --height H] [-i IN] "
    "[-o OUT]\n"
    "       senmod image-to-ground MODEL [--dem DEM [--strict-dem] | --height H]\n"
    "                              [--max-residual PIXELS] [-i IN] [-o OUT]\n"
    "       senmod convert MODEL OUT.smod\n"
    "       senmod --version\n"
    "MODEL: a NITF file with RSM records, a raster with RPCs, or a model file (.smod).\n"
    "--max-residual: pixels by which an image-to-ground result may miss its image point "
    "(default 0.001).\n";

namespace {

double parseNumber(const std::string& option, const std::string& text, const char* what) {
  double value = 0.0;
  if (!parseNumberText(text.data(), text.data() + text.size(), &value)) {
    throw UsageError(option + " needs " + what + ", not \"" + text + "\"");
  }
  return value;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) throw UsageError("no command given");
  CommandLine cl;
  cl.command = args[0];
  if (cl.command == "help" || cl.command == "--help" || cl.command == "-h") {
    cl.command = "help";
    return cl;
  }
  if (cl.command == "--version" || cl.command == "version") {
    if (args.size() > 1) throw UsageError("--version takes no argument");
    cl.command = "version";
    return cl;
  }
  const bool transform = cl.command == "ground-to-image" || cl.command == "image-to-ground";
  if (!transform && cl.command != "info" && cl.command != "convert") {
    throw UsageError("unknown command \"" + cl.command + "\"");
  }
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      return args[++i];
    };
    if (a == "--json" && cl.command == "info") {
      cl.json = true;
    } else if (transform && a == "--dem") {
      cl.dem = value();
      if (cl.dem.empty()) throw UsageError("--dem needs a file name");
    } else if (transform && a == "--strict-dem") {
      cl.strictDem = true;
    } else if (transform && a == "--height") {
      cl.height = parseNumber(a, value(), "a number of meters");
    } else if (cl.command == "image-to-ground" && a == "--max-residual") {
      cl.maxResidual = parseNumber(a, value(), "a number of pixels");
      if (cl.maxResidual < 0.0) throw UsageError("--max-residual cannot be negative");
    } else if (transform && a == "-i") {
      cl.input = value();
    } else if (transform && a == "-o") {
      cl.output = value();
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError("unknown option " + a + " for " + cl.command);
    } else {
      positional.push_back(a);
    }
  }
  const size_t wanted = cl.command == "convert" ? 2 : 1;
  if (positional.size() < wanted) throw UsageError(cl.command + ": missing argument");
  if (positional.size() > wanted) throw UsageError(cl.command + ": too many arguments");
  cl.model = positional[0];
  if (cl.command == "convert") cl.output = positional[1];
  if (!cl.dem.empty() && cl.height) throw UsageError("give either --dem or --height, not both");
  if (cl.strictDem && cl.dem.empty()) throw UsageError("--strict-dem needs --dem");
  return cl;
}

}  // namespace smodtool
