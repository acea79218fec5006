// numpy arguments of the transform methods: real-number arrays of one shape.
#ifndef SENMOD_PYTHON_POINT_ARRAYS_H
#define SENMOD_PYTHON_POINT_ARRAYS_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <vector>

namespace senmod_python {

// The coordinates of n points: x, y pairs in one block, and their heights when given.
struct PointArrays {
  std::vector<pybind11::ssize_t> shape;
  size_t n = 0;
  std::vector<double> xy;
  std::vector<double> heights;  // empty: none given
};

// Reads x, y and h (None, a number, or an array of x's shape) as float64. Raises TypeError for
// values that are not real numbers (strings, complex, objects, booleans) and ValueError when
// the shapes differ.
PointArrays readPoints(const char* xName, pybind11::handle x, const char* yName,
                       pybind11::handle y, pybind11::handle h);

// A new float64 array of shape.
pybind11::array_t<double> newArray(const std::vector<pybind11::ssize_t>& shape);

}  // namespace senmod_python

#endif
