// senmod: ground and image coordinates from the sensor model of an image file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include <unistd.h>

#include "command_line.h"
#include "footprint.h"
#include "gdal_quiet.h"
#include "model_loader.h"
#include "model_summary.h"
#include "number_text.h"
#include "ortho_command.h"
#include "output.h"
#include "point_stream.h"
#include "read_error.h"
#include "senmod/version.h"

namespace {

using namespace smodtool;

constexpr int kOk = 0;
constexpr int kUnusable = 2;

int help(const CommandLine&) {
  Output out("");
  out.write(kUsage);
  out.close();
  return kOk;
}

int version(const CommandLine&) {
  Output out("");
  out.write(std::string("senmod ") + SENMOD_VERSION + "\n");
  out.close();
  return kOk;
}

HeightSource heightsOf(const CommandLine& cl) { return {cl.dem, cl.height}; }

std::string heightsText(const CommandLine& cl, const SensorGeometry& geometry) {
  if (!cl.dem.empty()) return "DEM " + cl.dem;
  if (cl.height) return numberText(*cl.height) + " m";
  return "mean height " + numberText(geometry.meanHeight()) + " m";
}

Outline outlineOf(const LoadedModel& model, const CommandLine& cl, std::string* heights) {
  SensorGeometry geometry(model.xform.get(), model.gdalPixelShift, heightsOf(cl));
  *heights = heightsText(cl, geometry);
  return groundOutline(geometry, modelImageExtent(model.xform.get()), cl.step);
}

int info(const CommandLine& cl) {
  const LoadedModel model = loadModel(cl.model);
  const std::string text =
      cl.json ? infoJson(model, cl.model) : summaryText(model, cl.model, false);
  Output out("");
  out.write(text);
  out.close();
  return kOk;
}

int footprint(const CommandLine& cl) {
  const LoadedModel model = loadModel(cl.model);
  FootprintProperties p;
  const Outline outline = outlineOf(model, cl, &p.heights);
  if (outline.missed > 0) {
    std::fprintf(stderr, "senmod: warning: %ld points of the image's edges do not reach the "
                 "ground and are left out of the footprint\n", outline.missed);
  }
  const ImageExtent extent = modelImageExtent(model.xform.get());
  p.source = model.source;
  p.width = extent.x1 - extent.x0;
  p.height = extent.y1 - extent.y0;
  p.step = cl.step;
  writeFootprint(outline, p, cl.output);
  return kOk;
}

int ortho(const CommandLine& cl) {
  OrthoJob job;
  job.image = cl.image;
  job.output = cl.output;
  job.model = cl.model;
  job.heights = heightsOf(cl);
  job.grid = {cl.srs, cl.resolution, cl.extent};
  job.resampling = cl.resampling;
  job.threads = cl.threads;
  job.creationOptions = cl.creationOptions;
  job.cog = cl.cog;
  job.progress = cl.progress || (!cl.quiet && isatty(fileno(stderr)));
  job.quiet = cl.quiet;
  runOrtho(job, stderr);
  return kOk;
}

int convert(const CommandLine& cl) {
  saveModel(loadModel(cl.model), cl.output);
  return kOk;
}

int transform(const CommandLine& cl) {
  const LoadedModel model = loadModel(cl.model);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
  if (!cl.input.empty()) {
    file.reset(std::fopen(cl.input.c_str(), "rb"));
    if (!file) {
      throw ReadError(cl.input + ": cannot open the input (" + std::strerror(errno) + ")");
    }
  }
  PointJob job;
  job.groundToImage = cl.command == "ground-to-image";
  job.height = cl.height;
  job.dem = cl.dem;
  job.strictDem = cl.strictDem;
  job.maxResidual = cl.maxResidual;
  job.inputName = cl.input.empty() ? "standard input" : cl.input;
  PointStream stream(model.xform.get(), job, stderr);
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
    {"ortho", ortho},     {"footprint", footprint}};

int run(const CommandLine& cl) {
  for (const Command& c : kCommands) {
    if (cl.command == c.name) return c.run(cl);
  }
  throw UsageError("unknown command \"" + cl.command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  gdalStart();
  try {
    return run(parseCommandLine(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "senmod: %s\n%s", e.what(), kUsage);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "senmod: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "senmod: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "senmod: stopped by an unexpected error\n");
  }
  return kUnusable;
}
