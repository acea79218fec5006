#include "command_line.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "command_text.h"
#include "number_text.h"

namespace senmod_cli {

namespace {

double parseNumber(const std::string& option, const std::string& text, const char* what) {
  double value = 0.0;
  if (!senmod_text::parseNumberText(text.data(), text.data() + text.size(), &value)) {
    throw UsageError(option + " needs " + what + ", not \"" + text + "\"");
  }
  return value;
}

int wholeNumber(const std::string& option, const std::string& text, int low, int high) {
  const double n = parseNumber(option, text, "a whole number");
  if (!(n >= low && n <= high && n == std::floor(n))) {
    throw UsageError(option + " needs a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high));
  }
  return static_cast<int>(n);
}

// The option of the table spelled a, for command; null when none is.
const OptionText* optionNamed(const std::string& a, const std::string& command) {
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionText& o = kOptionTexts[i];
    if ((a == o.name || (*o.alias && a == o.alias)) && takes(o, command)) return &o;
  }
  return nullptr;
}

// Stores option o (canonical name) with its values v into cl.
void store(CommandLine& cl, const std::string& o, const std::vector<std::string>& v) {
  auto text = [&](const char* what) -> const std::string& {
    if (v[0].empty()) throw UsageError(o + " needs " + what);
    return v[0];
  };
  if (o == "--json") {
    cl.json = true;
  } else if (o == "--dem") {
    cl.dem = text("a file name");
  } else if (o == "--height") {
    cl.height = parseNumber(o, v[0], "a number of meters");
  } else if (o == "--strict-dem") {
    cl.strictDem = true;
  } else if (o == "--max-residual") {
    cl.maxResidual = parseNumber(o, v[0], "a number of pixels");
    if (*cl.maxResidual < 0.0) throw UsageError("--max-residual cannot be negative");
  } else if (o == "--height-sigma" || o == "--image-sigma") {
    const double sigma = parseNumber(o, v[0], "a standard deviation");
    if (!(sigma >= 0.0 && std::isfinite(sigma))) {
      throw UsageError(o + " needs a finite number >= 0");
    }
    (o == "--height-sigma" ? cl.heightSigma : cl.imageSigma) = sigma;
  } else if (o == "--extrapolate") {
    cl.extrapolate = true;
  } else if (o == "--stop-on-error") {
    cl.stopOnError = true;
  } else if (o == "-i") {
    cl.input = v[0];
  } else if (o == "-o") {
    cl.output = text("a file name");
  } else if (o == "--model") {
    cl.model = text("a value");
  } else if (o == "--t_srs") {
    cl.srs = text("a value");
  } else if (o == "-r") {
    const std::string& r = text("a value");
    if (r != "near" && r != "bilinear" && r != "cubic" && r != "lanczos") {
      throw UsageError("-r takes near, bilinear, cubic or lanczos, not \"" + r + "\"");
    }
    cl.resampling = r;
  } else if (o == "--co") {
    const std::string& c = text("a value");
    if (c.find('=') == std::string::npos || c.front() == '=') {
      throw UsageError("--co needs NAME=VALUE, not \"" + c + "\"");
    }
    cl.creationOptions.push_back(c);
  } else if (o == "--of") {
    cl.format = text("a value");
  } else if (o == "--tr") {
    cl.resolution = std::array<double, 2>{};
    for (size_t k = 0; k < 2; ++k) {
      (*cl.resolution)[k] = parseNumber(o, v[k], "two sizes");
      if (!((*cl.resolution)[k] > 0.0)) throw UsageError("--tr needs sizes above zero");
    }
  } else if (o == "--te") {
    cl.extent = std::array<double, 4>{};
    for (size_t k = 0; k < 4; ++k) (*cl.extent)[k] = parseNumber(o, v[k], "four coordinates");
    const auto& e = *cl.extent;
    if (!(e[2] > e[0] && e[3] > e[1])) throw UsageError("--te needs XMIN < XMAX and YMIN < YMAX");
  } else if (o == "--threads") {
    const double n = parseNumber(o, v[0], "a number of threads");
    if (!(n >= 1.0 && n <= 1024.0 && n == std::floor(n))) {
      throw UsageError("--threads needs a whole number from 1 to 1024");
    }
    cl.threads = static_cast<int>(n);
  } else if (o == "--max-cells") {
    cl.maxCells = parseNumber(o, v[0], "a number of cells");
    if (!(*cl.maxCells >= 1.0)) throw UsageError("--max-cells needs at least 1");
  } else if (o == "--progress") {
    cl.progress = true;
  } else if (o == "--quiet") {
    cl.quiet = true;
  } else if (o == "--step") {
    cl.step = parseNumber(o, v[0], "a number of pixels");
    if (!(cl.step >= 1.0)) throw UsageError("--step needs at least 1 pixel");
  } else if (o == "--to") {
    const std::string& t = text("smod or rpc");
    if (t != "smod" && t != "rpc") throw UsageError("--to takes smod or rpc, not \"" + t + "\"");
    cl.to = t;
  } else if (o == "--degree") {
    cl.degree = wholeNumber(o, v[0], 1, 3);
  } else if (o == "--grid") {
    cl.grid = wholeNumber(o, v[0], 2, 200);
  } else if (o == "--heights") {
    cl.heights = wholeNumber(o, v[0], 2, 50);
  } else if (o == "--image") {
    cl.image = text("a file name");
  } else if (o == "--gcps") {
    cl.gcps = text("a file name");
  } else if (o == "--params") {
    cl.params = text("a parameter set");
  } else if (o == "--max-iterations") {
    cl.maxIterations = wholeNumber(o, v[0], 1, 1000);
  } else if (o == "--reject") {
    cl.reject = true;
  } else if (o == "--config") {
    if (v[0].empty()) throw UsageError("--config needs KEY VALUE");
    cl.config.emplace_back(v[0], v[1]);
  } else if (o == "--help") {
    cl.help = true;
  }
}

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) throw UsageError("no command given");
  CommandLine cl;
  cl.command = args[0];
  if (cl.command == "help" || cl.command == "--help" || cl.command == "-h") {
    cl.command = "help";
    if (args.size() > 1) cl.model = args[1];  // the command whose usage is asked for
    return cl;
  }
  if (cl.command == "--version" || cl.command == "version") {
    if (args.size() > 1) throw UsageError("--version takes no argument");
    cl.command = "version";
    return cl;
  }
  if (!commandText(cl.command)) throw UsageError("unknown command \"" + cl.command + "\"");
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const OptionText* o = optionNamed(a, cl.command);
    if (!o) {
      if (a.size() > 1 && a[0] == '-') {
        throw UsageError("unknown option " + a + " for " + cl.command);
      }
      positional.push_back(a);
      continue;
    }
    const int count = valueCount(*o);
    if (i + count >= args.size()) throw UsageError(a + " needs " + o->value);
    std::vector<std::string> values(args.begin() + i + 1, args.begin() + i + 1 + count);
    if (values.size() < 2) values.resize(2);
    store(cl, o->name, values);
    i += count;
  }
  if (cl.help) return cl;
  const size_t wanted = cl.command == "convert" ? 2 : 1;
  if (positional.size() < wanted) throw UsageError(cl.command + ": missing argument");
  if (positional.size() > wanted) throw UsageError(cl.command + ": too many arguments");
  const bool ortho = cl.command == "ortho";
  if (ortho) {
    cl.image = positional[0];
  } else {
    cl.model = positional[0];
  }
  if (cl.command == "convert") {
    cl.output = positional[1];
    if (cl.to != "rpc" && (cl.degree || cl.grid || cl.heights || !cl.image.empty() ||
                           cl.maxResidual)) {
      throw UsageError("--degree, --grid, --heights, --image and --max-residual need --to rpc");
    }
  }
  if (ortho && cl.output.empty()) throw UsageError("ortho needs -o OUT.tif");
  if (cl.command == "refine" && cl.gcps.empty()) throw UsageError("refine needs --gcps FILE");
  if (cl.command == "refine" && cl.output.empty()) throw UsageError("refine needs -o OUT.smod");
  if (ortho && cl.progress && cl.quiet) throw UsageError("give either --progress or --quiet");
  if (ortho && cl.format.empty() && endsWith(cl.output, ".cog.tif")) cl.format = "COG";
  if (!cl.dem.empty() && cl.height) throw UsageError("give either --dem or --height, not both");
  if (cl.strictDem && cl.dem.empty()) throw UsageError("--strict-dem needs --dem");
  return cl;
}

}  // namespace senmod_cli
