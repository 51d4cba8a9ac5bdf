#include "biquadfilter.h"

#include <cmath>

#include "constants.h"

namespace velk {
namespace {

// c1, c2 of 1 + c1 z⁻¹ + c2 z⁻² whose roots lie at e^(−πb/fs) · e^(±j2πf/fs).
void root_pair(double f, double b, double fs, double* c1, double* c2) {
  const double r = std::exp(-kPi * b / fs);
  *c1 = -2.0 * r * std::cos(2.0 * kPi * f / fs);
  *c2 = r * r;
}

}  // namespace

double biquad(bool has_pole, bool has_zero, double* d, int* pos, double x, double fs, double pf, double pb,
              double zf, double zb) {
  double a1 = 0.0, a2 = 0.0, b1 = 0.0, b2 = 0.0;
  if (has_pole) root_pair(pf, pb, fs, &a1, &a2);
  if (has_zero) root_pair(zf, zb, fs, &b1, &b2);
  const int w1 = *pos;          // w[n − 1]
  const int w2 = (w1 + 2) % 3;  // w[n − 2]
  const int w0 = (w1 + 1) % 3;  // receives w[n]
  const double w = x - a1 * d[w1] - a2 * d[w2];
  const double y = w + b1 * d[w1] + b2 * d[w2];
  d[w0] = w;
  *pos = w0;
  return y;
}

}  // namespace velk
