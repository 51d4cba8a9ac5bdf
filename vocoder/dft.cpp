#include "dft.h"

#include <cassert>
#include <cmath>
#include <mutex>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The AVX butterflies are built on x86-64 with GCC or clang, and chosen by the CPU at run time.
#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__) && !defined(VELK_NO_CPU_DISPATCH)
#define VELK_FFT_AVX 1
#include <immintrin.h>
#endif

#include "constants.h"
#include "widevectors.h"

namespace velk {

namespace {

static_assert(sizeof(complex) == 2 * sizeof(double), "complex must be two packed doubles");

// True for n = 1, 2, 4, ...; 0 also counts, as a transform of no points is a no-op.
bool ispowerof2(int32_t n) {
  return n >= 0 && (n & (n - 1)) == 0;
}

// Puts the n values (real part re[i*S], imaginary part im[i*S]) into bit-reversed order. Going
// from i to i+1 flips the low t+1 bits of i (t the trailing zeros of i+1), so the reversed index
// flips its high t+1 bits.
template <int S>
void bitreverse(int32_t n, double* re, double* im) {
  if (n < 4) return;  // 1 and 2 values are their own bit reversal
  uint32_t j = 0;
  for (uint32_t i = 0; i + 1 < static_cast<uint32_t>(n); ++i) {
    j ^= static_cast<uint32_t>(n) - (static_cast<uint32_t>(n) >> (__builtin_ctz(i + 1) + 1));
    if (j > i + 1) {
      std::swap(re[(i + 1) * S], re[j * S]);
      std::swap(im[(i + 1) * S], im[j * S]);
    }
  }
}

// Every butterfly below computes, with w the stage twiddle of its offset q,
//   t = x[p]*w,  x[a] = x[a] + t,  x[p] = x[a] - t  (both from the old x[a]),
// with the twiddles of a stage starting at 1 and advanced by repeated multiplication with
// e^(j*theta), one cos/sin pair per stage. The vector forms perform exactly the same IEEE
// operations per element (a - b*c is computed as a + (-b)*c, which is the same value), so all
// forms give identical results.

// The twiddle of a stage: starts at 1 and is advanced by repeated multiplication with
// e^(j*theta) after each offset.
struct runningtwiddle {
  double u, v;
  double wr = 1.0;
  double wi = 0.0;
  explicit runningtwiddle(double theta) : u(std::cos(theta)), v(std::sin(theta)) {}
  void advance() {
    const double nr = wr * u - wi * v;
    wi = wi * u + wr * v;
    wr = nr;
  }
};

// Largest stage length whose twiddles are kept in the shared tables; longer transforms run
// scalarstages, which make their own.
constexpr int32_t kMaxTabledLength = 1 << 16;
constexpr int kMaxTabledBits = 16;

// The twiddles w_q, q < len/2, of the stage of length len in one direction, exactly as the
// stage's running twiddle makes them.
struct stagetwiddles {
  const double* re;
  const double* im;
};

// The twiddles of stage length len (a power of two, 2..kMaxTabledLength) and direction sign.
// Each length and direction is made once, by the first transform that needs it, and only read
// afterwards: the values are a pure function of length and direction, so every transform gets
// what its own recurrence would give, and threads share them safely.
stagetwiddles twiddlesof(int32_t len, double sign) {
  static double values[2][2][kMaxTabledLength];  // [direction][re, im][block of len at len/2 - 1]
  static std::once_flag made[2][kMaxTabledBits + 1];
  const int d = sign > 0 ? 1 : 0;
  const int bits = __builtin_ctz(static_cast<uint32_t>(len));
  double* re = values[d][0] + len / 2 - 1;
  double* im = values[d][1] + len / 2 - 1;
  std::call_once(made[d][bits], [&] {
    runningtwiddle w(sign * kTwoPi / len);
    for (int32_t q = 0; q < len / 2; ++q, w.advance()) {
      re[q] = w.wr;
      im[q] = w.wi;
    }
  });
  return {re, im};
}

// One scalar butterfly on values whose parts lie S doubles apart.
template <int S>
inline void butterfly(double* re, double* im, int32_t a, int32_t p, double wr, double wi) {
  const double tr = re[p * S] * wr - im[p * S] * wi;
  const double ti = re[p * S] * wi + im[p * S] * wr;
  const double ar = re[a * S];
  const double ai = im[a * S];
  re[a * S] = ar + tr;
  im[a * S] = ai + ti;
  re[p * S] = ar - tr;
  im[p * S] = ai - ti;
}

// Offset-major stages with the running twiddle, one scalar butterfly at a time.
template <int S>
void scalarstages(int32_t n, double* re, double* im, double sign) {
  for (int32_t len = 2; len <= n; len <<= 1) {
    const int32_t half = len >> 1;
    runningtwiddle w(sign * kTwoPi / len);
    for (int32_t q = 0; q < half; ++q, w.advance())
      for (int32_t a = q; a < n; a += len) butterfly<S>(re, im, a, a + half, w.wr, w.wi);
  }
}

#if defined(__SSE2__)

// Interleaved values: one complex value per 128-bit register. The twiddle w of a butterfly is
// held as the registers (wr, wr) and (-wi, wi), low lane real part.
struct twiddlepair {
  __m128d wrr, wii;
};

inline twiddlepair makepair(double wr, double wi) {
  return {_mm_set1_pd(wr), _mm_set_pd(wi, -wi)};
}

// The butterfly on the values a and p: t = p*w = (re*wr + im*(-wi), im*wr + re*wi), then
// a + t and a - t.
inline void butterfly2(__m128d& a, __m128d& p, const twiddlepair& w) {
  const __m128d t = _mm_add_pd(_mm_mul_pd(p, w.wrr), _mm_mul_pd(_mm_shuffle_pd(p, p, 1), w.wii));
  const __m128d old = a;
  a = _mm_add_pd(old, t);
  p = _mm_sub_pd(old, t);
}

// One stage of half-length `half`, offset by offset, each butterfly loaded and stored.
void interleavedstage(int32_t n, double* x, int32_t half, double sign) {
  const int32_t len = 2 * half;
  const stagetwiddles w = twiddlesof(len, sign);
  for (int32_t q = 0; q < half; ++q) {
    const twiddlepair t = makepair(w.re[q], w.im[q]);
    for (int32_t a = q; a < n; a += len) {
      double* xa = x + 2 * a;
      double* xp = xa + 2 * half;
      __m128d va = _mm_loadu_pd(xa), vp = _mm_loadu_pd(xp);
      butterfly2(va, vp, t);
      _mm_storeu_pd(xa, va);
      _mm_storeu_pd(xp, vp);
    }
  }
}

// Largest half-length of the second of two fused stages: its twiddle table lives on the stack.
constexpr int32_t kMaxFusedHalf = 1024;

// The stages of half-lengths h and 2h together: the four values b+q, b+q+h, b+q+2h, b+q+3h
// (b a multiple of 4h, q < h) meet only each other in both stages, so each group is loaded once
// and goes through its four butterflies in registers, with the twiddles of both stages from the
// same recurrences as the single stages.
void fusedstages(int32_t n, double* x, int32_t h, double sign) {
  twiddlepair first[kMaxFusedHalf / 2], second[kMaxFusedHalf];
  const stagetwiddles w1 = twiddlesof(2 * h, sign), w2 = twiddlesof(4 * h, sign);
  for (int32_t q = 0; q < h; ++q) first[q] = makepair(w1.re[q], w1.im[q]);
  for (int32_t q = 0; q < 2 * h; ++q) second[q] = makepair(w2.re[q], w2.im[q]);
  for (int32_t b = 0; b < n; b += 4 * h) {
    for (int32_t q = 0; q < h; ++q) {
      double* x0 = x + 2 * (b + q);
      double* x1 = x0 + 2 * h;
      double* x2 = x1 + 2 * h;
      double* x3 = x2 + 2 * h;
      __m128d v0 = _mm_loadu_pd(x0), v1 = _mm_loadu_pd(x1), v2 = _mm_loadu_pd(x2), v3 = _mm_loadu_pd(x3);
      butterfly2(v0, v1, first[q]);
      butterfly2(v2, v3, first[q]);
      butterfly2(v0, v2, second[q]);
      butterfly2(v1, v3, second[q + h]);
      _mm_storeu_pd(x0, v0);
      _mm_storeu_pd(x1, v1);
      _mm_storeu_pd(x2, v2);
      _mm_storeu_pd(x3, v3);
    }
  }
}

void interleavedstages(int32_t n, double* x, double sign) {
  int32_t half = 1;
  for (; 4 * half <= n && 2 * half <= kMaxFusedHalf; half *= 4) fusedstages(n, x, half, sign);
  for (; half < n; half *= 2) interleavedstage(n, x, half, sign);
}

#if defined(VELK_FFT_AVX)

// With AVX, one 256-bit register holds the values of two neighbouring offsets q and q+1, and
// the twiddle pair of each is packed likewise: (wr_q, wr_q, wr_q+1, wr_q+1) and
// (-wi_q, wi_q, -wi_q+1, wi_q+1). Every element goes through the same IEEE operations as in
// butterfly2, so both forms give identical results. (No FMA is enabled: a fused multiply-add
// would round differently.)
struct twiddlequad {
  __m256d wrr, wii;
};

__attribute__((target("avx"))) inline twiddlequad makequad(const twiddlepair& lo, const twiddlepair& hi) {
  return {_mm256_set_m128d(hi.wrr, lo.wrr), _mm256_set_m128d(hi.wii, lo.wii)};
}

__attribute__((target("avx"))) inline void butterfly4(__m256d& a, __m256d& p, const twiddlequad& w) {
  const __m256d t = _mm256_add_pd(_mm256_mul_pd(p, w.wrr), _mm256_mul_pd(_mm256_permute_pd(p, 5), w.wii));
  const __m256d old = a;
  a = _mm256_add_pd(old, t);
  p = _mm256_sub_pd(old, t);
}

// fusedstages for an even h, two offsets per register.
__attribute__((target("avx"))) void fusedstagesavx(int32_t n, double* x, int32_t h, double sign) {
  twiddlequad first[kMaxFusedHalf / 4], second[kMaxFusedHalf / 2];
  const stagetwiddles w1 = twiddlesof(2 * h, sign), w2 = twiddlesof(4 * h, sign);
  for (int32_t q = 0; q < h; q += 2)
    first[q / 2] = makequad(makepair(w1.re[q], w1.im[q]), makepair(w1.re[q + 1], w1.im[q + 1]));
  for (int32_t q = 0; q < 2 * h; q += 2)
    second[q / 2] = makequad(makepair(w2.re[q], w2.im[q]), makepair(w2.re[q + 1], w2.im[q + 1]));
  for (int32_t b = 0; b < n; b += 4 * h) {
    for (int32_t q = 0; q < h; q += 2) {
      double* x0 = x + 2 * (b + q);
      double* x1 = x0 + 2 * h;
      double* x2 = x1 + 2 * h;
      double* x3 = x2 + 2 * h;
      __m256d v0 = _mm256_loadu_pd(x0), v1 = _mm256_loadu_pd(x1), v2 = _mm256_loadu_pd(x2),
              v3 = _mm256_loadu_pd(x3);
      butterfly4(v0, v1, first[q / 2]);
      butterfly4(v2, v3, first[q / 2]);
      butterfly4(v0, v2, second[q / 2]);
      butterfly4(v1, v3, second[(q + h) / 2]);
      _mm256_storeu_pd(x0, v0);
      _mm256_storeu_pd(x1, v1);
      _mm256_storeu_pd(x2, v2);
      _mm256_storeu_pd(x3, v3);
    }
  }
}

// interleavedstage for an even half-length, two offsets per register.
__attribute__((target("avx"))) void interleavedstageavx(int32_t n, double* x, int32_t half, double sign) {
  const int32_t len = 2 * half;
  const stagetwiddles w = twiddlesof(len, sign);
  for (int32_t q = 0; q < half; q += 2) {
    const twiddlequad t = makequad(makepair(w.re[q], w.im[q]), makepair(w.re[q + 1], w.im[q + 1]));
    for (int32_t a = q; a < n; a += len) {
      double* xa = x + 2 * a;
      double* xp = xa + 2 * half;
      __m256d va = _mm256_loadu_pd(xa), vp = _mm256_loadu_pd(xp);
      butterfly4(va, vp, t);
      _mm256_storeu_pd(xa, va);
      _mm256_storeu_pd(xp, vp);
    }
  }
}

// interleavedstages with the AVX forms wherever two offsets can share a register; the first
// fused pair of stages (one offset) stays in SSE2.
__attribute__((target("avx"))) void interleavedstagesavx(int32_t n, double* x, double sign) {
  int32_t half = 1;
  for (; 4 * half <= n && 2 * half <= kMaxFusedHalf; half *= 4) {
    if (half == 1)
      fusedstages(n, x, half, sign);
    else
      fusedstagesavx(n, x, half, sign);
  }
  for (; half < n; half *= 2) {
    if (half == 1)
      interleavedstage(n, x, half, sign);
    else
      interleavedstageavx(n, x, half, sign);
  }
}

bool hasavx() {
  return __builtin_cpu_supports("avx");
}
#endif

// One stage of half-length `half` on split arrays, the twiddles of the stage in twr/twi. The
// offsets of a block are independent, so the compiler runs them side by side in vector
// registers, each through the operations of the scalar butterfly.
VELK_INLINE_KERNEL void splitstage(int32_t n, double* __restrict re, double* __restrict im, int32_t half,
                                   const double* twr, const double* twi) {
  for (int32_t b = 0; b < n; b += 2 * half) {
    double* __restrict ra = re + b;
    double* __restrict ia = im + b;
    double* __restrict rp = ra + half;
    double* __restrict ip = ia + half;
    for (int32_t q = 0; q < half; ++q) {
      const double tr = rp[q] * twr[q] - ip[q] * twi[q];
      const double ti = rp[q] * twi[q] + ip[q] * twr[q];
      const double ar = ra[q], ai = ia[q];
      ra[q] = ar + tr;
      ia[q] = ai + ti;
      rp[q] = ar - tr;
      ip[q] = ai - ti;
    }
  }
}

// Split arrays, the twiddles of each stage from the shared tables.
VELK_WIDE_VECTORS void splitstages(int32_t n, double* re, double* im, double sign) {
  for (int32_t len = 2; len <= n; len <<= 1) {
    const stagetwiddles w = twiddlesof(len, sign);
    splitstage(n, re, im, len >> 1, w.re, w.im);
  }
}

#endif

// Butterfly stages of length 2, 4, ..., n.
template <int S>
void butterflies(int32_t n, double* re, double* im, double sign) {
#if defined(__SSE2__)
  if (S == 2) {
#if defined(VELK_FFT_AVX)
    if (hasavx()) {
      interleavedstagesavx(n, re, sign);
      return;
    }
#endif
    interleavedstages(n, re, sign);
    return;
  }
  splitstages(n, re, im, sign);
#else
  scalarstages<S>(n, re, im, sign);
#endif
}

// The transform over values whose parts lie S doubles apart; -1 for n not a power of two.
template <int S>
int transform(int32_t n, double* re, double* im, int8_t direction) {
  if (!ispowerof2(n)) return -1;
  bitreverse<S>(n, re, im);
  const double sign = direction == -1 ? 1.0 : -1.0;
  if (n > kMaxTabledLength)
    scalarstages<S>(n, re, im, sign);
  else
    butterflies<S>(n, re, im, sign);
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

namespace {

// The twiddles e^(j*k*step), k = 1, 2, ..., of the split steps of the real transforms: taken
// directly every 32 values and rotated in between, which bounds the recurrence's drift.
struct splittwiddle {
  double step, rc, rs;
  double wr = 1.0, wi = 0.0;
  explicit splittwiddle(double s) : step(s), rc(std::cos(s)), rs(std::sin(s)) {}
  // Moves from value k-1 to value k.
  void advanceto(int32_t k) {
    if (k % 32 == 1) {
      wr = std::cos(step * k);
      wi = std::sin(step * k);
      return;
    }
    const double nr = wr * rc - wi * rs;
    wi = wr * rs + wi * rc;
    wr = nr;
  }
};

}  // namespace

int fftrealpacked(int32_t n, complex* x) {
  if (n < 2 || dofftc(n / 2, x, 1) != 0) return -1;
  const int32_t h = n / 2;
  // With Z the transform of the pairs, E[k] = (Z[k] + conj Z[h-k]) / 2 is the transform of the
  // even samples and O[k] = (Z[k] - conj Z[h-k]) / 2j that of the odd ones; bin k is
  // E[k] + W^k O[k] and bin h-k is conj(E[k] - W^k O[k]), W = e^(-2 pi j / n). Bins k and h-k are
  // made together, so the step works in place.
  const double z0re = x[0].re, z0im = x[0].im;
  x[0] = {z0re + z0im, z0re - z0im};
  const double step = -kTwoPi / n;
  splittwiddle w(step);
  for (int32_t k = 1; k <= h / 2; ++k) {
    w.advanceto(k);
    const double wr = w.wr, wi = w.wi;
    const complex a = x[k], b = x[h - k];
    const double er = 0.5 * (a.re + b.re), ei = 0.5 * (a.im - b.im);
    const double orr = 0.5 * (a.im + b.im), oi = -0.5 * (a.re - b.re);
    const double tr = wr * orr - wi * oi, ti = wr * oi + wi * orr;
    x[k] = {er + tr, ei + ti};
    if (h - k != k) x[h - k] = {er - tr, -(ei - ti)};
  }
  return 0;
}

int ifftreal(int32_t n, double* re, const double* im) {
  if (n < 2 || !ispowerof2(n)) return -1;
  const int32_t h = n / 2;
  // Bin k goes to the complex value k of re, from the top down so that no bin is overwritten
  // before it is read; bins 0 and h share value 0.
  const double x0 = re[0], xh = re[h];
  for (int32_t k = h - 1; k >= 1; --k) {
    const double r = re[k];
    re[2 * k] = r;
    re[2 * k + 1] = im[k];
  }
  complex* x = reinterpret_cast<complex*>(re);
  // The even samples are the inverse of E[k] = X[k] + X[k+h], the odd ones that of
  // O[k] = (X[k] - X[k+h]) w^k, w = e^(2 pi j / n); with X[k+h] = conj X[h-k] both come from the
  // pair (k, h-k), and one inverse of E + jO gives the even samples as real and the odd ones as
  // imaginary parts.
  x[0] = {x0 + xh, x0 - xh};
  const double step = kTwoPi / n;
  splittwiddle w(step);
  for (int32_t k = 1; k <= h / 2; ++k) {
    w.advanceto(k);
    const double wr = w.wr, wi = w.wi;
    const complex a = x[k], b = x[h - k];
    const double er = a.re + b.re, ei = a.im - b.im;
    const double dr = a.re - b.re, di = a.im + b.im;
    const double orr = dr * wr - di * wi, oi = dr * wi + di * wr;
    x[k] = {er - oi, ei + orr};
    if (h - k != k) x[h - k] = {er + oi, orr - ei};
  }
  return dofftc(h, x, -1);
}

int fftc(int32_t n, complex* x) {
  return dofftc(n, x, 1);
}

int ifftc(int32_t n, complex* x) {
  return dofftc(n, x, -1);
}

int fftr(int32_t n, double* re, double* im) {
  return dofftr(n, re, im, 1);
}

int ifftr(int32_t n, double* re, double* im) {
  return dofftr(n, re, im, -1);
}

}  // namespace velk
