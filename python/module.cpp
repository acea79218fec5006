// The Python module senmod: models read from files as the command reads them, carried between
// ground and image on numpy arrays through the library's batch calls.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model_loader.h"
#include "footprint.h"
#include "point_arrays.h"
#include "command_line.h"
#include "point_transform.h"
#include "read_error.h"
#include "senmod/version.h"

namespace py = pybind11;

namespace senmod_python {

namespace {

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
    return py::module_::import("json").attr("loads")(smodtool::infoJson(loaded_, path_));
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
  // A transform for one kind of call, kept for the next call of the same kind.
  struct Transform {
    smodtool::PointJob job;
    std::unique_ptr<smodtool::PointTransform> points;
  };

  smodtool::PointTransform& transformFor(bool groundToImage, const std::string& dem) {
    std::unique_ptr<Transform>& slot = groundToImage ? forward_ : dem.empty() ? inverse_ : onDem_;
    if (!slot || slot->job.dem != dem) {
      slot.reset();
      auto made = std::make_unique<Transform>();
      made->job.groundToImage = groundToImage;
      made->job.dem = dem;
      made->job.maxResidual = smodtool::kDefaultMaxResidual;
      made->job.inputName = path_;
      std::optional<smodtool::DemCoverage> coverage;
      if (!dem.empty()) coverage.emplace(dem);
      made->points =
          std::make_unique<smodtool::PointTransform>(loaded_.xform.get(), made->job, coverage);
      slot = std::move(made);
    }
    return *slot->points;
  }

  // Every point in chunks; a point that fails gives NaN in each of its outputs.
  void transform(bool groundToImage, const std::string& dem, const PointArrays& points,
                 double* out, double* heights) {
    smodtool::PointTransform& t = transformFor(groundToImage, dem);
    const size_t chunk = smodtool::PointTransform::kMaxPoints;
    std::vector<smodtool::PointInput> in(std::min(chunk, points.n));
    std::vector<double> h(in.size());
    std::vector<unsigned char> offDem(in.size());
    for (size_t begin = 0; begin < points.n;) {
      const size_t count = std::min(chunk, points.n - begin);
      for (size_t i = 0; i < count; ++i) {
        const size_t k = begin + i;
        const double z = !dem.empty()           ? 0.0
                         : points.heights.empty() ? t.meanHeight()
                                                  : points.heights[k];
        in[i] = {points.xy[2 * k], points.xy[2 * k + 1], z, !dem.empty()};
      }
      const size_t done = t.run(in.data(), count, out + 2 * begin, h.data(), offDem.data());
      if (heights) std::copy(h.begin(), h.begin() + done, heights + begin);
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
  std::unique_ptr<Transform> forward_, inverse_, onDem_;
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
to its image point); neither for the model's mean height. Failed points are NaN, and so are
points whose result does not map back to the image point within 1e-3 pixel.)")
      .def("save", &Model::save, py::arg("path"),
           "Writes the model with its covariance records to the model file path (.smod).");

  m.def(
      "open", [](py::handle path) { return std::make_unique<Model>(path); },
      py::arg("path"), "Reads the sensor model of the file path; raises senmod.Error.");
}
