#include "point_arrays.h"

#include <algorithm>
#include <string>

namespace py = pybind11;

namespace senmod_python {

namespace {

bool sameShape(const py::array& a, const py::array& b) {
  return a.ndim() == b.ndim() && std::equal(a.shape(), a.shape() + a.ndim(), b.shape());
}

std::string shapeText(const py::array& a) {
  py::tuple shape(a.ndim());
  for (py::ssize_t i = 0; i < a.ndim(); ++i) shape[i] = a.shape(i);
  return py::repr(shape);
}

// The argument as a C-ordered float64 array, from any array of integers or reals.
py::array_t<double, py::array::c_style> realArray(const char* name, py::handle value) {
  py::array a = py::module_::import("numpy").attr("asarray")(value);
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u' && kind != 'f') {
    throw py::type_error(std::string(name) + " must hold real numbers, not " +
                         std::string(py::str(a.dtype())));
  }
  return py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
}

}  // namespace

PointArrays readPoints(const char* xName, py::handle x, const char* yName, py::handle y,
                       py::handle h) {
  const auto xs = realArray(xName, x);
  const auto ys = realArray(yName, y);
  if (!sameShape(xs, ys)) {
    throw py::value_error(std::string(xName) + " and " + yName + " must have one shape, not " +
                          shapeText(xs) + " and " + shapeText(ys));
  }
  PointArrays points;
  points.shape.assign(xs.shape(), xs.shape() + xs.ndim());
  points.n = static_cast<size_t>(xs.size());
  points.xy.resize(2 * points.n);
  for (size_t i = 0; i < points.n; ++i) {
    points.xy[2 * i] = xs.data()[i];
    points.xy[2 * i + 1] = ys.data()[i];
  }
  if (!h.is_none()) {
    const auto hs = realArray("h", h);
    if (hs.ndim() == 0) {
      points.heights.assign(points.n, hs.data()[0]);
    } else if (sameShape(hs, xs)) {
      points.heights.assign(hs.data(), hs.data() + hs.size());
    } else {
      throw py::value_error(std::string("h must be a number or have the shape of ") + xName +
                            ", not " + shapeText(hs) + " against " + shapeText(xs));
    }
  }
  return points;
}

py::array_t<double> newArray(const std::vector<py::ssize_t>& shape) {
  return py::array_t<double>(shape);
}

}  // namespace senmod_python
