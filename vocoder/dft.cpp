#include "dft.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace {

constexpr double kTwoPi = 6.283185307179586;

static_assert(sizeof(complex) == 2 * sizeof(double), "complex must be two packed doubles");

// True for n = 1, 2, 4, ...; 0 also counts, as a transform of no points is a no-op.
bool ispowerof2(int32_t n) {
  return n >= 0 && (n & (n - 1)) == 0;
}

// Puts the n values (real part re[i*S], imaginary part im[i*S]) into bit-reversed order.
template <int S>
void bitreverse(int32_t n, double* re, double* im) {
  int32_t j = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (j > i) {
      std::swap(re[i * S], re[j * S]);
      std::swap(im[i * S], im[j * S]);
    }
    // Add one to j counting from the most significant of the log2(n) bits downwards.
    int32_t bit = n >> 1;
    while (bit > 0 && (j & bit)) {
      j ^= bit;
      bit >>= 1;
    }
    j |= bit;
  }
}

// Butterfly stages of length 2, 4, ..., n. The twiddle of each stage starts at 1 and is
// advanced by repeated multiplication with e^(j*theta), one cos/sin pair per stage.
template <int S>
void butterflies(int32_t n, double* re, double* im, double sign) {
  for (int32_t len = 2; len <= n; len <<= 1) {
    const int32_t half = len >> 1;
    const double theta = sign * kTwoPi / len;
    const double u = std::cos(theta);
    const double v = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    for (int32_t q = 0; q < half; ++q) {
      for (int32_t a = q; a < n; a += len) {
        const int32_t p = a + half;
        const double tr = re[p * S] * wr - im[p * S] * wi;
        const double ti = re[p * S] * wi + im[p * S] * wr;
        const double ar = re[a * S];
        const double ai = im[a * S];
        re[a * S] = ar + tr;
        im[a * S] = ai + ti;
        re[p * S] = ar - tr;
        im[p * S] = ai - ti;
      }
      const double nr = wr * u - wi * v;
      wi = wi * u + wr * v;
      wr = nr;
    }
  }
}

// The transform over values whose parts lie S doubles apart; -1 for n not a power of two.
template <int S>
int transform(int32_t n, double* re, double* im, int8_t direction) {
  if (!ispowerof2(n)) return -1;
  bitreverse<S>(n, re, im);
  butterflies<S>(n, re, im, direction == -1 ? 1.0 : -1.0);
  return 0;
}

}  // namespace

int dofftc(int32_t n, complex* x, int8_t direction) {
  assert(n <= 1 || x != nullptr);
  double* data = reinterpret_cast<double*>(x);
  return transform<2>(n, data, data + 1, direction);
}

int dofftr(int32_t n, double* re, double* im, int8_t direction) {
  assert(n <= 1 || (re != nullptr && im != nullptr));
  return transform<1>(n, re, im, direction);
}

void fftc(int32_t n, complex* x) {
  [[maybe_unused]] const int rc = dofftc(n, x, 1);
  assert(rc == 0);  // n must be a power of two
}

void ifftc(int32_t n, complex* x) {
  [[maybe_unused]] const int rc = dofftc(n, x, -1);
  assert(rc == 0);  // n must be a power of two
}

void fftr(int32_t n, double* re, double* im) {
  [[maybe_unused]] const int rc = dofftr(n, re, im, 1);
  assert(rc == 0);  // n must be a power of two
}

void ifftr(int32_t n, double* re, double* im) {
  [[maybe_unused]] const int rc = dofftr(n, re, im, -1);
  assert(rc == 0);  // n must be a power of two
}
