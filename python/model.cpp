#include "model.h"

#include <pybind11/numpy.h>
#include <sys/stat.h>

#include <mutex>
#include <thread>
#include <vector>

#include "face.h"
#include "model_calls.h"
#include "point_arrays.h"

namespace py = pybind11;

namespace senmod_python {

// The footprint's JSON is GDAL's, which copies the bytes of file names that are not UTF-8: they
// become U+FFFD, as in the engine's own JSON.
py::object jsonValue(const std::string& text) {
  return py::module_::import("json").attr("loads")(
      py::bytes(text).attr("decode")("utf-8", "replace"));
}

// The DEM a call asks for: nullopt when its heights are given (the DEM is then left as set),
// "" for none. Raises ValueError for heights and a DEM together.
std::optional<std::string> demOf(py::handle dem, bool heightsGiven, const char* heightName) {
  if (heightsGiven) {
    if (!dem.is_none()) {
      throw py::value_error(std::string("give ") + heightName + " or dem, not both");
    }
    return std::nullopt;
  }
  if (dem.is_none()) return std::string();
  std::string path = pathBytes(dem);
  if (path.empty()) throw py::value_error("dem names no file");
  return path;
}

namespace {

// A progress callback that only watches for Ctrl-C: the signal handlers run on the
// main thread, so it checks them when the work reports there and stops the work when one
// raised.
struct SignalWatch {
  std::thread::id thread = std::this_thread::get_id();
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* trace = nullptr;

  static int check(double, void* arg) {
    auto* watch = static_cast<SignalWatch*>(arg);
    if (std::this_thread::get_id() != watch->thread) return 1;
    const py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() == 0) return 1;
    PyErr_Fetch(&watch->type, &watch->value, &watch->trace);
    return 0;
  }
};

bool onMainThread() {
  const py::module_ threading = py::module_::import("threading");
  return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// A face call that reports progress and hands back a JSON text: call(progress, arg) runs it
// with a callback that only watches for Ctrl-C (on the main thread). Raises what Ctrl-C raised,
// or the report of the call named name when it gave no text; returns the text as a dict.
template <typename Call>
py::object watchedJson(const char* name, const Report& report, Call call) {
  SignalWatch watch;
  const bool watching = onMainThread();
  const OwnedText text = call(watching ? SignalWatch::check : nullptr, &watch);
  if (watch.type) {
    PyErr_Restore(watch.type, watch.value, watch.trace);
    throw py::error_already_set();
  }
  if (!text) report.raise(name);
  return jsonValue(text.get());
}

// Creation options from a list of "NAME=VALUE" texts, one such text, or a dict.
std::vector<std::string> creationOptions(py::handle co) {
  std::vector<std::string> options;
  if (co.is_none()) return options;
  if (py::isinstance<py::dict>(co)) {
    for (const auto& item : co.cast<py::dict>()) {
      options.push_back(std::string(py::str(item.first)) + "=" + std::string(py::str(item.second)));
    }
  } else if (py::isinstance<py::str>(co)) {
    options.push_back(co.cast<std::string>());
  } else {
    for (py::handle item : co) {
      if (!py::isinstance<py::str>(item)) {
        throw py::type_error("co takes NAME=VALUE texts or a dict, not " +
                             std::string(py::str(py::type::of(item))));
      }
      options.push_back(item.cast<std::string>());
    }
  }
  for (std::string& o : options) o = "CO=" + cText(o, "a creation option");
  return options;
}

}  // namespace

Model::Model(const py::object& path) : path_(pathBytes(path)) {
  Report report;
  {
    const py::gil_scoped_release unlocked;
    model_ = smod_ModelOpen(path_.c_str(), report.slot());
  }
  if (!model_) report.raise("smod_ModelOpen");
}

Model::~Model() { smod_ModelClose(model_); }

Model::FileStamp Model::fileStamp(const std::string& path) {
  struct stat s;
  if (::stat(path.c_str(), &s) != 0) return {};
  using L = long long;
  return {L(s.st_dev),          L(s.st_ino),          L(s.st_size),         L(s.st_mtim.tv_sec),
          L(s.st_mtim.tv_nsec), L(s.st_ctim.tv_sec), L(s.st_ctim.tv_nsec)};
}

void Model::setDem(const std::string& dem, const FileStamp& stamp) {
  Report report;
  if (smod_ModelSetDem(model_, dem.empty() ? nullptr : dem.c_str(), report.slot()) != 0) {
    report.raise("smod_ModelSetDem");
  }
  dem_ = dem;
  demStamp_ = stamp;
}

py::object Model::info() {
  return jsonValue(run(std::nullopt, std::nullopt, [&] {
    Report report;
    return takeText(smod_ModelInfoJson(model_, report.slot()), report, "smod_ModelInfoJson");
  }));
}

void Model::save(const py::object& path) {
  const std::string file = pathBytes(path);
  run(std::nullopt, std::nullopt, [&] {
    Report report;
    if (smod_ModelSave(model_, file.c_str(), report.slot()) != 0) report.raise("smod_ModelSave");
    return 0;
  });
}

py::tuple Model::groundToImage(const py::object& lon, const py::object& lat, const py::object& h,
                               const py::object& dem, bool returnStatus) {
  const PointArrays points = readPoints("lon", lon, "lat", lat, h);
  const std::optional<std::string> demPath = demOf(dem, points.h.has_value(), "h");
  auto sample = newArray<double>(points.shape), row = newArray<double>(points.shape);
  auto status = newArray<int>(points.shape);
  const double* x = points.x.data();
  const double* y = points.y.data();
  const double* z = points.h ? points.h->data() : nullptr;
  double* s = sample.mutable_data();
  double* r = row.mutable_data();
  int* st = status.mutable_data();
  run(demPath, std::nullopt, [&] {
    Report report;
    if (smod_ModelGroundToImage(model_, points.n, x, y, z, s, r, st, report.slot()) < 0) {
      report.raise("smod_ModelGroundToImage");
    }
    return 0;
  });
  return returnStatus ? py::make_tuple(sample, row, status) : py::make_tuple(sample, row);
}

py::tuple Model::imageToGround(const py::object& sample, const py::object& row, const py::object& h,
                               const py::object& dem, std::optional<double> maxResidual,
                               bool returnStatus) {
  const PointArrays points = readPoints("sample", sample, "row", row, h);
  const std::optional<std::string> demPath = demOf(dem, points.h.has_value(), "h");
  auto lon = newArray<double>(points.shape), lat = newArray<double>(points.shape);
  auto height = newArray<double>(points.shape);
  auto status = newArray<int>(points.shape);
  const double* x = points.x.data();
  const double* y = points.y.data();
  const double* z = points.h ? points.h->data() : nullptr;
  double* lo = lon.mutable_data();
  double* la = lat.mutable_data();
  double* he = height.mutable_data();
  int* st = status.mutable_data();
  run(demPath, maxResidual, [&] {
    Report report;
    if (smod_ModelImageToGround(model_, points.n, x, y, z, lo, la, he, st, report.slot()) < 0) {
      report.raise("smod_ModelImageToGround");
    }
    return 0;
  });
  return returnStatus ? py::make_tuple(lon, lat, height, status) : py::make_tuple(lon, lat, height);
}

py::object Model::footprint(const py::object& dem, std::optional<double> height, double step) {
  const std::optional<std::string> demPath = demOf(dem, height.has_value(), "height");
  long leftOut = 0;
  const std::string text = run(demPath, std::nullopt, [&] {
    Report report;
    return takeText(
        smod_ModelFootprintJson(model_, step, height ? &*height : nullptr, &leftOut, report.slot()),
        report, "smod_ModelFootprintJson");
  });
  py::object collection = py::module_::import("senmod").attr("Footprint")(jsonValue(text));
  collection.attr("left_out") = leftOut;
  if (leftOut > 0) {
    py::module_::import("warnings")
        .attr("warn")(std::to_string(leftOut) +
                          " points of the image's edges do not reach the ground and are left "
                          "out of the footprint",
                      py::module_::import("builtins").attr("RuntimeWarning"), 2);
  }
  return collection;
}

py::object Model::ortho(const py::object& image, const py::object& output, const py::object& dem,
                        std::optional<double> height, std::optional<std::string> tSrs,
                        std::optional<std::array<double, 2>> tr,
                        std::optional<std::array<double, 4>> te, const std::string& resampling,
                        std::optional<int> threads, const py::object& co,
                        std::optional<std::string> format) {
  const std::optional<std::string> demPath = demOf(dem, height.has_value(), "height");
  const std::string imagePath = pathBytes(image);
  const std::string outputPath = pathBytes(output);
  std::vector<std::string> options = creationOptions(co);
  if (tSrs) options.push_back("T_SRS=" + cText(*tSrs, "t_srs"));
  if (tr) options.push_back("TR=" + numberText((*tr)[0]) + " " + numberText((*tr)[1]));
  if (te) {
    std::string extent = "TE=";
    for (double v : *te) extent += numberText(v) + " ";
    options.push_back(extent);
  }
  options.push_back("RESAMPLING=" + cText(resampling, "resampling"));
  if (threads) options.push_back("THREADS=" + std::to_string(*threads));
  if (format) options.push_back("FORMAT=" + cText(*format, "format"));
  if (height) options.push_back("HEIGHT=" + numberText(*height));
  const std::vector<const char*> list = optionList(options);

  Report report;
  return watchedJson("smod_ModelOrtho", report, [&](smod_ProgressFunc progress, void* arg) {
    return run(demPath, std::nullopt, [&] {
      return OwnedText(smod_ModelOrtho(model_, imagePath.c_str(), outputPath.c_str(),
                                       list.data(), progress, arg, report.slot()),
                       smod_Free);
    });
  });
}

py::object Model::toRpc(const py::object& path, int degree, std::optional<int> grid,
                        std::optional<int> heights, const py::object& image,
                        std::optional<double> maxResidual, std::optional<std::string> format) {
  const std::string outputPath = pathBytes(path);
  std::vector<std::string> options = {"DEGREE=" + std::to_string(degree)};
  if (grid) options.push_back("GRID=" + std::to_string(*grid));
  if (heights) options.push_back("HEIGHTS=" + std::to_string(*heights));
  if (!image.is_none()) options.push_back("IMAGE=" + pathBytes(image));
  if (maxResidual) options.push_back("MAX_RESIDUAL=" + numberText(*maxResidual));
  if (format) options.push_back("FORMAT=" + cText(*format, "format"));
  const std::vector<const char*> list = optionList(options);
  Report report;
  return watchedJson("smod_ModelExportRPC", report, [&](smod_ProgressFunc progress, void* arg) {
    return run(std::nullopt, std::nullopt, [&] {
      return OwnedText(smod_ModelExportRPC(model_, outputPath.c_str(), list.data(), progress,
                                           arg, nullptr, nullptr, report.slot()),
                       smod_Free);
    });
  });
}

py::object Model::path() const {
  return py::module_::import("os").attr("fsdecode")(py::bytes(path_));
}

py::tuple Model::state() {
  if (derived_) {
    throw py::type_error("a refined senmod.Model is not its file's model: save it with "
                         "Model.save and open that file");
  }
  const std::string dem = run(std::nullopt, std::nullopt, [&] { return dem_; });
  const py::object demName =
      dem.empty() ? py::object(py::none())
                  : py::module_::import("os").attr("fsdecode")(py::bytes(dem));
  if (!values_) return py::make_tuple(path(), demName);
  py::list values;
  for (const double v : *values_) values.append(v);
  return py::make_tuple(path(), demName, values);
}

std::unique_ptr<Model> Model::fromState(const py::tuple& state) {
  if (state.size() != 2 && state.size() != 3) {
    throw py::value_error("a senmod.Model's state is (path, dem[, parameter values])");
  }
  auto model = std::make_unique<Model>(state[0]);
  if (state.size() == 3) model = model->withParameters(state[2]);
  if (!state[1].is_none()) model->run(pathBytes(state[1]), std::nullopt, [] { return 0; });
  return model;
}

}  // namespace senmod_python
