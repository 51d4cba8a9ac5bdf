#include "fvanalysis.h"

#include <cassert>
#include <cfloat>
#include <algorithm>
#include <cmath>
#include <vector>

#include "constants.h"
#include "matvect.h"
#include "polynom.h"
#include "widevectors.h"
#include "windowing.h"

namespace velk {

namespace {

// A peak more than 15 dB below its neighbouring band's peak (natural-log power scale).
constexpr double kDropLevel = 3.4538776394910693;
// ln 0.5 / ln 0.92: maps a likeness of 0.92 to a probability of 0.5.
constexpr double kLikenessExponent = 8.31295041412083;
// Highest f0 floor for sizing the work buffers, Hz.
constexpr double kMaxLowestF0 = 60.0;
// Length of the final median filter, frames.

// Spectrum of the Hann window at u (radians of normalised frequency times the window length),
// given sinu = sin u, away from its removable singularities at 0 and +-pi.
VELK_INLINE_KERNEL double hannformula(double u, double sinu) {
  return sinu * (1.0 / u - 0.5 * (1.0 / (kPi + u) + 1.0 / (u - kPi)));
}

// The kernel value k from hannformula at u, or the singularity's limit: 1 at u = 0 and 0.5 at
// u = +-pi.
double hannlimit(double u, double k) {
  if (u == 0.0) return 1.0;
  if (u == kPi || u == -kPi) return 0.5;
  return k;
}

// Sines of the angles v + j*d, j = 0, 1, ..., by rotating (cos, sin) one step at a time: one
// sine and cosine per sequence instead of a sine per angle, at a cost of about one rounding
// of absolute error per step.
struct sinesequence {
  double c, s, cd, sd;
  sinesequence(double v, double d) : c(std::cos(v)), s(std::sin(v)), cd(std::cos(d)), sd(std::sin(d)) {}
  void step() {
    const double cn = c * cd - s * sd;
    s = s * cd + c * sd;
    c = cn;
  }
};

// Within this distance of the kernel's poles at 0 and +-pi, whose divisions would magnify the
// absolute error of a rotated sine, the sine is taken directly.
constexpr double kPoleGuard = 1e-3;

double kernelsine(double u, double rotated) {
  const double m = std::fabs(u);
  return m < kPoleGuard || std::fabs(m - kPi) < kPoleGuard ? std::sin(u) : rotated;
}

// Per-call work storage of getfvoicing.
struct fvwork {
  std::vector<complex> spectrum;  // Nmax values
  double* peaks;                  // peak frequency per band, Nmax/2
  double* likeness;               // likeness per band, Nmax/2
  double* third;                  // log spectrum (Nmax/2 + 1), then split probabilities
  std::vector<double> store;      // backing of the three lists
};

// Geometry of one voiced frame.
struct fvframe {
  double f0;
  uint32_t Lw;  // window length
  uint32_t N;   // FFT size
  double df;    // bin width, Hz
  uint32_t hw;  // likeness half-width, bins
};

fvframe framegeometry(double f0, double fs) {
  assert(3 * fs / f0 < (1u << 29));  // the FFT size must fit in 32 bits
  fvframe g;
  g.f0 = f0;
  g.Lw = getwinlengthnperiodsodd(3, f0, fs);
  g.N = getwinlengthceilpot2(4 * g.Lw);
  g.df = fs / g.N;
  g.hw = static_cast<uint32_t>(std::floor(0.5 * f0 / g.df));
  return g;
}

// A frame is analysed only with a positive finite f0; 0 marks unvoiced frames, and negative,
// infinite or NaN values cannot give a frame geometry.
bool isvoiced(double f0) {
  return f0 > 0.0 && std::isfinite(f0);
}

// Smallest positive f0 of the track, at most 60 Hz.
double lowestf0(const double* f0, uint32_t frames) {
  double lowest = kMaxLowestF0;
  for (uint32_t p = 0; p < frames; ++p) {
    if (isvoiced(f0[p]) && f0[p] < lowest) lowest = f0[p];
  }
  return lowest;
}

// Hann window of peak 2 and length Lw around sample m, placed zero-phase (time 0 at index 0,
// negative times wrapped to the end) in the N real values v; outside samples are 0.
void zerophaseframe(const double* x, uint32_t n, uint32_t m, const fvframe& g, double* v) {
  for (uint32_t i = 0; i < g.N; ++i) v[i] = 0.0;
  const uint32_t h = g.Lw >> 1;
  if (m < n) v[0] = 2 * x[m];
  for (uint32_t r = 1; r <= h; ++r) {
    const double gain = 1 + std::cos(kPi * r / h);
    if (m + r < n) v[r] = gain * x[m + r];
    if (r <= m && m - r < n) v[g.N - r] = gain * x[m - r];
  }
}

// Spectrum (N bins) of the N real values held in the first N/2 complex values of X, in place.
bool realspectrum(uint32_t N, complex* X) {
  if (fftrealpacked(static_cast<int32_t>(N), X) != 0) return false;
  const uint32_t h = N / 2;
  X[h] = {X[0].im, 0.0};
  X[0].im = 0.0;
  for (uint32_t k = 1; k < h; ++k) X[N - k] = {X[k].re, -X[k].im};
  return true;
}

// Bin of the largest strict local maximum of logspec in [*cursor, qe), or -1; the cursor
// moves to qe.
int64_t strongestlocalmax(const double* logspec, uint32_t* cursor, uint32_t qe) {
  int64_t best = -1;
  for (uint32_t q = *cursor; q < qe; ++q) {
    const bool peak = logspec[q] > logspec[q - 1] && logspec[q] > logspec[q + 1];
    if (peak && (best < 0 || logspec[q] > logspec[best])) best = q;
  }
  if (qe > *cursor) *cursor = qe;
  return best;
}

// Finds the harmonic peak of every band [E - f0, E) below fs/2 and its likeness; dropped
// bands get peak frequency 0. Returns the number of bands.
uint32_t harmonicpeaks(const fvframe& g, double fs, fvwork& w) {
  const double* logspec = w.third;
  uint32_t cursor = static_cast<uint32_t>(std::ceil(0.5 * g.f0 / g.df));
  double E = 1.5 * g.f0;
  uint32_t b = 0;
  double prevlevel = -DBL_MAX;
  while (E < 0.5 * fs) {
    const uint32_t qe = static_cast<uint32_t>(std::ceil(E / g.df));
    const int64_t chosen = strongestlocalmax(logspec, &cursor, qe);
    uint32_t k;
    double level;
    double phi;
    if (chosen >= 0) {
      k = static_cast<uint32_t>(chosen);
      double parabola[3];
      parabfitpoints(parabola, logspec[k - 1], logspec[k], logspec[k + 1]);
      level = parabexty(parabola);
      phi = (k + parabextx(parabola)) * g.df;
    } else {
      k = static_cast<uint32_t>(std::floor((E - 0.5 * g.f0) / g.df + 0.5));
      level = logspec[k];
      phi = k * g.df;
    }
    if (level < prevlevel - kDropLevel) {
      w.peaks[b] = 0.0;
    } else {
      w.peaks[b] = phi;
      w.likeness[b] = slm(w.spectrum.data(), g.N, fs, phi, g.Lw, k, g.hw);
      if (b > 0 && prevlevel < level - kDropLevel) w.peaks[b - 1] = 0.0;
    }
    E += g.f0;
    b += 1;
    prevlevel = level;
  }
  return b;
}

// Keeps the bands with a positive peak frequency, in order, turning their likeness into a
// probability of being harmonic; returns how many were kept.
uint32_t keepharmonicbands(uint32_t bands, fvwork& w) {
  uint32_t kept = 0;
  for (uint32_t b = 0; b < bands; ++b) {
    if (w.peaks[b] > 0.0) {
      w.peaks[kept] = w.peaks[b];
      w.likeness[kept] = std::pow(w.likeness[b], kLikenessExponent);
      ++kept;
    }
  }
  return kept;
}

// Peak frequency of the first non-harmonic peak of the most probable split into harmonic
// peaks below and noise peaks above (splits below 1000 Hz excluded); 1000 Hz if none.
double mostprobablesplit(uint32_t kept, fvwork& w) {
  double* P = w.third;
  double acc = 1.0;
  for (uint32_t r = kept; r-- > 0;) {
    acc *= 1.0 - w.likeness[r];
    P[r] = acc;
  }
  acc = 1.0;
  for (uint32_t r = 0; r < kept; ++r) {
    P[r] *= acc;
    acc *= w.likeness[r];
  }
  double result = kMinVoicedFrequency;
  double best = 0.0;
  for (uint32_t r = 0; r < kept; ++r) {
    if (w.peaks[r] < kMinVoicedFrequency) P[r] = 0.0;
    if (P[r] > best) {
      best = P[r];
      result = w.peaks[r];
    }
  }
  return result;
}

// Maximum voiced frequency of one voiced frame centred at m into *fv; false when the transform
// fails.
bool framevoicing(const double* x, uint32_t n, uint32_t m, double f0, double fs, fvwork& w, double* fv) {
  const fvframe g = framegeometry(f0, fs);
  complex* X = w.spectrum.data();
  zerophaseframe(x, n, m, g, reinterpret_cast<double*>(X));
  if (!realspectrum(g.N, X)) return false;
  for (uint32_t k = 0; k <= g.N / 2; ++k) w.third[k] = std::log(X[k].re * X[k].re + X[k].im * X[k].im);
  const uint32_t bands = harmonicpeaks(g, fs, w);
  const uint32_t kept = keepharmonicbands(bands, w);
  *fv = mostprobablesplit(kept, w);
  return true;
}

}  // namespace

VELK_WIDE_VECTORS double slm(const complex* X, uint32_t N, double fs, double phi, uint32_t Lw, uint32_t k0,
                             uint32_t hw) {
  assert(k0 >= hw && k0 + hw < N);
  const double a = static_cast<double>(Lw) / N;
  const double o1 = -(Lw * phi / fs);
  const double o2 = phi < 0.25 * fs ? Lw * phi / fs : -static_cast<double>(Lw) + Lw * phi / fs;
  double kk = 0.0, xx = 0.0, rk = 0.0, ik = 0.0;
  // Both kernel arguments advance by pi*a per bin. The bins go in blocks: the rotated sines of a
  // block first, then its kernel formulas (independent, so vector registers take them), the
  // singularities' limits, and the sums, bin by bin in order.
  const uint32_t i0 = k0 - hw, i1 = k0 + hw;
  sinesequence main(kPi * (i0 * a + o1), kPi * a), image(kPi * (i0 * a + o2), kPi * a);
  constexpr uint32_t kBlock = 32;
  double u1[kBlock], u2[kBlock], s1[kBlock], s2[kBlock], h1[kBlock], h2[kBlock], K[kBlock];
  for (uint32_t b = i0; b <= i1; b += kBlock) {
    const uint32_t count = std::min(kBlock, i1 - b + 1);
    for (uint32_t j = 0; j < count; ++j) {
      const uint32_t i = b + j;
      u1[j] = kPi * (i * a + o1);
      u2[j] = kPi * (i * a + o2);
      s1[j] = kernelsine(u1[j], main.s);
      s2[j] = kernelsine(u2[j], image.s);
      main.step();
      image.step();
    }
    for (uint32_t j = 0; j < count; ++j) {
      h1[j] = hannformula(u1[j], s1[j]);
      h2[j] = hannformula(u2[j], s2[j]);
    }
    for (uint32_t j = 0; j < count; ++j) K[j] = hannlimit(u1[j], h1[j]) + hannlimit(u2[j], h2[j]);
    for (uint32_t j = 0; j < count; ++j) {
      const complex x = X[b + j];
      kk += K[j] * K[j];
      xx += x.re * x.re + x.im * x.im;
      rk += x.re * K[j];
      ik += x.im * K[j];
    }
  }
  return std::sqrt((rk * rk + ik * ik) / (kk * xx));
}

int getfvoicingraw(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t frames,
                   const double* f0, double* out) {
  const uint32_t Lmax = getwinlengthnperiodsodd(3, lowestf0(f0, frames), fs);
  const uint32_t Nmax = getwinlengthceilpot2(4 * Lmax);
  fvwork w;
  w.spectrum.resize(Nmax);
  w.store.resize(Nmax / 2 + Nmax + 1);
  w.peaks = w.store.data();
  w.likeness = w.peaks + Nmax / 2;
  w.third = w.likeness + Nmax / 2;
  for (uint32_t p = 0; p < frames; ++p) {
    const uint32_t m = first + p * shift;
    out[p] = 0.0;
    if (isvoiced(f0[p]) && !framevoicing(x, n, m, f0[p], fs, w, &out[p])) return -1;
  }
  return 0;
}

int fvmediansmooth(double* fv, uint32_t frames) {
  return medianfilt(fv, frames, fvmedianlength);
}

int getfvoicing(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t frames,
                const double* f0, double* out) {
  if (getfvoicingraw(x, n, fs, shift, first, frames, f0, out) != 0) return -1;
  return fvmediansmooth(out, frames);
}

int medianfilt(double* v, uint32_t n, uint32_t L) {
  const uint32_t h = L >> 1;
  const uint32_t len = 2 * h + 1;
  if (n < len) return 0;  // too short for one full window: left as it is
  std::vector<double> saved(v, v + h);
  std::vector<double> window(len);
  for (uint32_t t = 0; t + len <= n; ++t) {
    for (uint32_t j = 0; j < len; ++j) window[j] = v[t + j];
    v[t] = medianelem(window.data(), len);
  }
  for (uint32_t t = n - len + 1; t-- > 0;) v[t + h] = v[t];
  for (uint32_t j = 0; j < h; ++j) v[j] = saved[j];
  return 0;
}

namespace {

// Weight of a frequency in the smoothed track: rising to 1 at 2 kHz, flat to 4 kHz,
// falling to 0 at 8 kHz.
double frequencygain(double v) {
  if (v == 0.0) return 0.0;
  if (v < 2000.0) return v / 2000.0;
  if (v < 4000.0) return 1.0;
  if (v < 8000.0) return (8000.0 - v) / 4000.0;
  return 0.0;
}

}  // namespace

int wsmooth(double* v, uint32_t n, uint32_t L) {
  const int64_t h = L >> 1;
  const int64_t len = L;
  const int64_t count = n;
  const std::vector<double> in(v, v + n);
  double gains = 0.0;
  double weighted = 0.0;
  // Window of output i: input values i - h .. i - h + len - 1.
  auto add = [&](int64_t j, double sign) {
    if (j < 0 || j >= count) return;
    const double g = frequencygain(in[j]);
    gains += sign * g;
    weighted += sign * g * in[j];
  };
  for (int64_t j = -h; j < len - 1 - h; ++j) add(j, 1.0);
  for (int64_t i = 0; i < count; ++i) {
    if (len > 0) add(i - h + len - 1, 1.0);
    if (in[i] != 0.0 && gains != 0.0) v[i] = weighted / gains;
    if (len > 0) add(i - h, -1.0);
  }
  return 0;
}

}  // namespace velk
