#include "windowing.h"

#include <cassert>
#include <cmath>

#include "constants.h"

namespace velk {

namespace {

// Fills w[0..L-1] with the raised cosine a - b*cos(2*pi*i/(L-1)).
void raisedcosine(double* w, uint32_t L, double a, double b) {
  assert(L >= 2);
  for (uint32_t i = 0; i < L; ++i) w[i] = a - b * std::cos(kTwoPi * i / (L - 1));
}

// Smallest odd integer not below q.
uint32_t ceilodd(double q) {
  const uint32_t c = static_cast<uint32_t>(std::ceil(q));
  return (c % 2 == 1) ? c : c + 1;
}

// Rotates the unit phasor (u, v) by the angle whose cosine and sine are (c, s).
void rotate(double& u, double& v, double c, double s) {
  const double nu = u * c - v * s;
  v = u * s + v * c;
  u = nu;
}

}  // namespace

int getwindowedsamples(const double* x, uint32_t n, uint32_t m, double* y, uint32_t a, const double* w) {
  assert(m < n);
  const uint32_t L = 2 * a + 1;
  const uint32_t i0 = (m < a) ? a - m : 0;
  const uint32_t i1 = (m + a > n - 1) ? n - m + a : L;
  for (uint32_t j = 0; j < i0; ++j) y[j] = 0.0;
  for (uint32_t j = i1; j < L; ++j) y[j] = 0.0;
  // Frame index j is signal index m - a + j; j >= i0 keeps m + j - a from wrapping.
  if (w != nullptr) {
    for (uint32_t j = i0; j < i1; ++j) y[j] = w[j] * x[m + j - a];
  } else {
    for (uint32_t j = i0; j < i1; ++j) y[j] = x[m + j - a];
  }
  for (uint32_t j = i0; j < i1; ++j) {
    if (!(y[j] == 0.0)) return 1;  // NaN compares unequal and counts as not silent
  }
  return 0;
}

int winhamming(double* w, uint32_t L, int normalise) {
  if (normalise) {
    raisedcosine(w, L, 0.8566, 0.7297);
  } else {
    raisedcosine(w, L, 0.54, 0.46);
  }
  return 0;
}

int winhanning(double* w, uint32_t L, int normalise) {
  const double a = normalise ? 0.8165 : 0.5;
  raisedcosine(w, L, a, a);
  return 0;
}

int wincomplementary(const double* v, double* u, uint32_t L) {
  assert(L >= 2);
  for (uint32_t i = 0; i < L; ++i) u[i] = v[i] * std::sin(-kTwoPi * i / (L - 1));
  return 0;
}

int olatriang(double* out, const double* f, uint32_t start, uint32_t centre, uint32_t end) {
  assert(start <= centre && centre < end);
  const uint32_t n1 = centre - start;
  const uint32_t n2 = end - centre;
  const uint32_t len = end - start;
  double* o = out + start;
  for (uint32_t j = 0; j < n1; ++j) o[j] += f[j] * j / n1;
  for (uint32_t j = n1; j < len; ++j) o[j] += f[j] * (len - j) / n2;
  return 0;
}

int olahann(double* out, const double* f, uint32_t start, uint32_t centre, uint32_t end) {
  assert(start <= centre && centre < end);
  const uint32_t n1 = centre - start;
  const uint32_t n2 = end - centre;
  const uint32_t len = end - start;
  double* o = out + start;
  o[n1] = f[n1];
  if (n1 > 0) {
    const double c = std::cos(kPi / n1);
    const double s = std::sin(kPi / n1);
    double u = 1.0;
    double v = 0.0;
    for (uint32_t j = n1; j-- > 0;) {
      rotate(u, v, c, s);
      o[j] += 0.5 * (1.0 + u) * f[j];
    }
  }
  const double c = std::cos(kPi / n2);
  const double s = std::sin(kPi / n2);
  double u = 1.0;
  double v = 0.0;
  for (uint32_t j = n1 + 1; j < len; ++j) {
    rotate(u, v, c, s);
    o[j] += 0.5 * (1.0 + u) * f[j];
  }
  return 0;
}

uint32_t getnumanalysisframes(uint32_t n, uint32_t shift, uint32_t first) {
  assert(shift > 0);
  // With no centre inside the signal the unsigned difference below would wrap around.
  if (first >= n) return 0;
  const uint32_t span = n - first - 1;
  return static_cast<uint32_t>(static_cast<double>(span) / shift) + 1;
}

uint32_t getolasynthesislength(uint32_t shift, uint32_t M) {
  return shift * (M + 1) + 1;
}

uint32_t getwinlengthnperiodsodd(double p, double f0, double fs) {
  assert(f0 > 0.0);
  return ceilodd(p * fs / f0);
}

uint32_t getwinlengthceilpot2(uint32_t L) {
  assert(L <= (1u << 31));
  uint32_t v = 1;
  while (v < L) v *= 2;
  return v;
}

uint32_t getwinlengthdurodd(double d, double fs) {
  return ceilodd(d * fs);
}

}  // namespace velk
