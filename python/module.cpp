// The Python module senmod: models read from files as the command reads them, carried between
// ground and image on numpy arrays through the library's batch calls.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

#include "model_loader.h"
#include "model_summary.h"
#include "point_arrays.h"
#include "point_batch.h"
#include "read_error.h"
#include "senmod/version.h"

namespace py = pybind11;

namespace senmod_python {

namespace {

// Points go to the library in chunks, as the command sends them.
constexpr size_t kChunk = 4096;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A file name from a str or an os.PathLike.
std::string pathText(py::handle path) {
  return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

// A model and the transform objects that carry its points. Calls on one model run one at a
// time (a transform object rewrites its model's direction); distinct models run in parallel.
class Model {
 public:
  explicit Model(py::handle path) : path_(pathText(path)), loaded_(smodtool::loadModel(path_)) {}

  py::dict info() const {
    std::lock_guard<std::mutex> lock(mutex_);
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    if (!out) throw std::bad_alloc();
    smodtool::writeSummary(loaded_, path_, true, out);
    std::fclose(out);
    std::unique_ptr<char, void (*)(void*)> owned(text, std::free);
    return py::module_::import("json").attr("loads")(std::string(text, size));
  }

  void save(py::handle path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    smodtool::saveModel(loaded_, pathText(path));
  }

  py::tuple groundToImage(py::handle lon, py::handle lat, py::handle h) {
    PointArrays points = readPoints("lon", lon, "lat", lat, h);
    auto sample = newArray(points.shape), row = newArray(points.shape);
    std::vector<double> out(2 * points.n);
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      transform(true, "", points, out.data(), nullptr);
    }
    split(out, sample.mutable_data(), row.mutable_data());
    return py::make_tuple(sample, row);
  }

  py::tuple imageToGround(py::handle sample, py::handle row, py::handle h, py::handle dem) {
    PointArrays points = readPoints("sample", sample, "row", row, h);
    const std::string demPath = dem.is_none() ? "" : pathText(dem);
    if (!demPath.empty() && !points.heights.empty()) {
      throw py::value_error("give h or dem, not both");
    }
    auto lon = newArray(points.shape), lat = newArray(points.shape);
    auto height = newArray(points.shape);
    std::vector<double> out(2 * points.n);
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      transform(false, demPath, points, out.data(), height.mutable_data());
    }
    split(out, lon.mutable_data(), lat.mutable_data());
    return py::make_tuple(lon, lat, height);
  }

 private:
  // The object for heights from dem ("" for the mean height or given heights): the loaded one,
  // or a copy set up for the DEM, kept for the next call with the same DEM.
  RSM_Xform* xformFor(bool groundToImage, const std::string& dem) {
    if (dem.empty()) {
      smodtool::useHeights(loaded_.xform.get(), groundToImage, "");
      return loaded_.xform.get();
    }
    if (!demXform_ || dem != demPath_) {
      demXform_.reset(smod_RSMXformCopy(loaded_.xform.get(), nullptr));
      demPath_.clear();
      if (!demXform_) throw std::bad_alloc();
      smodtool::useHeights(demXform_.get(), groundToImage, dem);
      demPath_ = dem;
    }
    demXform_->model->rsm.groundToImageTransform = groundToImage ? SMOD_TRUE : SMOD_FALSE;
    return demXform_.get();
  }

  // Every point in chunks; a point that fails gives NaN in each of its outputs.
  void transform(bool groundToImage, const std::string& dem, PointArrays& points, double* out,
                 double* heights) {
    RSM_Xform* xform = xformFor(groundToImage, dem);
    if (points.heights.empty() && dem.empty()) {
      points.heights.assign(points.n, xform->model->rsm.z_mean);
    }
    const double* given = points.heights.empty() ? nullptr : points.heights.data();
    std::string failure;
    for (size_t begin = 0; begin < points.n;) {
      const size_t count = std::min(kChunk, points.n - begin);
      const size_t done = smodtool::transformPoints(
          xform, count, &points.xy[2 * begin], given ? given + begin : nullptr, out + 2 * begin,
          heights ? heights + begin : nullptr, &failure);
      begin += done;
      if (done < count) {
        out[2 * begin] = out[2 * begin + 1] = kNaN;
        if (heights) heights[begin] = kNaN;
        ++begin;
      }
    }
  }

  static void split(const std::vector<double>& xy, double* x, double* y) {
    for (size_t i = 0; i < xy.size() / 2; ++i) {
      x[i] = xy[2 * i];
      y[i] = xy[2 * i + 1];
    }
  }

  std::string path_;
  smodtool::LoadedModel loaded_;
  std::string demPath_;
  smodtool::XformPtr demXform_;
  mutable std::mutex mutex_;
};

}  // namespace

}  // namespace senmod_python

PYBIND11_MODULE(senmod, m) {
  using senmod_python::Model;
  m.doc() = R"(Replacement sensor models: ground to image and back on numpy arrays.

Models are read from a NITF file with RSM records, any raster with RPCs that GDAL reads, or a
model file (.smod) written by Model.save or `senmod convert`. Ground points are longitude and
latitude in degrees (WGS 84) with heights in metres; image points are sample (column) and row.

A point that cannot be transformed gives NaN in each output at its place: numpy.isnan of the
first output is the mask of the failed points. Every other failure raises senmod.Error.)";
  m.attr("__version__") = SENMOD_VERSION;

  static py::exception<smodtool::ReadError> error(m, "Error", PyExc_RuntimeError);
  error.doc() = "A model, file or DEM that cannot be used; the text is the whole report chain.";
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const smodtool::ReadError& e) {
      error(e.what());
    }
  });

  py::class_<Model>(m, "Model", "A sensor model read from a file (see senmod.open).")
      .def("info", &Model::info,
           "The model's description: the fields of `senmod info --json`, as a dict.")
      .def("ground_to_image", &Model::groundToImage, py::arg("lon"), py::arg("lat"),
           py::arg("h") = py::none(),
           R"(Image points (sample, row) of ground points, as two arrays of lon's shape.

lon, lat: degrees; h: metres, a number or an array of lon's shape; None for the model's mean
height. Failed points are NaN.)")
      .def("image_to_ground", &Model::imageToGround, py::arg("sample"), py::arg("row"),
           py::arg("h") = py::none(), py::arg("dem") = py::none(),
           R"(Ground points (lon, lat, h) of image points, as three arrays of sample's shape.

h: metres, a number or an array of sample's shape; dem: path of a raster DEM whose heights are
iterated to (each point is then computed again at the DEM height found, so that it maps back
to its image point); neither for the model's mean height. Failed points are NaN.)")
      .def("save", &Model::save, py::arg("path"),
           "Writes the model with its covariance records to the model file path (.smod).");

  m.def(
      "open", [](py::handle path) { return std::make_unique<Model>(path); },
      py::arg("path"), "Reads the sensor model of the file path; raises senmod.Error.");
}
