#include "harmonicanalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "constants.h"
#include "matvect.h"
#include "widevectors.h"
#include "windowing.h"

namespace velk {

namespace {

// ---------------------------------------------------------------------------
// Record sizes and bounds
// ---------------------------------------------------------------------------

// Doubles of the Gram area: the Gram matrices, and later the right-hand side and the
// solution (two times M complex values), which need more room than M*M for tiny M.
uint32_t gramareasize(uint32_t M) {
  return M * M > 4 * M ? M * M : 4 * M;
}

// True when a call with frame length N and M basis rows fits the record's buffers.
bool fitsrecord(const hamem* mem, uint32_t N, uint32_t M) {
  return mem != nullptr && N <= mem->framesize && M <= mem->rows;
}

// Cuts the windowed frame of length N around centre into the record (normalised Hamming
// window); false when the frame holds no non-zero sample or its centre lies outside the signal.
bool cutframe(const double* x, uint32_t n, uint32_t centre, uint32_t N, hamem* mem) {
  if (x == nullptr || centre >= n) return false;
  winhamming(mem->window, N, 1);
  return getwindowedsamples(x, n, centre, mem->frame, N >> 1, mem->window) != 0;
}

// ---------------------------------------------------------------------------
// Basis rows
// ---------------------------------------------------------------------------

// Rotates the phasor (c, s) by the angle whose cosine and sine are (rc, rs).
inline void rotate(double& c, double& s, double rc, double rs) {
  const double nc = c * rc - s * rs;
  s = c * rs + s * rc;
  c = nc;
}

// Unwindowed row exp(j*omega*m), m = -h..h, by rotating a unit phasor from the centre outwards.
void phasorrow(complex* row, uint32_t h, double omega) {
  const double c = std::cos(omega), s = std::sin(omega);
  double re = 1.0, im = 0.0;
  row[h].re = 1.0;
  row[h].im = 0.0;
  for (uint32_t i = 1; i <= h; ++i) {
    rotate(re, im, c, s);
    row[h + i].re = re;
    row[h + i].im = im;
    row[h - i].re = re;
    row[h - i].im = -im;
  }
}

// out = a * b element by element.
VELK_INLINE_KERNEL void multiplyrows(const complex* a, const complex* b, uint32_t N, complex* out) {
  for (uint32_t m = 0; m < N; ++m) {
    out[m].re = a[m].re * b[m].re - a[m].im * b[m].im;
    out[m].im = a[m].re * b[m].im + a[m].im * b[m].re;
  }
}

// row = u times the window w (row may be u), mirror = its conjugate.
VELK_INLINE_KERNEL void windowandmirrorrow(const complex* u, const double* w, uint32_t N, complex* row,
                                           complex* mirror) {
  for (uint32_t m = 0; m < N; ++m) {
    row[m] = {u[m].re * w[m], u[m].im * w[m]};
    mirror[m] = {row[m].re, -row[m].im};
  }
}

// The window as a row of real values.
VELK_INLINE_KERNEL void windowrow(const double* w, uint32_t N, complex* row) {
  for (uint32_t m = 0; m < N; ++m) row[m] = {w[m], 0.0};
}

// Row K = the window; rows 0..K-1 multiplied by the window and copied, conjugated,
// into rows 2K..K+1.
VELK_INLINE_KERNEL void windowandmirrorrows(complex* basis, uint32_t N, uint32_t K, const double* w) {
  windowrow(w, N, basis + static_cast<size_t>(K) * N);
  for (uint32_t r = 0; r < K; ++r) {
    complex* row = basis + static_cast<size_t>(r) * N;
    windowandmirrorrow(row, w, N, row, basis + static_cast<size_t>(2 * K - r) * N);
  }
}

// ---------------------------------------------------------------------------
// Folded sums over symmetric frames (N = 2h+1, centre at h)
// ---------------------------------------------------------------------------

// Runs body(R, first) over rows 0..count-1: R = 4 for blocks of four rows, then R = 1 for the
// rest (R an integral constant). The kernels below sum over their R rows side by side, each
// row's sum in its own order, so a row's value does not depend on its block: the independent
// additions fill the pipeline where one running sum would wait on each addition.
template <class Body>
VELK_INLINE_KERNEL void inblocksoffour(uint32_t count, Body body) {
  uint32_t r = 0;
  for (; r + 4 <= count; r += 4) body(std::integral_constant<uint32_t, 4>(), r);
  for (; r < count; ++r) body(std::integral_constant<uint32_t, 1>(), r);
}

// out[r] = Re sum U(m)*conj(V_r(m)) for the R rows V_r = v + r*stride, all of them and U with
// U(-m) = conj(U(m)) (or all anti-conjugate).
template <uint32_t R>
VELK_INLINE_KERNEL void foldedredots(const complex* u, const complex* v, size_t stride, uint32_t h,
                                     double* out) {
  double s[R] = {};
  for (uint32_t i = 0; i < h; ++i)
    for (uint32_t r = 0; r < R; ++r) s[r] += u[i].re * v[r * stride + i].re + u[i].im * v[r * stride + i].im;
  for (uint32_t r = 0; r < R; ++r)
    out[r] = u[h].re * v[r * stride + h].re + u[h].im * v[r * stride + h].im + 2.0 * s[r];
}

double foldedredot(const complex* u, const complex* v, uint32_t h) {
  double d;
  foldedredots<1>(u, v, 0, h, &d);
  return d;
}

// out[r] = Im sum U(m)*conj(V_r(m)) for a plain row U and the R ramp rows V_r = v + r*stride
// (the centre term is 0).
template <uint32_t R>
VELK_INLINE_KERNEL void foldedimdots(const complex* u, const complex* v, size_t stride, uint32_t h,
                                     double* out) {
  double s[R] = {};
  for (uint32_t i = 0; i < h; ++i)
    for (uint32_t r = 0; r < R; ++r) s[r] += u[i].im * v[r * stride + i].re - u[i].re * v[r * stride + i].im;
  for (uint32_t r = 0; r < R; ++r) out[r] = 2.0 * s[r];
}

// out[r] = sum s(m)*B_r(m) over the whole frame, for the R rows B_r = rows + r*N.
template <uint32_t R>
VELK_INLINE_KERNEL void framedots(const double* s, const complex* rows, uint32_t N, complex* out) {
  double re[R] = {}, im[R] = {};
  for (uint32_t m = 0; m < N; ++m)
    for (uint32_t r = 0; r < R; ++r) {
      re[r] += s[m] * rows[r * static_cast<size_t>(N) + m].re;
      im[r] += s[m] * rows[r * static_cast<size_t>(N) + m].im;
    }
  for (uint32_t r = 0; r < R; ++r) out[r] = {re[r], im[r]};
}

complex framedot(const double* s, const complex* row, uint32_t N) {
  complex y;
  framedots<1>(s, row, N, &y);
  return y;
}

// Completes a P x P Toeplitz matrix from its first row: the first column is sign times the
// first row and every other element repeats its upper-left neighbour.
void filltoeplitz(double* g, uint32_t P, double sign) {
  for (uint32_t t = 1; t < P; ++t) g[static_cast<size_t>(t) * P] = sign * g[t];
  for (uint32_t r = 1; r < P; ++r)
    for (uint32_t t = 1; t < P; ++t)
      g[static_cast<size_t>(r) * P + t] = g[static_cast<size_t>(r - 1) * P + t - 1];
}

// v[2K-r] = conj(v[r]) for r < K, and v[K] made real.
void mirrorconjugates(complex* v, uint32_t K) {
  for (uint32_t r = 0; r < K; ++r) {
    v[2 * K - r].re = v[r].re;
    v[2 * K - r].im = -v[r].im;
  }
  v[K].im = 0.0;
}

// Right-hand side b_r = sum s*B_r for rows 0..K of the given 2K+1 rows, then mirrored.
VELK_INLINE_KERNEL void rowrhs(const double* s, const complex* rows, uint32_t N, uint32_t K, complex* b) {
  inblocksoffour(K + 1,
                 [&](auto R, uint32_t r) { framedots<R>(s, rows + static_cast<size_t>(r) * N, N, b + r); });
  mirrorconjugates(b, K);
}

// Rows r..r+R-1 of A*x - j*C*y for real P x P matrices A, C (C may be null) and complex
// vectors x, y.
template <uint32_t R>
VELK_INLINE_KERNEL void realmatcomplexrows(const double* A, const complex* x, const double* C,
                                           const complex* y, uint32_t P, uint32_t r, complex* z) {
  double re[R] = {}, im[R] = {};
  const double* arow = A + static_cast<size_t>(r) * P;
  for (uint32_t t = 0; t < P; ++t)
    for (uint32_t i = 0; i < R; ++i) {
      re[i] += arow[i * P + t] * x[t].re;
      im[i] += arow[i * P + t] * x[t].im;
    }
  if (C != nullptr) {
    const double* crow = C + static_cast<size_t>(r) * P;
    for (uint32_t t = 0; t < P; ++t)
      for (uint32_t i = 0; i < R; ++i) {
        re[i] += crow[i * P + t] * y[t].im;
        im[i] -= crow[i * P + t] * y[t].re;
      }
  }
  for (uint32_t i = 0; i < R; ++i) z[i] = {re[i], im[i]};
}

// z = A*x - j*C*y for rows 0..K-1, row K from the real parts only, mirrored into rows K+1..2K.
VELK_INLINE_KERNEL void solveconjugatesymmetric(const double* A, const complex* x, const double* C,
                                                const complex* y, uint32_t K, complex* z) {
  const uint32_t P = 2 * K + 1;
  inblocksoffour(K + 1, [&](auto R, uint32_t r) { realmatcomplexrows<R>(A, x, C, y, P, r, z + r); });
  mirrorconjugates(z, K);
}

// Amplitude 2|a_k| and centre phase of every harmonic k = 1..K from the solution.
void writeharmonics(const complex* sol, uint32_t K, double* amps, double* phases) {
  for (uint32_t k = 1; k <= K; ++k) {
    const complex a = sol[K + k];
    if (amps != nullptr) amps[k - 1] = 2.0 * std::sqrt(a.re * a.re + a.im * a.im);
    if (phases != nullptr) phases[k - 1] = std::atan2(a.im, a.re);
  }
}

// Frequency mismatch in Hz of a harmonic with coefficient a and slope beta; false (and no
// value) when a is exactly 0, where the mismatch is undefined.
bool frequencymismatch(complex a, complex beta, double* df) {
  const double p = a.re * a.re + a.im * a.im;
  if (p == 0.0) return false;
  *df = (a.re * beta.im - a.im * beta.re) / (kTwoPi * p);
  return true;
}

bool validf0(double f0) {
  return f0 > 0.0 && std::isfinite(f0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Sizes and records
// ---------------------------------------------------------------------------

uint32_t haframesize(double fs, double f0) {
  return getwinlengthnperiodsodd(2.5, f0, fs);
}

uint32_t qhaframesize(double fs, double f0) {
  return getwinlengthnperiodsodd(3.0, f0, fs);
}

uint32_t sqhaframesize(double fs, double f0) {
  return getwinlengthnperiodsodd(2.5, f0, fs);
}

uint32_t hanoharms(double fs, double fmax, double f0) {
  if (!validf0(f0) || f0 >= fmax || f0 >= 0.5 * fs) return 0;
  const double F = fmax <= 0.5 * fs ? fmax : 0.5 * fs;
  return static_cast<uint32_t>(std::ceil(F / f0)) - 1;
}

hamem* haqhameminitialize(uint8_t mode, double fs, double fmax, double f0) {
  if (!validf0(f0) || !(fs > 0.0)) return nullptr;
  const uint32_t N = mode == 0 ? haframesize(fs, f0) : qhaframesize(fs, f0);
  const uint32_t K = hanoharms(fs, fmax, f0);
  const uint32_t M = mode == 0 ? 2 * K + 1 : 2 * (2 * K + 1);
  hamem* mem = static_cast<hamem*>(std::malloc(sizeof(hamem)));
  if (mem == nullptr) return nullptr;
  const size_t total = 2 * static_cast<size_t>(N) + 2 * static_cast<size_t>(M) * N + gramareasize(M) +
                       static_cast<size_t>(M) * M;
  mem->block = static_cast<double*>(std::calloc(total, sizeof(double)));
  if (mem->block == nullptr) {
    std::free(mem);
    return nullptr;
  }
  mem->mode = mode;
  mem->framesize = N;
  mem->noharms = K;
  mem->rows = M;
  mem->window = mem->block;
  mem->frame = mem->window + N;
  mem->basis = reinterpret_cast<complex*>(mem->frame + N);
  mem->gram = mem->frame + N + 2 * static_cast<size_t>(M) * N;
  mem->inverse = mem->gram + gramareasize(M);
  mem->rhs = reinterpret_cast<complex*>(mem->gram);
  mem->solution = reinterpret_cast<complex*>(mem->gram + 2 * static_cast<size_t>(M));
  return mem;
}

hamem* hameminitialize(double fs, double fmax, double f0) {
  return haqhameminitialize(0, fs, fmax, f0);
}

hamem* qhameminitialize(double fs, double fmax, double f0) {
  return haqhameminitialize(1, fs, fmax, f0);
}

hamem* sqhameminitialize(double fs, double fmax, double f0) {
  return haqhameminitialize(1, fs, fmax, f0);
}

int hamemdestroy(hamem* mem) {
  if (mem != nullptr) std::free(mem->block);
  std::free(mem);
  return 0;
}

int qhamemdestroy(hamem* mem) {
  return hamemdestroy(mem);
}

int sqhamemdestroy(hamem* mem) {
  return hamemdestroy(mem);
}

// ---------------------------------------------------------------------------
// Bases
// ---------------------------------------------------------------------------

VELK_WIDE_VECTORS int hamatrixcreate(complex* basis, uint32_t N, uint32_t K, double f0, double fs,
                                     const double* window) {
  const uint32_t h = N >> 1;
  complex* mid = basis + static_cast<size_t>(K) * N;
  if (K > 0) {
    // Row K holds the unwindowed fundamental row F until the end. Going up from row K-1, the
    // unwindowed row r (F itself for r = K-1) waits in row r's own place: it gives the
    // unwindowed row r-1 = row r * F in the place above and is then windowed and mirrored,
    // while it is still in the cache.
    phasorrow(mid, h, kTwoPi * f0 / fs);
    for (uint32_t r = K; r-- > 0;) {
      complex* row = basis + static_cast<size_t>(r) * N;
      const complex* unwindowed = r == K - 1 ? mid : row;
      if (r > 0) multiplyrows(unwindowed, mid, N, row - N);
      windowandmirrorrow(unwindowed, window, N, row, basis + static_cast<size_t>(2 * K - r) * N);
    }
  }
  windowrow(window, N, mid);
  return 0;
}

double qhamatrixcreate(complex* basis, uint32_t N, uint32_t K, double f0, double fs, const double* window) {
  hamatrixcreate(basis, N, K, f0, fs, window);
  const uint32_t h = N >> 1;
  const uint32_t P = 2 * K + 1;
  const double A = (window[h] + window[0]) / 2.0;
  const double B = window[h] - A;
  const double sigma = std::sqrt(6.0 * (B * B + 2.0 * A * A) /
                                 (22.739208802178716 * B * B - 48.0 * A * B + 4.0 * A * A * kPi * kPi)) *
                       fs * kPi / h;
  for (uint32_t r = 0; r < P; ++r) {
    const complex* plain = basis + static_cast<size_t>(r) * N;
    complex* ramp = basis + static_cast<size_t>(P + r) * N;
    ramp[h].re = 0.0;
    ramp[h].im = 0.0;
    for (uint32_t i = 1; i <= h; ++i) {
      const double u = i * sigma / fs;
      ramp[h + i].re = plain[h + i].re * u;
      ramp[h + i].im = plain[h + i].im * u;
      ramp[h - i].re = -plain[h - i].re * u;
      ramp[h - i].im = -plain[h - i].im * u;
    }
  }
  return sigma;
}

int sqhamatrixcreate(complex* basis, uint32_t N, uint32_t K, const double* freqs, double fs,
                     const double* window) {
  const uint32_t h = N >> 1;
  for (uint32_t i = 0; i < K; ++i)
    phasorrow(basis + static_cast<size_t>(K - 1 - i) * N, h, kTwoPi * freqs[i] / fs);
  windowandmirrorrows(basis, N, K, window);
  return 0;
}

// ---------------------------------------------------------------------------
// Solvers
// ---------------------------------------------------------------------------

VELK_WIDE_VECTORS int hasqhalscsolve(hamem* mem, uint32_t N, uint32_t M, uint8_t toeplitz) {
  if (!fitsrecord(mem, N, M) || M % 2 == 0) return -1;
  const uint32_t K = M / 2, h = N >> 1;
  const complex* basis = mem->basis;
  double* g = mem->gram;
  if (toeplitz == 1) {
    inblocksoffour(M, [&](auto R, uint32_t t) {
      foldedredots<R>(basis, basis + static_cast<size_t>(t) * N, N, h, g + t);
    });
    filltoeplitz(g, M, 1.0);
    if (toeplitzsiminv(M, g, mem->inverse) != 0) return -1;
  } else {
    for (uint32_t r = 0; r < M; ++r) {
      double* gr = g + static_cast<size_t>(r) * M;
      inblocksoffour(r + 1, [&](auto R, uint32_t t) {
        foldedredots<R>(basis + static_cast<size_t>(r) * N, basis + static_cast<size_t>(t) * N, N, h, gr + t);
      });
      for (uint32_t t = 0; t < r; ++t) g[static_cast<size_t>(t) * M + r] = gr[t];
    }
    if (choleskyinvdet(M, g, mem->inverse, 0) == 0.0) return -1;
  }
  rowrhs(mem->frame, basis, N, K, mem->rhs);
  solveconjugatesymmetric(mem->inverse, mem->rhs, nullptr, nullptr, K, mem->solution);
  return 0;
}

VELK_WIDE_VECTORS int qhalscsolve(hamem* mem, uint32_t N, uint32_t M, double sigma) {
  if (!fitsrecord(mem, N, M) || M % 4 != 2) return -1;
  const uint32_t P = M / 2, K = P / 2, h = N >> 1;
  const size_t PP = static_cast<size_t>(P) * P;
  const complex* plain = mem->basis;
  const complex* ramp = mem->basis + static_cast<size_t>(P) * N;
  double* G1 = mem->gram;
  double* G2 = G1 + PP;
  double* H = G2 + PP;
  double* S2 = H + PP;
  double* w0 = mem->inverse;
  double* w1 = w0 + PP;
  double* w2 = w1 + PP;
  double* w3 = w2 + PP;

  inblocksoffour(P, [&](auto R, uint32_t t) {
    foldedredots<R>(plain, plain + static_cast<size_t>(t) * N, N, h, G1 + t);
    foldedredots<R>(ramp, ramp + static_cast<size_t>(t) * N, N, h, G2 + t);
    foldedimdots<R>(plain, ramp + static_cast<size_t>(t) * N, N, h, H + t);
  });
  H[0] = 0.0;
  filltoeplitz(G1, P, 1.0);
  filltoeplitz(G2, P, 1.0);
  filltoeplitz(H, P, -1.0);

  // Schur complement of the ramp block: S1 = G1 + H*G2^-1*H; V = G2^-1*H*S1^-1.
  if (toeplitzsiminv(P, G2, w0) != 0) return -1;  // T2
  simpmprodmat(w0, H, w1, P, P, 0);               // X = T2*H
  simprodmat(H, w1, w2, P, P, 1);                 // S1 = H*X
  addmat(w2, G1, static_cast<uint32_t>(PP), 1.0);
  if (simgaussinv(P, w2, w3) != 0) return -1;  // S1inv
  simpmprodmat(w1, w3, w0, P, P, 0);           // V = X*S1inv
  // Schur complement of the plain block: S2 = G2 + H*G1^-1*H.
  if (toeplitzsiminv(P, G1, w1) != 0) return -1;  // T1
  simpmprodmat(w1, H, w2, P, P, 0);               // X1 = T1*H
  simprodmat(H, w2, S2, P, P, 1);                 // S2 = H*X1
  addmat(S2, G2, static_cast<uint32_t>(PP), 1.0);
  if (simgaussinv(P, S2, w1) != 0) return -1;  // S2inv
  copymatwtr(w2, w0, P, P, 1, -1.0);           // U = -V^T

  complex* b1 = mem->rhs;
  complex* b2 = b1 + P;
  rowrhs(mem->frame, plain, N, K, b1);
  rowrhs(mem->frame, ramp, N, K, b2);
  complex* a = mem->solution;
  complex* beta = a + P;
  solveconjugatesymmetric(w3, b1, w2, b2, K, a);
  solveconjugatesymmetric(w1, b2, w0, b1, K, beta);
  for (uint32_t r = 0; r < P; ++r) {
    beta[r].re *= sigma;
    beta[r].im *= sigma;
  }
  return 0;
}

int hasqhaabssolve(hamem* mem, uint32_t N, uint32_t M) {
  if (!fitsrecord(mem, N, M) || M % 2 == 0) return -1;
  const uint32_t K = M / 2, h = N >> 1;
  const complex* mid = mem->basis + static_cast<size_t>(K) * N;
  double* res = mem->frame;
  complex* z = mem->solution;

  const double e0 = foldedredot(mid, mid, h);
  if (e0 == 0.0) return -1;
  z[K].re = framedot(res, mid, N).re / e0;
  z[K].im = 0.0;
  for (uint32_t m = 0; m < N; ++m) res[m] -= z[K].re * mid[m].re;

  for (uint32_t i = 1; i <= K; ++i) {
    const complex* U = mem->basis + static_cast<size_t>(K - i) * N;
    const complex* V = mem->basis + static_cast<size_t>(K + i) * N;
    const double e = foldedredot(U, U, h);
    const double q = foldedredot(V, U, h);
    if (e == q) return -1;
    const complex y = framedot(res, U, N);
    complex& lo = z[K - i];
    lo.re = y.re / (e + q);
    lo.im = y.im / (e - q);
    z[K + i].re = lo.re;
    z[K + i].im = -lo.im;
    for (uint32_t m = 0; m < N; ++m) res[m] -= 2.0 * (lo.re * U[m].re + lo.im * U[m].im);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Analyses
// ---------------------------------------------------------------------------

int getharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K, double* amps,
                 double* phases, hamem* mem) {
  if (!validf0(f0) || K == 0) return -1;
  const uint32_t N = haframesize(fs, f0);
  if (!fitsrecord(mem, N, 2 * K + 1)) return -1;
  if (!cutframe(x, n, centre, N, mem)) return -1;
  hamatrixcreate(mem->basis, N, K, f0, fs, mem->window);
  if (hasqhalscsolve(mem, N, 2 * K + 1, 1) != 0) return -1;
  writeharmonics(mem->solution, K, amps, phases);
  return 0;
}

int getqharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K,
                  double* amps, double* phases, double* freqs, hamem* mem) {
  if (!validf0(f0) || K == 0) return -1;
  const uint32_t N = qhaframesize(fs, f0);
  const uint32_t M = 2 * (2 * K + 1);
  if (!fitsrecord(mem, N, M)) return -1;
  if (!cutframe(x, n, centre, N, mem)) return -1;
  const double sigma = qhamatrixcreate(mem->basis, N, K, f0, fs, mem->window);
  if (qhalscsolve(mem, N, M, sigma) != 0) return -1;
  const complex* a = mem->solution;
  const complex* beta = a + (2 * K + 1);
  writeharmonics(a, K, amps, phases);
  if (freqs != nullptr) {
    // Written in increasing k: freqs may alias the start of the solution area, which lies
    // below every coefficient still to be read.
    for (uint32_t k = 1; k <= K; ++k) {
      double df = 0.0;
      const bool defined = frequencymismatch(a[K + k], beta[K + k], &df);
      freqs[k - 1] = defined && std::fabs(df) < 0.5 * f0 ? k * f0 + df : k * f0;
    }
  }
  return 0;
}

int getsqharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K,
                   double* amps, double* phases, double* freqs, hamem* mem) {
  if (!validf0(f0) || K == 0 || mem == nullptr) return -1;
  double* f = freqs != nullptr ? freqs : reinterpret_cast<double*>(mem->solution);
  if (getqharmonics(x, n, fs, centre, f0, K, nullptr, nullptr, f, mem) != 0) return -1;
  const uint32_t N = sqhaframesize(fs, f0);
  if (!fitsrecord(mem, N, 2 * K + 1)) return -1;
  if (!cutframe(x, n, centre, N, mem)) return -1;
  sqhamatrixcreate(mem->basis, N, K, f, fs, mem->window);
  if (hasqhalscsolve(mem, N, 2 * K + 1, 0) != 0) return -1;
  writeharmonics(mem->solution, K, amps, phases);
  return 0;
}

double qharefinepitch(const double* x, uint32_t n, double fs, uint32_t centre, double f0, double fmax,
                      hamem* mem) {
  if (f0 == 0.0) return 0.0;
  const uint32_t K = hanoharms(fs, fmax, f0);
  if (getqharmonics(x, n, fs, centre, f0, K, nullptr, nullptr, nullptr, mem) != 0) return f0;
  const complex* a = mem->solution;
  const complex* beta = a + (2 * K + 1);
  double num = 0.0, den = 0.0;
  for (uint32_t k = 1; k <= K; ++k) {
    double df = 0.0;
    if (!frequencymismatch(a[K + k], beta[K + k], &df)) continue;  // no weight, undefined mismatch
    const double g = std::pow(a[K + k].re * a[K + k].re + a[K + k].im * a[K + k].im, 0.25);
    num += g * (f0 + df / k);
    den += g;
  }
  return den > 0.0 ? num / den : f0;
}

// ---------------------------------------------------------------------------
// Harmonic synthesis
// ---------------------------------------------------------------------------

namespace {

// Multiplies buf[0..L-1] by (2 - cos(psi0 + j*theta)) * sqrt(2)/3: the pitch-synchronous
// modulation of the noise, with a mean square gain of 1.
void modulatenoise(double* buf, uint32_t L, double psi0, double theta) {
  const double rc = std::cos(theta), rs = std::sin(theta);
  double c = std::cos(psi0), s = std::sin(psi0);
  for (uint32_t j = 0; j < L; ++j) {
    buf[j] *= (2.0 - c) * 0.47140452079103173;
    rotate(c, s, rc, rs);
  }
}

// Harmonics waiting to be added to a frame, four at a time: buf[j] += amp*cos(phase0 + j*step)
// for each, from the phasor (c, s) = e^(j*phase0) turned by the step phasor (rc, rs) per sample.
// For every sample the additions stand in the order the harmonics were queued, so the frame is
// the one made by adding each harmonic alone, while the four rotations run side by side.
class harmonicqueue {
 public:
  harmonicqueue(double* buf, uint32_t L) : buf_(buf), L_(L) {}
  void add(double amp, double phase0, double rc, double rs) {
    amp_[n_] = amp;
    c_[n_] = std::cos(phase0);
    s_[n_] = std::sin(phase0);
    rc_[n_] = rc;
    rs_[n_] = rs;
    if (++n_ == 4) addfour();
  }
  // Adds the harmonics still queued, one at a time.
  void flush() {
    for (uint32_t i = 0; i < n_; ++i)
      for (uint32_t j = 0; j < L_; ++j) {
        buf_[j] += amp_[i] * c_[i];
        rotate(c_[i], s_[i], rc_[i], rs_[i]);
      }
    n_ = 0;
  }

 private:
  void addfour() {
    for (uint32_t j = 0; j < L_; ++j) {
      double v = buf_[j];
      for (uint32_t i = 0; i < 4; ++i) v += amp_[i] * c_[i];
      buf_[j] = v;
      for (uint32_t i = 0; i < 4; ++i) rotate(c_[i], s_[i], rc_[i], rs_[i]);
    }
    n_ = 0;
  }
  double* buf_;
  uint32_t L_;
  uint32_t n_ = 0;
  double amp_[4], c_[4], s_[4], rc_[4], rs_[4];
};

}  // namespace

VELK_WIDE_VECTORS int genharmonics(double* buf, uint32_t before, uint32_t after, double fs, double f0,
                                   uint32_t K, const double* amps, const double* phases, double psi,
                                   uint8_t noisemod) {
  const uint32_t L = before + after;
  if (K == 0 || L == 0) return 0;
  const double theta = kTwoPi * f0 / fs;
  const double psi0 = psi - before * theta;
  if (noisemod == 1) modulatenoise(buf, L, psi0, theta);
  const double c1 = std::cos(theta), s1 = std::sin(theta);
  double ck = 1.0, sk = 0.0;  // step phasor of harmonic k
  harmonicqueue queue(buf, L);
  for (uint32_t k = 1; k <= K; ++k) {
    rotate(ck, sk, c1, s1);
    if (amps[k - 1] == 0.0) continue;
    queue.add(amps[k - 1], k * psi0 + phases[k - 1], ck, sk);
  }
  queue.flush();
  return 0;
}

int polymcaq(double phis, double phie, double omegas, double omegae, uint32_t M, double* p) {
  p[2] = omegas;
  p[3] = phis;
  if (M == 0) {  // an empty segment has no curvature to fit
    p[0] = p[1] = 0.0;
    return 0;
  }
  const double m = M;
  const double P = std::floor(((omegae - omegas) * m / 2.0 + (m * omegas + phis - phie)) / kTwoPi + 0.5);
  const double D = (phie - phis - m * omegas + kTwoPi * P) / (m * m);
  const double E = (omegae - omegas) / m;
  p[0] = (-2.0 * D + E) / m;
  p[1] = 3.0 * D - E;
  return 0;
}

int subtharmonicsmcaq(double* signal, double fs, uint32_t start, uint32_t end, double f0s, double f0e,
                      uint32_t K0, uint32_t K1, const double* amps0, const double* amps1,
                      const double* phases0, const double* phases1) {
  if (end <= start || (K0 == 0 && K1 == 0)) return 0;
  const uint32_t M = end - start;
  const double m = M;
  const uint32_t Kmax = K0 > K1 ? K0 : K1;
  const uint32_t Kboth = K0 < K1 ? K0 : K1;
  double poly[4];
  for (uint32_t k = 1; k <= Kmax; ++k) {
    const double ws = kTwoPi * k * f0s / fs;
    const double we = kTwoPi * k * f0e / fs;
    if (k <= Kboth) {
      polymcaq(phases0[k - 1], phases1[k - 1], ws, we, M, poly);
      const double a0 = amps0[k - 1], a1 = amps1[k - 1];
      for (uint32_t t = 0; t < M; ++t)
        signal[start + t] -= (a0 + (t / m) * (a1 - a0)) * std::cos(evalpoly(poly, 3, t));
    } else if (k <= K1) {  // born in the end frame
      for (uint32_t t = 0; t < M; ++t) {
        const double back = static_cast<double>(t) - m;  // offset from the end frame
        signal[start + t] -= amps1[k - 1] * (t / m) * std::cos(phases1[k - 1] + back * we);
      }
    } else {  // dying after the start frame
      for (uint32_t t = 0; t < M; ++t)
        signal[start + t] -= amps0[k - 1] * ((m - t) / m) * std::cos(phases0[k - 1] + t * ws);
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Envelope resampling
// ---------------------------------------------------------------------------

namespace {

// Walks a grid of source points at 0, ds, 2ds, ..., S*ds, where point 0 repeats point 1 and
// point i (i >= 1) is source element i-1. For a frequency f it gives the bracketing pair
// (i, i+1) with i*ds <= f < (i+1)*ds, or i = S beyond the last point.
class EnvelopeGrid {
 public:
  EnvelopeGrid(double ds, uint32_t S) : ds_(ds), S_(S), i_(0) {}
  // Index of the lower bracketing point for f (S when f is at or beyond the last point).
  uint32_t locate(double f) {
    while (i_ > 0 && i_ * ds_ > f) --i_;
    while (i_ < S_ && (i_ + 1) * ds_ <= f) ++i_;
    return i_;
  }
  // Source element index of grid point i.
  static uint32_t element(uint32_t i) { return i == 0 ? 0 : i - 1; }
  // Fraction of the way from point i to point i+1 at frequency f.
  double fraction(uint32_t i, double f) const { return (f - i * ds_) / ds_; }

 private:
  double ds_;
  uint32_t S_;
  uint32_t i_;
};

// Geometric interpolation y0^(1-t)*y1^t between two non-negative amplitudes; a zero end
// pulls the interior to 0 (its limit) instead of producing a NaN.
double geometricmix(double y0, double y1, double t) {
  if (t == 0.0) return y0;
  if (y0 == 0.0 || y1 == 0.0) return 0.0;
  return std::exp(std::log(y0) + t * (std::log(y1) - std::log(y0)));
}

bool validstep(double d) {
  return d > 0.0 && std::isfinite(d);
}

}  // namespace

int resamplelogampenv(double ds, const double* src, uint32_t S, double dd, double* dst, uint32_t D) {
  if (S == 0 || D == 0 || !validstep(ds)) return -1;
  EnvelopeGrid grid(ds, S);
  for (uint32_t j = 0; j < D; ++j) {
    const double f = (j + 1) * dd;
    const uint32_t i = grid.locate(f);
    if (i >= S) {
      dst[j] = src[S - 1];
      continue;
    }
    const double y0 = src[EnvelopeGrid::element(i)], y1 = src[i];
    dst[j] = y0 + (f - i * ds) * (y1 - y0) / ds;
  }
  return 0;
}

int resampleharmonicenv(double ds, const double* srcamps, const double* srcphases, uint32_t S, double dd,
                        const double* dstfreqs, double* dstamps, double* dstphases, uint32_t D) {
  if (S == 0 || D == 0 || !validstep(ds)) return -1;
  EnvelopeGrid grid(ds, S);
  for (uint32_t j = 0; j < D; ++j) {
    const double f = dstfreqs != nullptr ? dstfreqs[j] : (j + 1) * dd;
    const uint32_t i = grid.locate(f);
    if (i >= S) {  // beyond the last point: its amplitude and complex value
      dstamps[j] = srcamps[S - 1];
      if (srcphases != nullptr)
        dstphases[j] = std::atan2(srcamps[S - 1] * std::sin(srcphases[S - 1]),
                                  srcamps[S - 1] * std::cos(srcphases[S - 1]));
      continue;
    }
    const uint32_t e0 = EnvelopeGrid::element(i);
    const double t = grid.fraction(i, f);
    dstamps[j] = geometricmix(srcamps[e0], srcamps[i], t);
    if (srcphases != nullptr) {
      // The point at frequency 0 is the real value srcamps[0].
      const double p0 = i == 0 ? 0.0 : srcphases[e0];
      const double re0 = srcamps[e0] * std::cos(p0), im0 = srcamps[e0] * std::sin(p0);
      const double re1 = srcamps[i] * std::cos(srcphases[i]), im1 = srcamps[i] * std::sin(srcphases[i]);
      dstphases[j] = std::atan2(im0 + t * (im1 - im0), re0 + t * (re1 - re0));
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Log spectrum from harmonics
// ---------------------------------------------------------------------------

namespace {

// Adds value*kappa(u) to out[b] for b = b0..b1, with u = (sign*b*df - F)/f0 and the kernel
// kappa(u) = 0.5*(1 + cos(pi*u/4))*sin(pi*u)/(pi*u), kappa(0) = 1. The sines and cosines
// along the bins come from phasor rotation. The bins go in blocks: the rotations of a block
// first, then its kernel values (independent, so vector registers take them).
VELK_INLINE_KERNEL void spreadkernel(double* out, int64_t b0, int64_t b1, double sign, double df, double F,
                                     double f0, double value) {
  if (b1 < b0) return;
  const double u0 = (sign * b0 * df - F) / f0;
  const double du = sign * df / f0;
  const double r1c = std::cos(kPi * du), r1s = std::sin(kPi * du);
  const double r4c = std::cos(kPi * du / 4.0), r4s = std::sin(kPi * du / 4.0);
  double c1 = std::cos(kPi * u0), s1 = std::sin(kPi * u0);
  double c4 = std::cos(kPi * u0 / 4.0), s4 = std::sin(kPi * u0 / 4.0);
  constexpr int32_t kBlock = 32;
  double sines[kBlock], cosines[kBlock], us[kBlock], kappas[kBlock];
  for (int64_t first = b0; first <= b1; first += kBlock) {
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(kBlock, b1 - first + 1));
    for (int32_t j = 0; j < count; ++j) {
      sines[j] = s1;
      cosines[j] = c4;
      rotate(c1, s1, r1c, r1s);
      rotate(c4, s4, r4c, r4s);
    }
    const double base = static_cast<double>(first);  // base + j is the bin exactly
    for (int32_t j = 0; j < count; ++j) {
      us[j] = (sign * (base + j) * df - F) / f0;
      kappas[j] = 0.5 * (1.0 + cosines[j]) * sines[j] / (kPi * us[j]);
    }
    for (int32_t j = 0; j < count; ++j)
      if (us[j] == 0.0) kappas[j] = 1.0;
    double* block = out + first;
    for (int32_t j = 0; j < count; ++j) block[j] += value * kappas[j];
  }
}

}  // namespace

VELK_WIDE_VECTORS int getlogspectrumfromharms(const double* x, uint32_t n, double fs, uint32_t centre,
                                              double f0, uint32_t N, double* out, hamem* mem,
                                              uint8_t adapted) {
  if (N < 2 || out == nullptr) return -1;
  const double df = fs / N;
  const uint32_t half = N / 2;
  const uint32_t K = hanoharms(fs, fs, f0);
  const int ok = adapted ? getsqharmonics(x, n, fs, centre, f0, K, nullptr, nullptr, nullptr, mem)
                         : getharmonics(x, n, fs, centre, f0, K, nullptr, nullptr, mem);
  if (ok != 0) return -1;

  double* L = mem->inverse;  // K + 5 log amplitudes at 0, f0, ..., (K+4)*f0
  double lowest = 0.0;
  for (uint32_t k = 1; k <= K; ++k) {
    const complex a = mem->solution[K + k];
    // A coefficient of exactly 0 is floored at the smallest normal power, keeping the log finite.
    const double power = std::fmax(a.re * a.re + a.im * a.im, 2.2250738585072014e-308);
    L[k] = 0.5 * std::log(power / f0);
    if (k == 1 || L[k] < lowest) lowest = L[k];
  }
  L[0] = L[1];
  for (uint32_t k = K + 1; k <= K + 4; ++k) L[k] = lowest;

  for (uint32_t b = 0; b <= half; ++b) out[b] = 0.0;
  for (uint32_t k = 0; k <= K + 4; ++k) {
    const double F = k * f0;
    const int64_t b0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor((F - 4.0 * f0) / df)) + 1);
    const int64_t b1 = std::min<int64_t>(half, static_cast<int64_t>(std::ceil((F + 4.0 * f0) / df)) - 1);
    spreadkernel(out, b0, b1, 1.0, df, F, f0, L[k]);
    if (k >= 1 && k <= 3) {  // the part of the kernel below 0 Hz folds back
      const int64_t fold = std::min<int64_t>(half, static_cast<int64_t>(std::ceil((4.0 * f0 - F) / df)) - 1);
      spreadkernel(out, 1, fold, -1.0, df, F, f0, L[k]);
    }
  }
  for (uint32_t b = 1; b < half; ++b) out[N - b] = out[b];
  return 0;
}

// ---------------------------------------------------------------------------
// Reshaping of amplitude sets
// ---------------------------------------------------------------------------

double getharmonicenergy(uint32_t K, const double* amps) {
  return module2(amps, K, nullptr);
}

namespace {

// Sum of exp(2*L_k): the energy of a set of log amplitudes.
double logampenergy(uint32_t K, const double* L) {
  double e = 0.0;
  for (uint32_t k = 0; k < K; ++k) e += std::exp(2.0 * L[k]);
  return e;
}

// True when a ratio E0/E1 of energies can be used for renormalisation.
bool usableenergies(double E0, double E1) {
  return E0 > 0.0 && E1 > 0.0 && std::isfinite(E0) && std::isfinite(E1);
}

}  // namespace

int modvocaleffort(uint32_t K, double* values, double v, double f0, uint8_t normalise, uint8_t logamps) {
  if (K == 0 || !validf0(f0)) return 0;
  const double e = 0.05 * v;
  if (logamps) {
    const double E0 = normalise ? logampenergy(K, values) : 0.0;
    for (uint32_t k = 1; k <= K; ++k) values[k - 1] += e * std::log(k * f0);
    if (normalise) {
      const double E1 = logampenergy(K, values);
      if (usableenergies(E0, E1)) {
        const double shift = 0.5 * std::log(E0 / E1);
        for (uint32_t k = 0; k < K; ++k) values[k] += shift;
      }
    }
  } else {
    const double E0 = normalise ? module2(values, K, nullptr) : 0.0;
    for (uint32_t k = 1; k <= K; ++k) values[k - 1] *= std::pow(k * f0, e);
    if (normalise) {
      const double E1 = module2(values, K, nullptr);
      if (usableenergies(E0, E1)) scalemat(values, K, std::sqrt(E0 / E1));
    }
  }
  return 0;
}

int fuseenvelopes(double de, double* env, const double* /*unused1*/, uint32_t D, double f0,
                  const double* amps, const double* /*unused2*/, uint32_t K, double alpha) {
  if (D == 0 || K == 0) return -1;
  double* r = static_cast<double*>(std::malloc(sizeof(double) * D));
  if (r == nullptr) return -1;
  if (resampleharmonicenv(f0, amps, nullptr, K, de, nullptr, r, nullptr, D) != 0) {
    std::free(r);
    return -1;
  }
  const double Eh = module2(amps, K, nullptr);
  const double Ee = module2(env, D, nullptr);
  const double Er = module2(r, D, nullptr);
  const double g = Er > 0.0 ? std::sqrt(Ee / Er) : 0.0;
  for (uint32_t i = 0; i < D; ++i) env[i] = (1.0 - alpha) * g * r[i] + alpha * env[i];
  std::free(r);
  const double Ef = module2(env, D, nullptr);
  const double target = (1.0 - alpha) * Eh + alpha * Ee;
  if (Ef > 0.0 && target >= 0.0) scalemat(env, D, std::sqrt(target / Ef));
  return 0;
}

int harmonicpostfilter(uint32_t K, double* amps, double theta, double gamma) {
  if (gamma == 0.0 || K == 0) return 0;
  double E = 0.0, R = 0.0;
  for (uint32_t k = 1; k <= K; ++k) {
    const double p = amps[k - 1] * amps[k - 1];
    E += p;
    R += p * std::cos(k * theta);
  }
  const double denom = (E * E - R * R) * E;
  if (!(denom > 0.0) || !std::isfinite(denom)) return 0;  // silent or degenerate set: nothing to shape
  const double s = K / denom;
  const double b = (E * E + R * R) * s;
  const double g = -2.0 * s * E * R;
  for (uint32_t k = 1; k <= K; ++k) {
    const double response = std::sqrt(std::fmax(b + g * std::cos(k * theta), 0.0));
    const double q = std::pow(response * amps[k - 1], gamma);
    amps[k - 1] *= std::fmin(std::fmax(q, 0.5), 1.5);
  }
  const double after = module2(amps, K, nullptr);
  if (after > 0.0) scalemat(amps, K, std::sqrt(E / after));
  return 0;
}

// ---------------------------------------------------------------------------
// Linear phase and polarity
// ---------------------------------------------------------------------------

double getlinphasecgrav(int flag, const double* value) {
  return flag != 0 && value != nullptr ? *value : 0.0;
}

double getlinphasechazan(uint32_t K, const double* p, const double* phases) {
  if (K == 0) return 0.0;
  // Mean increment between neighbours; before harmonic 1 stands the real value m_1.
  double A = 0.0, B = 0.0;
  double mprev = std::sqrt(p[0]), phprev = 0.0;
  for (uint32_t k = 1; k <= K; ++k) {
    const double m = std::sqrt(p[k - 1]);
    A += mprev * m * std::cos(phases[k - 1] - phprev);
    B += mprev * m * std::sin(phases[k - 1] - phprev);
    mprev = m;
    phprev = phases[k - 1];
  }
  const double norm = std::sqrt(A * A + B * B);
  if (norm == 0.0) return 0.0;  // no magnitude: no defined slope
  const double theta = std::acos(std::fabs(A) / norm);
  const double candidates[4] = {theta, -theta, kPi - theta, -(kPi - theta)};
  double best = 0.0, bestmisfit = 0.0;
  for (int c = 0; c < 4; ++c) {
    const double cr = std::cos(candidates[c]), ci = std::sin(candidates[c]);
    double misfit = 0.0;
    double xre = std::sqrt(p[0]), xim = 0.0;  // X_0
    for (uint32_t k = 1; k <= K; ++k) {
      const double m = std::sqrt(p[k - 1]);
      const double re = m * std::cos(phases[k - 1]), im = m * std::sin(phases[k - 1]);
      const double dre = xre - (re * cr - im * ci), dim = xim - (re * ci + im * cr);
      misfit += dre * dre + dim * dim;
      xre = re;
      xim = im;
    }
    if (c == 0 || bestmisfit > misfit) {
      best = candidates[c];
      bestmisfit = misfit;
    }
  }
  return -best;
}

mempolytseb* memgetlinphasecreate(uint32_t N) {
  return mempolytsebcreate(N);
}

int memgetlinphasedestroy(mempolytseb* table) {
  return mempolytsebdestroy(table);
}

namespace {

// out (2n+1 coefficients) = a * b for two polynomials of n+1 coefficients, highest power first.
void polyproduct(const double* a, const double* b, uint32_t n, double* out) {
  for (uint32_t i = 0; i <= 2 * n; ++i) out[i] = 0.0;
  for (uint32_t i = 0; i <= n; ++i)
    for (uint32_t j = 0; j <= n; ++j) out[i + j] += a[i] * b[j];
}

}  // namespace

double getlinphase(uint32_t K, const double* amps, const double* phases, const mempolytseb* table) {
  if (K == 0 || table == nullptr || table->N < K) return 0.0;
  const uint32_t n1 = K + 1;
  std::vector<double> work(4 * n1 + (2 * K + 1), 0.0);
  double* P = work.data();
  double* Q = P + n1;
  double* R = Q + n1;
  double* S = R + n1;
  double* V = S + n1;
  for (uint32_t k = 1; k <= K; ++k) {
    const double c = amps[k - 1] * std::cos(phases[k - 1]);
    const double s = amps[k - 1] * std::sin(phases[k - 1]);
    accumpoly(P, K, polytsebT(k, table), k, c);
    accumpoly(Q, K, polytsebU(k - 1, table), k - 1, s);
    accumpoly(R, K, polytsebT(k, table), k, k * s);
    accumpoly(S, K, polytsebU(k - 1, table), k - 1, k * c);
  }
  // Stationary points of H: R(x)^2 = (1 - x^2) S(x)^2.
  polyproduct(S, S, K, V);
  for (uint32_t i = 0; i + 2 <= 2 * K; ++i) V[i] -= V[i + 2];
  std::vector<double> RR(2 * K + 1);
  polyproduct(R, R, K, RR.data());
  for (uint32_t i = 0; i <= 2 * K; ++i) V[i] -= RR[i];

  // Leading zeros (silent top harmonics, or all amplitudes 0) lower the degree.
  uint32_t lead = 0;
  while (lead < 2 * K && V[lead] == 0.0) ++lead;
  const uint32_t degree = 2 * K - lead;
  if (degree == 0) return 0.0;
  std::vector<complex> roots(degree);
  if (findroots(V + lead, degree, roots.data()) != 0) return 0.0;

  double bestvalue = 0.0, bestx = 1.0, bestsin = 0.0;
  bool found = false;
  for (const complex& r : roots) {
    if (r.im != 0.0 || r.re < -1.0 || r.re > 1.0) continue;
    const double x = r.re;
    const double w = std::sqrt(1.0 - x * x);
    const double q = evalpoly(Q, K, x);
    const double value = evalpoly(P, K, x) + w * std::fabs(q);
    if (value > bestvalue) {
      bestvalue = value;
      bestx = x;
      bestsin = q > 0.0 ? w : -w;
      found = true;
    }
  }
  return found ? std::atan2(bestsin, bestx) : 0.0;
}

double modlinphase(double omegaa, double omegab, int M1, double ra, double rb, int M2) {
  if (ra == 1.0 && rb == 1.0 && M2 == M1) return 0.0;
  return M2 * (ra * omegaa + rb * omegab) / 2.0 - M1 * (omegaa + omegab) / 2.0;
}

double modlinphaseobr(double phia, double phib, double omegaa, double omegab, int M1, double ra, double rb,
                      int M2) {
  if (ra == 1.0 && rb == 1.0 && M2 == M1) return 0.0;
  if (M1 == 0) return 0.0;  // no original segment to scale
  const double m1 = M1, m2 = M2;
  const double turns =
      std::floor(((omegab - omegaa) * m1 / 2.0 + (m1 * omegaa + phia - phib)) / kTwoPi + 0.5);
  const double advance = kTwoPi * turns + phib - phia;
  return ((omegab - omegaa) * (m1 / 12.0) * (rb - ra) + (ra + rb) / 2.0 * advance) * (m2 / m1) - advance;
}

int phasecutpolarity(const double* phases, uint32_t K) {
  if (K < 2) return 0;
  double d = 2.0 * phases[0] - phases[1];
  d -= std::floor(d / kTwoPi) * kTwoPi;
  const double d0 = std::fmin(d, kTwoPi - d);
  const double dpi = std::fabs(d - kPi);
  if (dpi > d0) return 1;
  if (d0 > dpi) return -1;
  return 0;
}

int rpspolarity(const double* phases, uint32_t K) {
  if (K < 2) return 0;
  double prevpos = 0.0, prevneg = 0.0, sumpos = 0.0, sumneg = 0.0;
  for (uint32_t k = 2; k <= K; ++k) {
    double rpos = phases[k - 1] - k * phases[0];
    double rneg = (phases[k - 1] - kPi) - k * (phases[0] - kPi);
    rpos -= std::floor((rpos - prevpos) / kTwoPi + 0.5) * kTwoPi;
    rneg -= std::floor((rneg - prevneg) / kTwoPi + 0.5) * kTwoPi;
    sumpos += std::fabs(rpos - prevpos);
    sumneg += std::fabs(rneg - prevneg);
    prevpos = rpos;
    prevneg = rneg;
  }
  return sumpos > sumneg ? -1 : 1;
}

}  // namespace velk
