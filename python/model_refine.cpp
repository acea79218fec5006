// Model.refine: a model refined with ground control points, through the face.
#include <pybind11/numpy.h>

#include <vector>

#include "model_calls.h"

namespace py = pybind11;

namespace senmod_python {

py::tuple Model::refine(const py::object& gcps, std::optional<std::string> params,
                        int maxIterations, bool reject, const py::object& dem) {
  const std::optional<std::string> demPath = demOf(dem, false, "");
  std::vector<std::string> options;
  if (params) options.push_back("PARAMS=" + cText(*params, "params"));
  options.push_back("MAX_ITERATIONS=" + std::to_string(maxIterations));
  if (reject) options.push_back("REJECT=YES");
  const std::vector<const char*> list = optionList(options);
  const bool file = py::isinstance<py::str>(gcps) || py::isinstance<py::bytes>(gcps) ||
                    py::hasattr(gcps, "__fspath__");
  std::string gcpPath;
  py::array_t<double, py::array::c_style | py::array::forcecast> table;
  if (file) {
    gcpPath = pathBytes(gcps);
  } else {
    table = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(gcps);
    if (!table || table.ndim() != 2 || table.shape(1) < 5 || table.shape(1) > 8) {
      PyErr_Clear();
      throw py::value_error(
          "gcps takes a file name or an (n, 5..8) array of sample, row, lon, lat, h[, sigma_h, "
          "sigma_v, sigma_px]");
    }
  }
  const size_t n = file ? 0 : static_cast<size_t>(table.shape(0));
  const size_t columns = file ? 0 : static_cast<size_t>(table.shape(1));
  const double* values = file ? nullptr : table.data();
  Report report;
  char* json = nullptr;
  smod_Model* refined = run(demPath, std::nullopt, [&] {
    return file ? smod_ModelRefine(model_, gcpPath.c_str(), list.data(), &json, report.slot())
                : smod_ModelRefinePoints(model_, n, columns, values, list.data(), &json,
                                         report.slot());
  });
  if (!refined) report.raise(file ? "smod_ModelRefine" : "smod_ModelRefinePoints");
  const OwnedText text(json, smod_Free);
  std::unique_ptr<Model> model(new Model(path_, refined));
  model->dem_ = dem_;
  model->demStamp_ = demStamp_;
  model->derived_ = true;
  return py::make_tuple(py::cast(std::move(model)), jsonValue(text.get()));
}

}  // namespace senmod_python
