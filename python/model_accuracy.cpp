// senmod.Model's adjustable parameters and accuracy.
#include <pybind11/numpy.h>

#include <vector>

#include "face.h"
#include "model.h"
#include "model_calls.h"
#include "point_arrays.h"

namespace py = pybind11;

namespace senmod_python {

namespace {

// shape followed by the trailing dimensions of one point's matrix.
std::vector<py::ssize_t> matrixShape(std::vector<py::ssize_t> shape, py::ssize_t rows,
                                     py::ssize_t columns) {
  shape.push_back(rows);
  shape.push_back(columns);
  return shape;
}

}  // namespace

py::dict Model::adjustableParameters() {
  Report report;
  const int count = smod_ModelParameterCount(model_, report.slot());
  if (count < 0) report.raise("smod_ModelParameterCount");
  const size_t m = static_cast<size_t>(count);
  py::list names;
  for (int k = 0; k < count; ++k) names.append(py::str(smod_ModelParameterName(model_, k)));
  auto values = newArray<double>({static_cast<py::ssize_t>(m)});
  auto covariance =
      newArray<double>({static_cast<py::ssize_t>(m), static_cast<py::ssize_t>(m)});
  const int has = smod_ModelParameters(model_, values.mutable_data(), covariance.mutable_data(),
                                       report.slot());
  if (has < 0) report.raise("smod_ModelParameters");
  const char* source = smod_ModelParameterSource(model_);
  py::dict result;
  result["names"] = names;
  result["values"] = values;
  result["covariance"] = has == 1 ? py::object(covariance) : py::object(py::none());
  result["source"] = source ? py::object(py::str(source)) : py::object(py::none());
  return result;
}

std::unique_ptr<Model> Model::withParameters(const py::object& values) {
  const auto given = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
  if (!given || given.ndim() != 1) {
    throw py::value_error("with_parameters takes a one-dimensional sequence of numbers");
  }
  std::vector<double> v(given.data(), given.data() + given.size());
  Report report;
  smod_Model* made = run(std::nullopt, std::nullopt, [&] {
    return smod_ModelWithParameters(model_, v.size(), v.data(), report.slot());
  });
  if (!made) report.raise("smod_ModelWithParameters");
  std::unique_ptr<Model> model(new Model(path_, made));
  model->dem_ = dem_;
  model->demStamp_ = demStamp_;
  model->values_ = std::move(v);
  model->derived_ = derived_;
  return model;
}

py::object Model::imageCovariance(const py::object& lon, const py::object& lat,
                                  const py::object& h, const py::object& dem) {
  const PointArrays points = readPoints("lon", lon, "lat", lat, h);
  const std::optional<std::string> demPath = demOf(dem, points.h.has_value(), "h");
  auto cov = newArray<double>(matrixShape(points.shape, 2, 2));
  std::vector<int> status(points.n);
  double* c = cov.mutable_data();
  run(demPath, std::nullopt, [&] {
    Report report;
    if (smod_ModelImageCovariance(model_, points.n, points.x.data(), points.y.data(),
                                  points.h ? points.h->data() : nullptr, c, status.data(),
                                  report.slot()) < 0) {
      report.raise("smod_ModelImageCovariance");
    }
    return 0;
  });
  return cov;
}

py::tuple Model::groundErrors(const py::object& sample, const py::object& row,
                              const py::object& dem, const py::object& height,
                              double heightSigma, double imageSigma) {
  const PointArrays points = readPoints("sample", sample, "row", row, height);
  const std::optional<std::string> demPath = demOf(dem, points.h.has_value(), "height");
  auto lon = newArray<double>(points.shape), lat = newArray<double>(points.shape);
  auto h = newArray<double>(points.shape);
  auto cov = newArray<double>(matrixShape(points.shape, 3, 3));
  auto ce90 = newArray<double>(points.shape), le90 = newArray<double>(points.shape);
  std::vector<int> status(points.n);
  double *lo = lon.mutable_data(), *la = lat.mutable_data(), *he = h.mutable_data();
  double *c = cov.mutable_data(), *ce = ce90.mutable_data(), *le = le90.mutable_data();
  run(demPath, std::nullopt, [&] {
    Report report;
    if (smod_ModelGroundCovariance(model_, points.n, points.x.data(), points.y.data(),
                                   points.h ? points.h->data() : nullptr, heightSigma,
                                   imageSigma, lo, la, he, c, ce, le, status.data(),
                                   report.slot()) < 0) {
      report.raise("smod_ModelGroundCovariance");
    }
    return 0;
  });
  return py::make_tuple(lon, lat, h, cov, ce90, le90);
}

py::object Model::groundCovariance(const py::object& sample, const py::object& row,
                                   const py::object& dem, const py::object& height,
                                   double heightSigma, double imageSigma) {
  return groundErrors(sample, row, dem, height, heightSigma, imageSigma)[3];
}

py::dict Model::accuracy(const py::object& sample, const py::object& row, const py::object& dem,
                         const py::object& height, double heightSigma, double imageSigma) {
  const py::tuple e = groundErrors(sample, row, dem, height, heightSigma, imageSigma);
  py::dict result;
  result["lon"] = e[0];
  result["lat"] = e[1];
  result["h"] = e[2];
  result["ce90"] = e[4];
  result["le90"] = e[5];
  return result;
}

}  // namespace senmod_python
