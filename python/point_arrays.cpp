#include "point_arrays.h"

#include <string>

namespace py = pybind11;

namespace senmod_python {

namespace {

// The argument as an array of integers or reals, not yet converted.
py::array realArray(const py::module_& np, const char* name, py::handle value) {
  py::array a = np.attr("asarray")(value);
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u' && kind != 'f') {
    throw py::type_error(std::string(name) + " must hold real numbers, not " +
                         std::string(py::str(a.dtype())));
  }
  return a;
}

std::string shapeText(const py::array& a) { return py::repr(py::tuple(a.attr("shape"))); }

}  // namespace

PointArrays readPoints(const char* xName, py::handle x, const char* yName, py::handle y,
                       py::handle h) {
  const py::module_ np = py::module_::import("numpy");
  const bool heights = !h.is_none();
  const py::array xs = realArray(np, xName, x);
  const py::array ys = realArray(np, yName, y);
  const py::array hs = heights ? realArray(np, "h", h) : py::array(np.attr("empty")(0));

  py::tuple shape;
  try {
    shape = heights
                ? np.attr("broadcast_shapes")(xs.attr("shape"), ys.attr("shape"), hs.attr("shape"))
                : np.attr("broadcast_shapes")(xs.attr("shape"), ys.attr("shape"));
  } catch (const py::error_already_set& e) {
    if (!e.matches(PyExc_ValueError)) throw;
    std::string text = std::string(xName) + ", " + yName + (heights ? " and h" : "") +
                       " do not broadcast to one shape: " + shapeText(xs) + ", " + shapeText(ys);
    if (heights) text += ", " + shapeText(hs);
    throw py::value_error(text);
  }

  const auto spread = [&](const py::array& a) {
    return DoubleArray(np.attr("ascontiguousarray")(np.attr("broadcast_to")(a, shape),
                                                    py::arg("dtype") = np.attr("float64")));
  };
  PointArrays points;
  for (py::handle extent : shape) points.shape.push_back(extent.cast<py::ssize_t>());
  points.x = spread(xs);
  points.y = spread(ys);
  if (heights) points.h = spread(hs);
  points.n = static_cast<size_t>(points.x.size());
  return points;
}

}  // namespace senmod_python
