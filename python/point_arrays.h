// numpy arguments of the transform methods: real numbers broadcast against each other.
#ifndef SENMOD_PYTHON_POINT_ARRAYS_H
#define SENMOD_PYTHON_POINT_ARRAYS_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <vector>

namespace senmod_python {

using DoubleArray = pybind11::array_t<double, pybind11::array::c_style>;

// The coordinates of n points, each a C-ordered float64 array of the broadcast shape (the
// caller's own array when it already is one, else a copy).
struct PointArrays {
  std::vector<pybind11::ssize_t> shape;
  size_t n = 0;
  DoubleArray x, y;
  std::optional<DoubleArray> h;  // none given
};

// Reads x, y and h (None, or anything that broadcasts with them) as numpy's broadcast_arrays
// does. Raises TypeError for values that are not real numbers (strings, complex, objects,
// booleans) and ValueError naming the arguments when their shapes do not broadcast.
PointArrays readPoints(const char* xName, pybind11::handle x, const char* yName, pybind11::handle y,
                       pybind11::handle h);

// A new array of shape.
template <typename T>
pybind11::array_t<T> newArray(const std::vector<pybind11::ssize_t>& shape) {
  return pybind11::array_t<T>(shape);
}

}  // namespace senmod_python

#endif
