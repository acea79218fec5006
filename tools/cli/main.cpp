// senmod: ground and image coordinates from the sensor model of an image file, through the
// engine's face.
#include <cpl_conv.h>
#include <cpl_json.h>
#include <cpl_string.h>
#include <gdal.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

#include "command_line.h"
#include "command_text.h"
#include "face.h"
#include "interrupt.h"
#include "output.h"
#include "point_stream.h"
#include "refine_table.h"
#include "senmod/senmod_io.h"
#include "senmod/version.h"

namespace {

using namespace senmod_cli;

constexpr int kOk = 0;
constexpr int kUnusable = 2;

void print(const std::string& text) {
  Output out("");
  out.write(text);
  out.close();
}

int help(const CommandLine& cl) {
  print(cl.model.empty() ? usageText() : commandHelp(cl.model));
  return kOk;
}

int version(const CommandLine&) {
  print(std::string("senmod ") + smod_VersionString() + "\n");
  return kOk;
}

int info(const CommandLine& cl) {
  const Model model = openModel(cl.model);
  ErrorReport* report = nullptr;
  print(takeText(cl.json ? smod_ModelInfoJson(model.get(), &report)
                         : smod_ModelInfoText(model.get(), &report),
                 &report));
  return kOk;
}

int footprint(const CommandLine& cl) {
  const Model model = openModel(cl.model, cl.dem);
  ErrorReport* report = nullptr;
  const double* height = cl.height ? &*cl.height : nullptr;
  long leftOut = 0;
  if (cl.output.empty()) {
    print(takeText(smod_ModelFootprintJson(model.get(), cl.step, height, &leftOut, &report),
                   &report));
  } else {
    leftOut =
        smod_ModelFootprintWrite(model.get(), cl.output.c_str(), nullptr, cl.step, height, &report);
    if (leftOut < 0) fail(&report);
  }
  if (leftOut > 0) {
    std::fprintf(stderr, "senmod: warning: %ld points of the image's edges do not reach the "
                 "ground and are left out of the footprint\n", leftOut);
  }
  return kOk;
}

// GDAL's text progress bar (0...10...20 ... 100 - done.) on standard error, stopping the work
// once interrupted.
struct ProgressBar {
  bool show;
  int shown = -1;  // the last 2.5 % step printed
};

int progressStep(double done, void* arg) {
  ProgressBar& p = *static_cast<ProgressBar*>(arg);
  if (InterruptCatcher::interrupted()) {
    if (p.show && p.shown >= 0 && p.shown < 40) std::fputc('\n', stderr);
    p.shown = 40;
    return 0;
  }
  if (!p.show) return 1;
  const int step = static_cast<int>(std::floor(done * 40.0));
  if (step < p.shown) p.shown = -1;  // a second stage (the copy into another format)
  for (int s = p.shown + 1; s <= step; ++s) {
    if (s % 4 == 0) {
      std::fprintf(stderr, "%d", s * 10 / 4);
    } else {
      std::fputc('.', stderr);
    }
  }
  if (step == 40 && p.shown < 40) std::fputs(" - done.\n", stderr);
  if (step > p.shown) std::fflush(stderr);
  p.shown = std::max(p.shown, step);
  return 1;
}

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         EQUAL(text.substr(text.size() - ending.size()).c_str(), ending.c_str());
}

// The raster driver that writes output, by its extension: GTiff for .tif and .tiff, else the
// first driver that creates files and names the extension. Throws UsageError for none.
std::string driverFor(const std::string& output) {
  if (endsWith(output, ".tif") || endsWith(output, ".tiff")) return "GTiff";
  const size_t dot = output.find_last_of('.');
  const size_t slash = output.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    const std::string ext = output.substr(dot + 1);
    for (int i = 0; i < GDALGetDriverCount(); ++i) {
      GDALDriverH d = GDALGetDriver(i);
      const char* raster = GDALGetMetadataItem(d, GDAL_DCAP_RASTER, nullptr);
      const char* create = GDALGetMetadataItem(d, GDAL_DCAP_CREATE, nullptr);
      const char* copy = GDALGetMetadataItem(d, GDAL_DCAP_CREATECOPY, nullptr);
      const char* exts = GDALGetMetadataItem(d, GDAL_DMD_EXTENSIONS, nullptr);
      if (!raster || !(create || copy) || !exts) continue;
      const CPLStringList list(CSLTokenizeString2(exts, " ", 0));
      for (int k = 0; k < list.size(); ++k) {
        if (EQUAL(list[k], ext.c_str())) return GDALGetDriverShortName(d);
      }
    }
  }
  throw UsageError(output + ": no GDAL raster driver writes this extension (name one with --of)");
}

int ortho(const CommandLine& cl) {
  GDALAllRegister();
  const std::string format = cl.format.empty() ? driverFor(cl.output) : cl.format;
  const Model model = openModel(cl.model.empty() ? cl.image : cl.model, cl.dem);
  std::vector<std::string> options;
  if (!cl.srs.empty()) options.push_back("T_SRS=" + cl.srs);
  auto numbers = [](const double* v, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += (i ? " " : "") + std::string(CPLSPrintf("%.17g", v[i]));
    return text;
  };
  if (cl.resolution) options.push_back("TR=" + numbers(cl.resolution->data(), 2));
  if (cl.extent) options.push_back("TE=" + numbers(cl.extent->data(), 4));
  options.push_back("RESAMPLING=" + cl.resampling);
  if (cl.threads > 0) options.push_back("THREADS=" + std::to_string(cl.threads));
  if (cl.maxCells) options.push_back("MAX_CELLS=" + std::string(CPLSPrintf("%.17g", *cl.maxCells)));
  options.push_back("FORMAT=" + format);
  for (const std::string& co : cl.creationOptions) options.push_back("CO=" + co);
  if (cl.height) options.push_back("HEIGHT=" + std::string(CPLSPrintf("%.17g", *cl.height)));
  const std::vector<const char*> list = optionList(options);
  const InterruptCatcher catcher;
  ProgressBar bar{cl.progress || (!cl.quiet && isatty(fileno(stderr)))};
  ErrorReport* report = nullptr;
  const std::string written = takeText(
      smod_ModelOrtho(model.get(), cl.image.c_str(), cl.output.c_str(), list.data(), progressStep,
                      &bar, &report),
      &report);
  if (cl.quiet) return kOk;
  CPLJSONDocument document;
  if (!document.LoadMemory(written)) return kOk;
  const CPLJSONObject root = document.GetRoot();
  for (const CPLJSONObject& w : root.GetArray("warnings")) {
    std::fprintf(stderr, "senmod: warning: %s\n", w.ToString().c_str());
  }
  const CPLJSONArray g = root.GetArray("geotransform");
  const int bands = root.GetInteger("bands");
  std::fprintf(stderr, "senmod: wrote %s: %d x %d pixels of %.6g x %.6g (%s), %d band%s\n",
               cl.output.c_str(), root.GetInteger("columns"), root.GetInteger("rows"),
               g[1].ToDouble(), -g[5].ToDouble(), root.GetString("srs_name").c_str(), bands,
               bands == 1 ? "" : "s");
  return kOk;
}

int convert(const CommandLine& cl) {
  const Model model = openModel(cl.model);
  ErrorReport* report = nullptr;
  if (cl.to != "rpc") {
    if (smod_ModelSave(model.get(), cl.output.c_str(), &report) != 0) fail(&report);
    return kOk;
  }
  std::vector<std::string> options;
  if (cl.degree) options.push_back("DEGREE=" + std::to_string(*cl.degree));
  if (cl.grid) options.push_back("GRID=" + std::to_string(*cl.grid));
  if (cl.heights) options.push_back("HEIGHTS=" + std::to_string(*cl.heights));
  if (!cl.image.empty()) options.push_back("IMAGE=" + cl.image);
  if (cl.maxResidual) {
    options.push_back("MAX_RESIDUAL=" + std::string(CPLSPrintf("%.17g", *cl.maxResidual)));
  }
  const std::vector<const char*> list = optionList(options);
  const InterruptCatcher catcher;
  ProgressBar bar{false};
  const std::string written =
      takeText(smod_ModelExportRPC(model.get(), cl.output.c_str(), list.data(), progressStep, &bar,
                                   nullptr, nullptr, &report),
               &report);
  CPLJSONDocument document;
  if (!document.LoadMemory(written)) return kOk;
  const CPLJSONObject root = document.GetRoot();
  for (const CPLJSONObject& w : root.GetArray("warnings")) {
    std::fprintf(stderr, "senmod: warning: %s\n", w.ToString().c_str());
  }
  print(std::string(CPLSPrintf(
      "%s: RPC of degree %d (%s) fitted on %d points; residual against the model: mean %.3g px, "
      "max %.3g px over %d check points\n",
      cl.output.c_str(), root.GetInteger("degree"), root.GetString("format").c_str(),
      root.GetInteger("fit_points"), root.GetDouble("residual_mean_px"),
      root.GetDouble("residual_max_px"), root.GetInteger("check_points"))));
  return kOk;
}

int refine(const CommandLine& cl) {
  const Model model = openModel(cl.model, cl.dem);
  std::vector<std::string> options;
  if (!cl.params.empty()) options.push_back("PARAMS=" + cl.params);
  if (cl.maxIterations) options.push_back("MAX_ITERATIONS=" + std::to_string(*cl.maxIterations));
  if (cl.reject) options.push_back("REJECT=YES");
  const std::vector<const char*> list = optionList(options);
  ErrorReport* report = nullptr;
  char* json = nullptr;
  const Model refined(
      smod_ModelRefine(model.get(), cl.gcps.c_str(), list.data(), &json, &report));
  if (!refined) fail(&report);
  const std::string text = takeText(json, &report);
  if (smod_ModelSave(refined.get(), cl.output.c_str(), &report) != 0) fail(&report);
  print(cl.json ? text : refineTable(text));
  return kOk;
}

int transform(const CommandLine& cl) {
  const Model model = openModel(cl.model, cl.dem);
  ErrorReport* report = nullptr;
  if (cl.maxResidual) {
    const std::string limit = CPLSPrintf("%.17g", *cl.maxResidual);
    if (smod_ModelSetOption(model.get(), "MAX_RESIDUAL", limit.c_str(), &report) != 0) {
      fail(&report);
    }
  }
  if (cl.extrapolate && smod_ModelSetOption(model.get(), "EXTRAPOLATE", "YES", &report) != 0) {
    fail(&report);
  }
  // A model without an error covariance is refused before any point is read.
  if (cl.command == "accuracy" &&
      smod_ModelGroundCovariance(model.get(), 0, nullptr, nullptr, nullptr, 0.0, 0.0, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &report) < 0) {
    fail(&report);
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
  if (!cl.input.empty()) {
    file.reset(std::fopen(cl.input.c_str(), "rb"));
    if (!file) {
      throw CommandError(cl.input + ": cannot open the input (" + std::strerror(errno) + ")");
    }
  }
  PointJob job;
  job.groundToImage = cl.command == "ground-to-image";
  job.accuracy = cl.command == "accuracy";
  job.heightSigma = cl.heightSigma;
  job.imageSigma = cl.imageSigma;
  job.height = cl.height;
  job.dem = !cl.dem.empty();
  job.strictDem = cl.strictDem;
  job.extrapolate = cl.extrapolate;
  job.stopOnError = cl.stopOnError;
  job.maxResidual = cl.maxResidual ? *cl.maxResidual : SMOD_DEFAULT_MAX_RESIDUAL;
  job.inputName = cl.input.empty() ? "standard input" : cl.input;
  PointStream stream(model.get(), job, stderr);
  Output out(cl.output);
  const int status = stream.run(file ? file.get() : stdin, out);
  out.close();
  return status;
}

// The commands by name; a new command is one more entry.
struct Command {
  const char* name;
  int (*run)(const CommandLine&);
};
constexpr Command kCommands[] = {
    {"help", help},       {"version", version},           {"info", info},
    {"convert", convert}, {"ground-to-image", transform}, {"image-to-ground", transform},
    {"accuracy", transform}, {"ortho", ortho},     {"footprint", footprint},
    {"refine", refine}};

int run(const CommandLine& cl) {
  if (cl.help) {
    print(commandHelp(cl.command));
    return kOk;
  }
  for (const auto& [key, value] : cl.config) CPLSetConfigOption(key.c_str(), value.c_str());
  // Before anything is opened or written: the points commands' output is opened in place.
  const bool points = cl.command == "ground-to-image" || cl.command == "image-to-ground" ||
                      cl.command == "accuracy";
  refuseOutputOverInputs(cl.output,
                         {{"the model", cl.model},
                          {"the image", cl.image},
                          {"the DEM", cl.dem},
                          {"the input", cl.input},
                          {"the ground control points", cl.gcps}},
                         points && cl.input.empty());
  for (const Command& c : kCommands) {
    if (cl.command == c.name) return c.run(cl);
  }
  throw UsageError("unknown command \"" + cl.command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(parseCommandLine(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "senmod: %s\n%s", e.what(), usageText().c_str());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "senmod: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "senmod: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "senmod: stopped by an unexpected error\n");
  }
  return kUnusable;
}
