#include <cmath>

#include "numeric.h"

namespace velk {

double gammamag(double r, double x, double y) {
  if (r == 0.0) return std::exp(2.0 * x);
  const double re = 1.0 + r * x;
  const double im = r * y;
  const double w = re * re + im * im;
  return r < 0.0 ? std::pow(1.0 / w, -1.0 / r) : std::pow(w, 1.0 / r);
}

}  // namespace velk
