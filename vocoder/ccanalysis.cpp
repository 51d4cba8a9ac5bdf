#include "ccanalysis.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>

#include "constants.h"
#include "dft.h"
#include "harmonicanalysis.h"
#include "matvect.h"
#include "spectralanalysis.h"
#include "widevectors.h"
#include "windowing.h"

namespace velk {

namespace {

// ---------------------------------------------------------------------------------------------
// Analysis: spectra and harmonic amplitudes to warped cepstra
// ---------------------------------------------------------------------------------------------

// FFT size of the analysis for the sampling rate and the lowest F0 of the signal.
uint32_t analysisfftsize(double fs, double f0min, uint32_t Lnoise) {
  const uint32_t base = ccbasefftsize(fs);
  uint32_t L3 = getwinlengthnperiodsodd(3.0, f0min, fs);
  uint32_t needed = getwinlengthceilpot2(L3 > Lnoise ? L3 : Lnoise);
  return needed > base ? needed : base;
}

// Turns the Nfft-point even log spectrum in work[0..Nfft) (bins 0..Nfft/2 are read) into the real
// cepstrum, halving c[0] and c[Nfft/2]; the second half of work holds the zero imaginary parts.
// -1 when Nfft is not a power of two.
int logspectrumtocepstrum(double* work, uint32_t Nfft) {
  double* re = work;
  double* im = work + Nfft;
  for (uint32_t k = 0; k <= Nfft / 2; k++) re[k] /= Nfft;
  std::memset(im, 0, (Nfft / 2 + 1) * sizeof(double));
  if (ifftreal(static_cast<int32_t>(Nfft), re, im) != 0) return -1;
  re[Nfft / 2] *= 0.5;
  re[0] *= 0.5;
  return 0;
}

// The all-pass recursion with zero input, one step: g becomes h (p+1 values each).
void warpstep(const double* g, double* h, uint32_t p, double alpha) {
  h[0] = alpha * g[0];
  if (p >= 1) h[1] = alpha * g[1] + (1 - alpha * alpha) * g[0];
  for (uint32_t j = 2; j <= p; j++) h[j] = alpha * (g[j] - h[j - 1]) + g[j - 1];
}

// Whether mem holds a warping table for c[0..M], order p and factor alpha.
bool warptablefits(const ccmem* mem, uint32_t M, uint32_t p, double alpha) {
  return mem->warp != nullptr && mem->warporder == p && mem->warpalpha == alpha && M < mem->warprows;
}

// d[j] = sum over i = 0..M of c[i] * table[i][j], each sum taken term by term in increasing i;
// four rows go into one pass over d.
VELK_WIDE_VECTORS void warpbytable(const double* table, const double* c, uint32_t M, uint32_t p, double* d) {
  const uint64_t width = static_cast<uint64_t>(p) + 1;
  std::memset(d, 0, width * sizeof(double));
  uint32_t i = 0;
  for (; i + 3 <= M; i += 4) {
    const double *r0 = table + i * width, *r1 = r0 + width, *r2 = r1 + width, *r3 = r2 + width;
    const double c0 = c[i], c1 = c[i + 1], c2 = c[i + 2], c3 = c[i + 3];
    for (uint32_t j = 0; j <= p; j++) d[j] = (((d[j] + c0 * r0[j]) + c1 * r1[j]) + c2 * r2[j]) + c3 * r3[j];
  }
  for (; i <= M; i++) {
    const double* row = table + i * width;
    const double ci = c[i];
    for (uint32_t j = 0; j <= p; j++) d[j] += ci * row[j];
  }
}

// Warps the first M+1 real cepstral coefficients in work into cc and doubles c0.
void warpcepstrum(double* work, uint32_t Nfft, uint32_t M, uint32_t p, double* cc, double alpha,
                  const ccmem* mem) {
  if (warptablefits(mem, M, p, alpha))
    warpbytable(mem->warp, work, M, p, cc);
  else
    ccwarp(work, M, cc, p, alpha, work + Nfft);
  cc[0] *= 2.0;
}

// The common tail of the spectrum-based methods with the full cepstrum length; 0 or -1.
int logspectrumtocc(double* work, uint32_t Nfft, uint32_t p, double* cc, double alpha, const ccmem* mem) {
  if (logspectrumtocepstrum(work, Nfft) != 0) return -1;
  warpcepstrum(work, Nfft, Nfft / 2, p, cc, alpha, mem);
  return 0;
}

// Regularised discrete cepstrum of K harmonic amplitudes (in amps, overwritten by their log
// scaled values) at the harmonics of f0 or at freqs. Returns 0, or -1 when the system is singular.
int harmonicstocc(double* amps, uint32_t K, double f0, const double* freqs, double fs, uint32_t p, double* cc,
                  ccmem* mem, double alpha) {
  if (ccmemreserve(mem, K, p) != 0) return -1;
  for (uint32_t k = 0; k < K; k++) amps[k] = std::log(amps[k] * 0.5 / std::sqrt(f0));
  // The fit over the cosine rows of ccmatrixcreate, from the warped angles alone.
  double* angles = mem->scratch;
  double* lswork = angles + static_cast<uint64_t>(K) * (p + 1);
  for (uint32_t k = 0; k < K; k++)
    angles[k] = fwarp(freqs != nullptr ? kTwoPi * freqs[k] / fs : kTwoPi * (k + 1) * f0 / fs, alpha);
  return solvecosineseries(angles, amps, cc, K, p + 1, lswork, 1) == -1 ? -1 : 0;
}

// Largest warping table waveform2cc builds (doubles, 32 MB); beyond it, with very low F0 or
// very high orders, the frames use the recursion.
const uint64_t kMaxWarpTable = 1u << 22;

uint64_t warptablesize(uint32_t m, uint32_t p) {
  return (static_cast<uint64_t>(m) + 1) * (p + 1);
}

// Noise-spectrum estimate used for unvoiced frames and frames whose harmonic fit fails; 0 or -1.
int noisecc(const double* x, uint32_t n, double fs, uint32_t centre, uint32_t Nfft, double* work, uint32_t p,
            double* cc, ccmem* mem, double alpha) {
  if (getnoiselogspectrum(x, n, fs, centre, Nfft, work, mem->na) != 0) return -1;
  return logspectrumtocc(work, Nfft, p, cc, alpha, mem);
}

// Rows of the cepstral bases are made this many at a time.
constexpr uint32_t kCosineRowsAtOnce = 4;

// Rows k0..k0+n-1 (n <= kCosineRowsAtOnce) of ccmatrixcreate: for harmonic k at warped
// frequency ww, R[k][j] = 2cos(j*ww) and Q[k][j] = -2sin(j*ww) (1 and -0 at j = 0), the phasor
// e^(j*ww) turned by repeated multiplication. The rows' recurrences run side by side; each row
// takes the same steps as alone.
VELK_INLINE_KERNEL void cosinerows(uint32_t p, uint32_t k0, uint32_t n, double f0, const double* freqs,
                                   double fs, double alpha, double* R, double* Q) {
  double cw[kCosineRowsAtOnce], sw[kCosineRowsAtOnce], c[kCosineRowsAtOnce], s[kCosineRowsAtOnce];
  double* r[kCosineRowsAtOnce];
  double* q[kCosineRowsAtOnce];
  for (uint32_t i = 0; i < n; i++) {
    const uint32_t k = k0 + i;
    const double w = freqs != nullptr ? kTwoPi * freqs[k] / fs : kTwoPi * (k + 1) * f0 / fs;
    const double ww = fwarp(w, alpha);
    cw[i] = std::cos(ww);
    sw[i] = std::sin(ww);
    c[i] = 1.0;
    s[i] = 0.0;
    r[i] = R != nullptr ? R + static_cast<uint64_t>(k) * (p + 1) : nullptr;
    q[i] = Q != nullptr ? Q + static_cast<uint64_t>(k) * (p + 1) : nullptr;
    if (r[i] != nullptr) r[i][0] = 1.0;
    if (q[i] != nullptr) q[i][0] = -0.0;
  }
  for (uint32_t j = 1; j <= p; j++)
    for (uint32_t i = 0; i < n; i++) {
      const double cn = c[i] * cw[i] - s[i] * sw[i];
      s[i] = s[i] * cw[i] + c[i] * sw[i];
      c[i] = cn;
      if (r[i] != nullptr) r[i][j] = 2 * c[i];
      if (q[i] != nullptr) q[i][j] = -2 * s[i];
    }
}

}  // namespace

double fwarp(double w, double alpha) {
  return std::atan2(std::sin(w) * (1 - alpha * alpha), (1 + alpha * alpha) * std::cos(w) - 2 * alpha);
}

int ccwarp(const double* c, uint32_t m, double* d, uint32_t p, double alpha, double* scratch) {
  if (alpha <= -1 || alpha >= 1) return -1;
  if (alpha == 0) {
    for (uint32_t j = 0; j <= p; j++) d[j] = j <= m ? c[j] : 0.0;
    return 0;
  }
  double* g = scratch;
  double* h = d;
  std::memset(g, 0, (p + 1) * sizeof(double));
  for (uint32_t i = 0; i <= m; i++) {
    // The input enters d_0 only, which no other element of the same step reads.
    warpstep(g, h, p, alpha);
    h[0] += c[m - i];
    double* t = g;
    g = h;
    h = t;
  }
  if (g != d) std::memcpy(d, g, (p + 1) * sizeof(double));
  return 0;
}

VELK_WIDE_VECTORS int ccmatrixcreate(uint32_t p, uint32_t K, double f0, const double* freqs, double fs,
                                     double alpha, double* R, double* Q) {
  if (R == nullptr && Q == nullptr) return -1;
  for (uint32_t k = 0; k < K; k += kCosineRowsAtOnce)
    cosinerows(p, k, std::min(K - k, kCosineRowsAtOnce), f0, freqs, fs, alpha, R, Q);
  return 0;
}

uint64_t getccsize(uint32_t N, uint32_t p) {
  return static_cast<uint64_t>(N) * (p + 1);
}

uint32_t getnumframes(uint32_t n, uint32_t shift, uint32_t first) {
  return getnumanalysisframes(n, shift, first);
}

ccmem* ccmeminitialize(double fs, double f0min, uint32_t Lnoise, uint32_t Nfft, uint8_t method) {
  ccmem* mem = static_cast<ccmem*>(std::calloc(1, sizeof(ccmem)));
  if (mem == nullptr) return nullptr;
  if (method == CC_HARM_MCEP || method == CC_HARM_RDC)
    mem->ha = hameminitialize(fs, fs, f0min);
  else if (method != CC_WWC_MCEP && method != CC_SEEVOC_MCEP)
    mem->ha = qhameminitialize(fs, fs, f0min);
  mem->na = nameminitializefft(Lnoise, Nfft);
  bool needsha = method != CC_WWC_MCEP && method != CC_SEEVOC_MCEP;
  if (mem->na == nullptr || (needsha && mem->ha == nullptr)) {
    ccmemdestroy(mem);
    return nullptr;
  }
  return mem;
}

int ccmemreserve(ccmem* mem, uint32_t K, uint32_t p) {
  uint64_t n = static_cast<uint64_t>(p) + 1;
  uint64_t needed = K * n + n * (2 * n + 1);
  if (needed <= mem->scratchsize) return 0;
  double* s = static_cast<double*>(std::realloc(mem->scratch, needed * sizeof(double)));
  if (s == nullptr) return -1;
  mem->scratch = s;
  mem->scratchsize = needed;
  return 0;
}

int ccmemsetwarp(ccmem* mem, uint32_t m, uint32_t p, double alpha) {
  if (alpha <= -1 || alpha >= 1) return -1;
  const uint64_t rows = static_cast<uint64_t>(m) + 1, width = static_cast<uint64_t>(p) + 1;
  double* table = static_cast<double*>(std::realloc(mem->warp, rows * width * sizeof(double)));
  if (table == nullptr) return -1;
  mem->warp = table;
  mem->warprows = static_cast<uint32_t>(rows);
  mem->warporder = p;
  mem->warpalpha = alpha;
  // The recursion is linear and time-invariant: c_i enters as a unit in d_0 and then passes
  // through i zero-input steps, so row i is row i-1 stepped once.
  std::memset(table, 0, width * sizeof(double));
  table[0] = 1.0;
  for (uint64_t i = 1; i < rows; i++) warpstep(table + (i - 1) * width, table + i * width, p, alpha);
  return 0;
}

int ccmemdestroy(ccmem* mem) {
  if (mem == nullptr) return 0;
  if (mem->ha != nullptr) hamemdestroy(mem->ha);
  if (mem->na != nullptr) namemdestroy(mem->na);
  std::free(mem->warp);
  std::free(mem->scratch);
  std::free(mem);
  return 0;
}

int getharmmcep(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
                double* work, uint32_t p, double* cc, ccmem* mem, double alpha) {
  if (f0 > 0 && getlogspectrumfromharms(x, n, fs, centre, f0, Nfft, work, mem->ha, 0) != -1)
    return logspectrumtocc(work, Nfft, p, cc, alpha, mem);
  return noisecc(x, n, fs, centre, Nfft, work, p, cc, mem, alpha);
}

namespace {

// Above 16 kHz the least-squares fit of the harmonics, whose cost grows with the square of the
// rate (longer frames, more harmonics), stops at this frequency (Hz); the harmonics above it are
// measured on the frame's spectrum instead (peakamplitudes). The 16 kHz analysis fits them all.
const double kFittedBand = 8000.0;
// Periods of F0 in the frame of that spectrum: long enough that a Hann window's main lobe
// (+-2 bins of the frame, +-f0/2) keeps neighbouring harmonics apart.
const double kPeakPeriods = 4.0;
// Smallest amplitude a measured harmonic gets, so that its logarithm stays finite.
const double kLeastAmplitude = 1e-9;

// Amplitudes of harmonics k = first + 1 .. K of f0 into amps[first .. K): the largest magnitude
// of the Hann-windowed spectrum within f0/2 of each, as 2 |X| / sum(w), the amplitude of a
// sinusoid at a bin. The frame (kPeakPeriods periods, at most Nfft - 1 samples) is centred at
// `centre`; samples outside x count as 0. work holds Nfft doubles (Nfft a power of two); 0 or -1.
int peakamplitudes(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t first,
                   uint32_t K, uint32_t Nfft, double* work, double* amps) {
  const uint32_t L = std::min(getwinlengthnperiodsodd(kPeakPeriods, f0, fs), Nfft - 1);
  std::memset(work, 0, static_cast<size_t>(Nfft) * sizeof(double));
  double sum = 0;
  for (uint32_t j = 0; j < L; j++) {
    const double w = 0.5 - 0.5 * std::cos(kTwoPi * (j + 1) / (L + 1));
    const int64_t t = static_cast<int64_t>(centre) - L / 2 + j;
    work[j] = t >= 0 && t < n ? w * x[t] : 0.0;
    sum += w;
  }
  complex* X = reinterpret_cast<complex*>(work);
  if (fftrealpacked(static_cast<int32_t>(Nfft), X) != 0) return -1;
  const double binwidth = fs / Nfft;
  for (uint32_t k = first + 1; k <= K; k++) {
    const int64_t low = static_cast<int64_t>(std::ceil((k - 0.5) * f0 / binwidth));
    const int64_t high = std::min<int64_t>(static_cast<int64_t>((k + 0.5) * f0 / binwidth), Nfft / 2 - 1);
    double peak = 0;
    for (int64_t b = std::max<int64_t>(low, 1); b <= high; b++)
      peak = std::max(peak, X[b].re * X[b].re + X[b].im * X[b].im);
    amps[k - 1] = std::max(2 * std::sqrt(peak) / sum, kLeastAmplitude);
  }
  return 0;
}

// Regularised discrete cepstrum of the frame's harmonics: at multiples of f0 from getharmonics,
// or at the frequencies getsqharmonics measures (above 16 kHz only those below kFittedBand; the
// harmonics above it at multiples of f0 with the spectrum's peaks); the noise spectrum when f0 <= 0 or either
// the harmonic analysis or the least-squares fit fails. 0, or -1 when a transform fails.
int harmonicrdc(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
                double* work, uint32_t p, double* cc, ccmem* mem, double alpha, bool adapted) {
  if (f0 > 0) {
    uint32_t K = hanoharms(fs, fs, f0);
    const uint32_t fitted = fs > kSamplingRate ? std::min(K, hanoharms(fs, kFittedBand, f0)) : K;
    // The frequencies, then the measured amplitudes, after the spectrum's work[0, Nfft); the
    // frame's 3 periods of the lowest F0 make Nfft > 2K.
    double* freqs = adapted ? work + Nfft : nullptr;
    double* measured = work + Nfft + K;
    if (fitted < K && peakamplitudes(x, n, fs, centre, f0, fitted, K, Nfft, work, measured) != 0) return -1;
    int analysed = adapted ? getsqharmonics(x, n, fs, centre, f0, fitted, work, nullptr, freqs, mem->ha)
                           : getharmonics(x, n, fs, centre, f0, fitted, work, nullptr, mem->ha);
    for (uint32_t k = fitted; k < K; k++) {
      work[k] = measured[k];
      if (freqs) freqs[k] = (k + 1) * f0;
    }
    if (analysed != -1 && harmonicstocc(work, K, f0, freqs, fs, p, cc, mem, alpha) == 0) return 0;
  }
  return noisecc(x, n, fs, centre, Nfft, work, p, cc, mem, alpha);
}

}  // namespace

int getharmrdc(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
               double* work, uint32_t p, double* cc, ccmem* mem, double alpha) {
  return harmonicrdc(x, n, fs, centre, f0, Nfft, work, p, cc, mem, alpha, false);
}

int getqharmrdc(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
                double* work, uint32_t p, double* cc, ccmem* mem, double alpha) {
  return harmonicrdc(x, n, fs, centre, f0, Nfft, work, p, cc, mem, alpha, true);
}

int getwwcmcep(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
               double* work, uint32_t p, double* cc, ccmem* mem, double alpha) {
  double voicedf0 = f0 > 0 ? f0 : 0.0;
  if (getsignallogspectrum(x, n, fs, centre, voicedf0, Nfft, work, mem->na) != 0 ||
      logspectrumtocepstrum(work, Nfft) != 0)
    return -1;
  uint32_t M = Nfft / 2;
  if (voicedf0 > 0) {
    // Lifter at two thirds of the pitch period.
    double lifter = std::floor(fs / (1.5 * voicedf0));
    if (lifter < M) M = static_cast<uint32_t>(lifter);
  }
  warpcepstrum(work, Nfft, M, p, cc, alpha, mem);
  return 0;
}

int getseemcep(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
               double* work, uint32_t p, double* cc, ccmem* mem, double alpha) {
  if (getseevoclogspectrum(x, n, fs, centre, f0 > 0 ? f0 : 0.0, Nfft, work, mem->na) != 0) return -1;
  return logspectrumtocc(work, Nfft, p, cc, alpha, mem);
}

uint32_t ccbasefftsize(double fs) {
  if (fs <= 8000) return 512;
  if (fs <= 16000) return 1024;
  if (fs <= 32000) return 2048;
  if (fs <= 64000) return 4096;
  if (fs <= 128000) return 8192;
  return 0;
}

double ccanalysisfloor(const double* f0, uint32_t N) {
  double f0min = 60;
  for (uint32_t k = 0; k < N; k++)
    if (f0[k] > 0 && f0[k] < f0min) f0min = f0[k];
  return f0min;
}

int waveform2cc(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t N,
                const double* f0, uint32_t p, double* cc, uint8_t method, double alpha) {
  return waveform2ccfloor(x, n, fs, shift, first, N, f0, p, cc, method, alpha, ccanalysisfloor(f0, N));
}

int waveform2ccfloor(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t N,
                     const double* f0, uint32_t p, double* cc, uint8_t method, double alpha, double f0min) {
  uint32_t Lnoise = naframesize(fs);
  uint32_t Nfft = analysisfftsize(fs, f0min, Lnoise);

  ccmem* mem = ccmeminitialize(fs, f0min, Lnoise, Nfft, method);
  double* work = static_cast<double*>(std::malloc(2 * static_cast<size_t>(Nfft) * sizeof(double)));
  bool rdc = method == CC_HARM_RDC || method == CC_QHARM_RDC;
  bool warpable = alpha > -1 && alpha < 1 && warptablesize(Nfft / 2, p) <= kMaxWarpTable;
  if (mem == nullptr || work == nullptr || (rdc && ccmemreserve(mem, hanoharms(fs, fs, f0min), p) != 0) ||
      (warpable && ccmemsetwarp(mem, Nfft / 2, p, alpha) != 0)) {
    std::free(work);
    ccmemdestroy(mem);
    return -1;
  }
  typedef int (*framemethod)(const double*, uint32_t, double, uint32_t, double, uint32_t, double*, uint32_t,
                             double*, ccmem*, double);
  framemethod analyse = getharmmcep;
  switch (method) {
    case CC_HARM_RDC:
      analyse = getharmrdc;
      break;
    case CC_QHARM_RDC:
      analyse = getqharmrdc;
      break;
    case CC_WWC_MCEP:
      analyse = getwwcmcep;
      break;
    case CC_SEEVOC_MCEP:
      analyse = getseemcep;
      break;
    default:
      break;
  }
  int status = 0;
  for (uint32_t k = 0; k < N && status == 0; k++) {
    uint32_t centre = first + k * shift;
    status = analyse(x, n, fs, centre, f0[k], Nfft, work, p, cc + getccsize(k, p), mem, alpha);
  }
  std::free(work);
  ccmemdestroy(mem);
  return status;
}

// -------------------------------------------------------------------------------------------------
// Synthesis: warped cepstra to waveform, and cepstral post-filters
// -------------------------------------------------------------------------------------------------

namespace {

// Offset added to c0 for the noise envelope: the noise generator's level relative to the harmonics.
const double kNoiseLevel = 0.19332249068594076;
// Envelope grid step of the noise (Hz).
const double kEnvStep = 100.0;
// F0 outside this range is synthesised as unvoiced.
const double kMinVoicedF0 = 10.0;
const double kMaxVoicedF0 = 1500.0;
// Lowest maximum voiced frequency of a voiced frame, and the cut-off of the loudest frame
// when it is derived from c0.
const double kMinCutoff = kMinVoicedFrequency;
const double kMaxCutoffFromC0 = 4500.0;

// Log gain of the high-pass weighting at frequency f below the cut-off fv:
// -32 dB at 0 Hz, -20 dB at the knee 0.8 fv, 0 dB at fv, linear in the log domain.
double hplogain(double f, double fv) {
  const double g0 = -3.684136148790474;  // -32 dB
  const double g1 = -2.302585092994046;  // -20 dB
  double knee = 0.8 * fv;
  if (f < knee) return g0 + (g1 - g0) * f / knee;
  return g1 * (1 - (f - knee) / (fv - knee));
}

bool allfinite(const double* v, uint32_t n) {
  for (uint32_t i = 0; i < n; i++)
    if (!std::isfinite(v[i])) return false;
  return true;
}

// Storage of the frame synthesis, allocated once per record.
struct synthstore {
  double* E = nullptr;       // envelope grid cosine matrix, Kenv x (p+1)
  double* A = nullptr;       // harmonic cosine matrix, Kmax x (p+1)
  double* P = nullptr;       // harmonic sine matrix, Kmax x (p+1)
  double* amps = nullptr;    // Kmax
  double* phases = nullptr;  // Kmax
  double* env = nullptr;     // Kenv
  double* frame = nullptr;   // 2L: noise FFT buffer, the frame is its first 2S samples
  bool allocate(uint32_t Kenv, uint32_t Kmax, uint32_t p, uint32_t L) {
    size_t w = static_cast<size_t>(p) + 1;
    E = static_cast<double*>(std::malloc(std::max<size_t>(1, Kenv * w) * sizeof(double)));
    A = static_cast<double*>(std::malloc(std::max<size_t>(1, Kmax * w) * sizeof(double)));
    P = static_cast<double*>(std::malloc(std::max<size_t>(1, Kmax * w) * sizeof(double)));
    amps = static_cast<double*>(std::malloc(std::max<size_t>(1, Kmax) * sizeof(double)));
    phases = static_cast<double*>(std::malloc(std::max<size_t>(1, Kmax) * sizeof(double)));
    env = static_cast<double*>(std::malloc(std::max<size_t>(1, Kenv) * sizeof(double)));
    frame = static_cast<double*>(std::malloc(2 * static_cast<size_t>(L) * sizeof(double)));
    return E && A && P && amps && phases && env && frame;
  }
  ~synthstore() {
    std::free(E);
    std::free(A);
    std::free(P);
    std::free(amps);
    std::free(phases);
    std::free(env);
    std::free(frame);
  }
};

double voicedcutoff(const double* fv, double c0, const c0range& range) {
  double cutoff;
  if (fv != nullptr)
    cutoff = std::isnan(*fv) ? kMinCutoff : *fv;
  else if (range.cmax > range.cmin)
    cutoff = (c0 - range.cmin) * kMaxCutoffFromC0 / (range.cmax - range.cmin);
  else
    cutoff = kMinCutoff;
  return cutoff < kMinCutoff ? kMinCutoff : cutoff;
}

}  // namespace

// The frame synthesis: its storage, its noise generator and the running phase.
struct ccsynth {
  explicit ccsynth(double rate, uint32_t shift, uint32_t order, double warp)
      : fs(rate), S(shift), p(order), alpha(warp), noise(0) {}
  double fs;
  uint32_t S;
  uint32_t p;
  double alpha;
  uint32_t Kenv = 0;
  uint32_t L = 0;
  synthstore st;
  noisegen noise;    // every synthesis draws the same noise: one input, one output
  double phi = 0;    // phase of the fundamental at the last voiced frame's centre
  double fprev = 0;  // F0 of the previous frame after the voicing decisions, 0 unvoiced
};

void c0rangeinclude(c0range* r, double f0, const double* c, uint32_t p) {
  if (!std::isfinite(f0) || !allfinite(c, p + 1)) return;
  if (c[0] < r->cmin) r->cmin = c[0];
  if (f0 > 0 && c[0] > r->cmax) r->cmax = c[0];
}

ccsynth* ccsynthcreate(double fs, uint32_t S, uint32_t p, double alpha, double flow) {
  if (S == 0) return nullptr;
  ccsynth* r = new (std::nothrow) ccsynth(fs, S, p, alpha);
  if (r == nullptr) return nullptr;
  r->Kenv = hanoharms(fs, fs, kEnvStep);
  r->L = getwinlengthceilpot2(2 * S);
  if (!r->st.allocate(r->Kenv, hanoharms(fs, fs, flow), p, r->L)) {
    delete r;
    return nullptr;
  }
  ccmatrixcreate(p, r->Kenv, kEnvStep, nullptr, fs, alpha, r->st.E, nullptr);
  return r;
}

void ccsynthdestroy(ccsynth* r) {
  delete r;
}

int ccsynthframe(ccsynth* r, double f, double* c, const double* fv, const c0range& range,
                 const double** frame) {
  synthstore& st = r->st;
  const double fs = r->fs;
  const uint32_t S = r->S, p = r->p, L = r->L, Kenv = r->Kenv;
  if (!std::isfinite(f) || !allfinite(c, p + 1)) {  // corrupt frame: silent, phase restarts
    r->fprev = 0;
    return 0;
  }
  if (f > 0 && (f < kMinVoicedF0 || f > kMaxVoicedF0)) f = 0;

  // Noise envelope on the 100 Hz grid.
  c[0] += kNoiseLevel;
  prodmat(st.E, c, st.env, Kenv, p + 1, 1);
  c[0] -= kNoiseLevel;
  double cutoff = 0;
  if (f > 0) {
    cutoff = voicedcutoff(fv, c[0], range);
    if (f >= cutoff)
      f = 0;
    else
      applyhpfilterlog(Kenv, kEnvStep, st.env, cutoff);
  }
  if (!allfinite(st.env, Kenv)) {
    r->fprev = 0;
    return 0;
  }
  resamplelogampenv(kEnvStep, st.env, Kenv, fs / L, st.frame + 1, L / 2 - 1);
  if (gennoisefromlogspectrum(st.frame, L, fs, &r->noise) != 0) return -1;

  if (f > 0) {
    uint32_t K = hanoharms(fs, cutoff, f);
    ccmatrixcreate(p, K, f, nullptr, fs, r->alpha, st.A, st.P);
    prodmat(st.A, c, st.amps, K, p + 1, 1);
    for (uint32_t k = 0; k < K; k++) st.amps[k] = std::exp(st.amps[k]) * 2 * std::sqrt(f);
    if (!allfinite(st.amps, K)) {  // envelope overflows: silent as a corrupt frame
      r->fprev = 0;
      return 0;
    }
    applyantihpfilter(K, f, st.amps, cutoff);
    prodmat(st.P, c, st.phases, K, p + 1, 1);
    r->phi = r->fprev > 0 ? r->phi + kPi * (f + r->fprev) * S / fs : 0;
    applyexcphase(K, f, fs, st.phases);
    genharmonics(st.frame, S, S, fs, f, K, st.amps, st.phases, r->phi, 1);
  }
  r->fprev = f;
  *frame = st.frame;
  return 1;
}

uint32_t getwaveformlength(uint32_t S, uint32_t N) {
  return (N + 1) * S + 1;
}

int applyhpfilterlog(uint32_t K, double delta, double* e, double fv) {
  for (uint32_t k = 0; k < K; k++) {
    double f = (k + 1) * delta;
    if (!(f < fv)) break;
    e[k] += hplogain(f, fv);
  }
  return 0;
}

int applyantihpfilter(uint32_t K, double delta, double* a, double fv) {
  for (uint32_t k = 1; k <= K; k++) {
    double f = k * delta;
    if (!(f < fv)) break;
    double g = std::exp(hplogain(f, fv));
    a[k - 1] *= std::sqrt(1 - g * g);
  }
  return 0;
}

int applyexcphase(uint32_t K, double f0, double fs, double* phases) {
  // Phase of a two-pole glottal model with poles at radius 0.95.
  const double psi = kTwoPi * f0 / fs;
  const double cpsi = std::cos(psi), spsi = std::sin(psi);
  double c = cpsi, s = spsi;
  for (uint32_t k = 0; k < K; k++) {
    phases[k] += kPi - 2 * std::atan2(0.0975 * s, 1.9 - 1.9025 * c);
    double cn = c * cpsi - s * spsi;
    s = s * cpsi + c * spsi;
    c = cn;
  }
  return 0;
}

int cc2waveform(double* out, uint32_t outlen, double fs, uint32_t S, uint32_t N, const double* f0,
                const double* fv, double alpha, uint32_t p, double* cc) {
  return cc2waveform(out, outlen, fs, S, N, f0, fv, alpha, p, cc, nullptr);
}

int cc2waveform(double* out, uint32_t outlen, double fs, uint32_t S, uint32_t N, const double* f0,
                const double* fv, double alpha, uint32_t p, double* cc, uint8_t* silent) {
  if (outlen < getwaveformlength(S, N)) return -1;
  std::memset(out, 0, static_cast<size_t>(outlen) * sizeof(double));
  if (silent) std::memset(silent, 0, N);
  if (S == 0) return 0;

  double flow = 500;
  for (uint32_t i = 0; i < N; i++)
    if (f0[i] >= kMinVoicedF0 && f0[i] < flow) flow = f0[i];
  c0range range;
  if (fv == nullptr)
    for (uint32_t i = 0; i < N; i++) c0rangeinclude(&range, f0[i], cc + getccsize(i, p), p);

  ccsynth* synth = ccsynthcreate(fs, S, p, alpha, flow);
  if (synth == nullptr) return -1;
  uint32_t centre = S;
  int status = 0;
  for (uint32_t i = 0; i < N && status >= 0; i++, centre += S) {
    const double* frame = nullptr;
    status = ccsynthframe(synth, f0[i], cc + getccsize(i, p), fv ? fv + i : nullptr, range, &frame);
    if (status == 1) olatriang(out, frame, centre - S, centre, centre + S);
    if (status == 0 && silent) silent[i] = 1;
  }
  ccsynthdestroy(synth);
  return status < 0 ? -1 : 0;
}

namespace {

const double kLoudTable[100] = {
    0.216217,  -0.053318, -0.103377, -0.027273, -0.048518, -0.002685, -0.010427, 0.002949,  -0.002042,
    -0.001649, -0.005429, -0.003549, -0.006043, -0.002547, -0.004555, -0.002302, -0.003778, -0.001662,
    -0.002685, 0.000145,  -0.001333, 0.000716,  -0.001133, -0.000455, -0.001587, -0.001187, -0.001547,
    -0.000884, -0.001243, -0.000642, -0.000994, -0.000512, -0.000581, -0.000079, -0.000324, 0.000128,
    -0.000611, -0.000203, -0.000912, -0.000464, -0.000766, -0.000359, -0.00054,  -0.000222, -0.000451,
    -0.000145, -0.000265, -0.000051, -0.000114, -0.000089, -0.000285, -0.000242, -0.000509, -0.000258,
    -0.000448, -0.000145, -0.000291, -0.000082, -0.000241, -0.000033, -0.000191, 0.000018,  -0.000138,
    -0.000068, -0.000202, -0.000219, -0.000281, -0.000205, -0.000237, -0.000081, -0.000158, -0.000035,
    -0.00013,  -0.000028, -0.000118, 0.000007,  -0.000137, -0.000031, -0.000201, -0.000129, -0.000208,
    -0.000133, -0.000131, -0.000053, -0.00008,  -0.000019, -0.000079, -0.000029, -0.000071, -0.000031,
    -0.00009,  -0.000051, -0.000158, -0.00008,  -0.000171, -0.00006,  -0.000098, -0.000016, -0.00005,
    -0.000008};

const double kPostFilterTable[100] = {
    0.0,      0.038499, 0.008488, 0.01002,  0.005314, 0.005522, 0.003769, 0.003807, 0.002896, 0.002905,
    0.002345, 0.002347, 0.001967, 0.001968, 0.001693, 0.001693, 0.001484, 0.001484, 0.001321, 0.001321,
    0.001189, 0.001189, 0.001081, 0.001081, 0.00099,  0.00099,  0.000913, 0.000913, 0.000847, 0.000847,
    0.000789, 0.000789, 0.000739, 0.000739, 0.000694, 0.000694, 0.000654, 0.000654, 0.000619, 0.000618,
    0.000586, 0.000586, 0.000557, 0.000557, 0.000531, 0.000531, 0.000507, 0.000506, 0.000484, 0.000484,
    0.000464, 0.000464, 0.000445, 0.000445, 0.000427, 0.000427, 0.000411, 0.000411, 0.000396, 0.000395,
    0.000381, 0.000381, 0.000368, 0.000368, 0.000356, 0.000355, 0.000344, 0.000344, 0.000333, 0.000333,
    0.000322, 0.000322, 0.000312, 0.000312, 0.000303, 0.000303, 0.000294, 0.000294, 0.000286, 0.000286,
    0.000278, 0.000278, 0.00027,  0.00027,  0.000263, 0.000263, 0.000256, 0.000256, 0.000249, 0.000249,
    0.000243, 0.000243, 0.000237, 0.000237, 0.000231, 0.000231, 0.000226, 0.000225, 0.00022,  0.00022};

const double kDrcTable[40] = {9.3548,  9.5034,  13.2856, 8.5283,  6.7815,  6.7028,  5.8989,  4.8194,
                              3.0412,  0.9842,  1.1115,  2.9367,  0.6398,  1.9756,  0.8612,  -0.7755,
                              -0.2643, -1.2187, -2.6671, -2.9419, -2.7885, -4.6615, -2.9509, -4.4856,
                              -3.4965, -4.5608, -3.6405, -5.9302, -3.8724, -7.5799, -3.8302, -4.7725,
                              -4.1459, -3.8386, -4.9377, -5.6,    -5.3026, -6.2338, -6.025,  -4.6858};
const double kDrcLevelOffset = 53.9683;
const double kDbToLogAmp = 0.1151292546497023;  // ln(10) / 20

// Last coefficient index a table of `size` entries reaches in a vector of order p.
uint32_t tablelast(uint32_t p, uint32_t size) {
  return p < size - 1 ? p : size - 1;
}

// Target level of the compression curve for a frame d dB below the loudest one.
double drctarget(double d) {
  if (d < -40) return d;
  if (d < -35) return 4 * d + 120;
  if (d < -25) return 0.8 * d + 8;
  if (d < -20) return 0.4 * d - 2;
  return -10;
}

}  // namespace

int applycloudfilt16k042(double* cc, uint32_t p, uint32_t N, double factor) {
  if (factor == 0) return 0;
  uint32_t last = tablelast(p, 100);
  for (uint32_t i = 0; i < N; i++) {
    double* c = cc + getccsize(i, p);
    for (uint32_t j = 0; j <= last; j++) c[j] += factor * kLoudTable[j];
  }
  return 0;
}

int applycpostfilt16k042(double* cc, uint32_t p, uint32_t N, double beta, const double* framefactors) {
  if (beta == 0) return 0;
  uint32_t last = tablelast(p, 100);
  double energy = 0;
  for (uint32_t j = 1; j <= last; j++) energy += kPostFilterTable[j] * kPostFilterTable[j];
  if (energy == 0) return 0;  // order 0: nothing to sharpen
  for (uint32_t i = 0; i < N; i++) {
    double* c = cc + getccsize(i, p);
    double s = 0;
    for (uint32_t j = 1; j <= last; j++) s += c[j] * kPostFilterTable[j];
    s /= energy;
    double b = beta;
    if (framefactors != nullptr) {
      double w = framefactors[i];
      b *= w >= 1 ? 1.0 : (w <= 0 ? 0.0 : w);
    }
    for (uint32_t j = 1; j <= last; j++) c[j] += b * (c[j] - s * kPostFilterTable[j]);
  }
  return 0;
}

double drclevel(const double* c, uint32_t p) {
  uint32_t last = tablelast(p, 40);
  double s = 0;
  for (uint32_t j = 0; j <= last; j++) s += c[j] * kDrcTable[j];
  return kDrcLevelOffset + s;
}

void drcadjust(double* c, double level, double loudest, double gamma) {
  double d = level - loudest;
  c[0] += (drctarget(d) - d) * gamma * kDbToLogAmp;
}

int applycdrc16k042(double* cc, uint32_t p, uint32_t N, double gamma) {
  if (gamma == 0 || N == 0) return 0;
  double* level = static_cast<double*>(std::malloc(static_cast<size_t>(N) * sizeof(double)));
  if (level == nullptr) return -1;
  double maxlevel = -HUGE_VAL;
  for (uint32_t i = 0; i < N; i++) {
    level[i] = drclevel(cc + getccsize(i, p), p);
    if (level[i] > maxlevel) maxlevel = level[i];
  }
  for (uint32_t i = 0; i < N; i++) drcadjust(cc + getccsize(i, p), level[i], maxlevel, gamma);
  std::free(level);
  return 0;
}

}  // namespace velk
