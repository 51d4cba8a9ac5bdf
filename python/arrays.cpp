#include "arrays.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace velk {

namespace {

std::string shapetext(const py::array& a) {
  std::string text = "(";
  for (py::ssize_t d = 0; d < a.ndim(); ++d) {
    if (d > 0) text += ", ";
    text += std::to_string(a.shape(d));
  }
  return text + (a.ndim() == 1 ? ",)" : ")");
}

// Element k of a typed array at the given byte offset.
double elementat(const char* base, py::ssize_t offset, elementtype type, double int16scale) {
  switch (type) {
    case elementtype::float32: {
      float f;
      memcpy(&f, base + offset, sizeof f);
      return f;
    }
    case elementtype::float64: {
      double d;
      memcpy(&d, base + offset, sizeof d);
      return d;
    }
    case elementtype::int16: {
      int16_t s;
      memcpy(&s, base + offset, sizeof s);
      return s * int16scale;
    }
  }
  return 0.0;
}

}  // namespace

std::string shown(const py::handle& value) {
  return py::repr(value).cast<std::string>();
}

py::array checkedarray(const py::handle& value, const char* name, int ndim, bool int16allowed,
                       bool emptyallowed) {
  py::array a;
  try {
    a = py::module_::import("numpy").attr("asarray")(value);
  } catch (const py::error_already_set&) {
    throw std::invalid_argument(std::string(name) + " must be a numpy array (got " + shown(value) + ")");
  }
  const std::string accepted = int16allowed ? "float32, float64 or int16" : "float32 or float64";
  const py::dtype dt = a.dtype();
  const bool isfloat = dt.kind() == 'f' && (dt.itemsize() == 4 || dt.itemsize() == 8);
  const bool isint16 = dt.kind() == 'i' && dt.itemsize() == 2;
  if (!isfloat && !(int16allowed && isint16))
    throw std::invalid_argument(std::string(name) + " must be a " + accepted + " array (got dtype " +
                                shown(dt.attr("name")) + ")");
  // The elements are read as the machine's own numbers: an array of the other byte order
  // ('>f8' on this machine) is converted to this one first.
  if (!dt.attr("isnative").cast<bool>()) a = a.attr("astype")(dt.attr("newbyteorder")("="));
  if (ndim >= 0 && a.ndim() != ndim)
    throw std::invalid_argument(std::string(name) + " must be " + std::to_string(ndim) + "-D (got shape " +
                                shapetext(a) + ")");
  if (a.size() == 0 && !emptyallowed) throw std::invalid_argument(std::string(name) + " is empty");
  return a;
}

elementtype elementtypeof(const py::array& a) {
  if (a.dtype().kind() == 'i') return elementtype::int16;
  return a.dtype().itemsize() == 4 ? elementtype::float32 : elementtype::float64;
}

std::vector<double> copydoubles(const py::array& a, double int16scale) {
  const elementtype type = elementtypeof(a);
  const char* base = static_cast<const char*>(a.data());
  const py::ssize_t rows = a.shape(0), columns = a.ndim() == 2 ? a.shape(1) : 1;
  const py::ssize_t rowstride = a.strides(0), columnstride = a.ndim() == 2 ? a.strides(1) : 0;
  std::vector<double> v(static_cast<size_t>(rows * columns));
  size_t k = 0;
  for (py::ssize_t i = 0; i < rows; ++i)
    for (py::ssize_t j = 0; j < columns; ++j)
      v[k++] = elementat(base, i * rowstride + j * columnstride, type, int16scale);
  return v;
}

void requirefinite(const std::vector<double>& v, const char* name) {
  for (size_t k = 0; k < v.size(); ++k)
    if (!std::isfinite(v[k]))
      throw std::invalid_argument(std::string(name) + " holds a non-finite value at index " +
                                  std::to_string(k));
}

py::array_t<double> ownedarray(std::vector<double>&& v, std::vector<py::ssize_t> shape) {
  auto* owned = new std::vector<double>(std::move(v));
  py::capsule release(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  return py::array_t<double>(shape, owned->data(), release);
}

}  // namespace velk
