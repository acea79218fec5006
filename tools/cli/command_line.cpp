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
    "       senmod ortho IMAGE -o OUT.tif [--model MODEL] [--dem DEM | --height H]\n"
    "                    [--t_srs SRS] [--tr XRES YRES] [--te XMIN YMIN XMAX YMAX]\n"
    "                    [-r near|bilinear|cubic|lanczos] [--threads N] [--co NAME=VALUE]...\n"
    "                    [--of GTiff|COG] [--progress | --quiet]\n"
    "       senmod footprint MODEL [--dem DEM | --height H] [-o OUT.geojson] [--step PIXELS]\n"
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

// The ortho options that take a text.
void orthoText(CommandLine& cl, const std::string& option, const std::string& text) {
  if (text.empty()) throw UsageError(option + " needs a value");
  if (option == "--model") {
    cl.model = text;
  } else if (option == "--t_srs") {
    cl.srs = text;
  } else if (option == "-r") {
    if (text != "near" && text != "bilinear" && text != "cubic" && text != "lanczos") {
      throw UsageError("-r takes near, bilinear, cubic or lanczos, not \"" + text + "\"");
    }
    cl.resampling = text;
  } else if (option == "--co") {
    if (text.find('=') == std::string::npos || text.front() == '=') {
      throw UsageError("--co needs NAME=VALUE, not \"" + text + "\"");
    }
    cl.creationOptions.push_back(text);
  } else if (text == "COG" || text == "cog") {
    cl.cog = true;
  } else if (text != "GTiff" && text != "gtiff") {
    throw UsageError("--of takes GTiff or COG, not \"" + text + "\"");
  }
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
  const bool points = cl.command == "ground-to-image" || cl.command == "image-to-ground";
  const bool ortho = cl.command == "ortho";
  const bool footprint = cl.command == "footprint";
  const bool heights = points || ortho || footprint;
  if (!heights && cl.command != "info" && cl.command != "convert") {
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
    } else if (heights && a == "--dem") {
      cl.dem = value();
      if (cl.dem.empty()) throw UsageError("--dem needs a file name");
    } else if (points && a == "--strict-dem") {
      cl.strictDem = true;
    } else if (heights && a == "--height") {
      cl.height = parseNumber(a, value(), "a number of meters");
    } else if (cl.command == "image-to-ground" && a == "--max-residual") {
      cl.maxResidual = parseNumber(a, value(), "a number of pixels");
      if (cl.maxResidual < 0.0) throw UsageError("--max-residual cannot be negative");
    } else if (points && a == "-i") {
      cl.input = value();
    } else if (heights && a == "-o") {
      cl.output = value();
      if (cl.output.empty()) throw UsageError("-o needs a file name");
    } else if (ortho && (a == "--model" || a == "--t_srs" || a == "-r" || a == "--co" ||
                         a == "--of")) {
      orthoText(cl, a, value());
    } else if (ortho && a == "--tr") {
      cl.resolution = std::array<double, 2>{};
      for (double& v : *cl.resolution) {
        v = parseNumber(a, value(), "two sizes");
        if (!(v > 0.0)) throw UsageError("--tr needs sizes above zero");
      }
    } else if (ortho && a == "--te") {
      cl.extent = std::array<double, 4>{};
      for (double& v : *cl.extent) v = parseNumber(a, value(), "four coordinates");
      const auto& e = *cl.extent;
      if (!(e[2] > e[0] && e[3] > e[1])) throw UsageError("--te needs XMIN < XMAX and YMIN < YMAX");
    } else if (ortho && a == "--threads") {
      const double n = parseNumber(a, value(), "a number of threads");
      if (!(n >= 1.0 && n <= 1024.0 && n == std::floor(n))) {
        throw UsageError("--threads needs a whole number from 1 to 1024");
      }
      cl.threads = static_cast<int>(n);
    } else if (ortho && a == "--progress") {
      cl.progress = true;
    } else if (ortho && a == "--quiet") {
      cl.quiet = true;
    } else if (footprint && a == "--step") {
      cl.step = parseNumber(a, value(), "a number of pixels");
      if (!(cl.step >= 1.0)) throw UsageError("--step needs at least 1 pixel");
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError("unknown option " + a + " for " + cl.command);
    } else {
      positional.push_back(a);
    }
  }
  const size_t wanted = cl.command == "convert" ? 2 : 1;
  if (positional.size() < wanted) throw UsageError(cl.command + ": missing argument");
  if (positional.size() > wanted) throw UsageError(cl.command + ": too many arguments");
  if (ortho) {
    cl.image = positional[0];
  } else {
    cl.model = positional[0];
  }
  if (cl.command == "convert") cl.output = positional[1];
  if (ortho && cl.output.empty()) throw UsageError("ortho needs -o OUT.tif");
  if (ortho && cl.progress && cl.quiet) throw UsageError("give either --progress or --quiet");
  const std::string cogEnding = ".cog.tif";
  if (ortho && cl.output.size() >= cogEnding.size() &&
      cl.output.compare(cl.output.size() - cogEnding.size(), cogEnding.size(), cogEnding) == 0) {
    cl.cog = true;
  }
  if (!cl.dem.empty() && cl.height) throw UsageError("give either --dem or --height, not both");
  if (cl.strictDem && cl.dem.empty()) throw UsageError("--strict-dem needs --dem");
  return cl;
}

}  // namespace smodtool
