#pragma once
// Array handling of the Python module: numpy arguments checked and copied into doubles, and
// results handed to numpy without a copy. Every refusal is a ValueError naming the argument.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace py = pybind11;

namespace velk {

// Element types the module reads.
enum class elementtype { float32, float64, int16 };

// The argument as a numpy array of ndim dimensions (any when ndim < 0; a list or any array-like is converted
// the way numpy.asarray does) holding one of the element types float32 and float64, and int16 when
// int16allowed, in the machine's byte order (an array of the other order is converted). Refuses other types,
// other dimensions and (unless emptyallowed) empty arrays, naming the argument and the rule.
py::array checkedarray(const py::handle& value, const char* name, int ndim, bool int16allowed,
                       bool emptyallowed = false);

// Its element type (checkedarray has refused every other).
elementtype elementtypeof(const py::array& a);

// The elements of a 1-D or 2-D array in row-major order whatever its strides, as doubles:
// floats widened exactly, int16 samples multiplied by int16scale.
std::vector<double> copydoubles(const py::array& a, double int16scale);

// Refuses non-finite values: "<name> holds a non-finite value at index i".
void requirefinite(const std::vector<double>& v, const char* name);

// A new float64 numpy array of the given shape that takes over the vector's storage.
py::array_t<double> ownedarray(std::vector<double>&& v, std::vector<py::ssize_t> shape);

// The text of a Python value for messages (its repr).
std::string shown(const py::handle& value);

}  // namespace velk
