#pragma once
// Frame log spectra (unvoiced, pitch-synchronous, SEEVOC), random-phase and Gaussian noise,
// FIR and FFT filtering, and linear prediction: the spectra of the envelope methods and the
// noise of the synthesis. Built on dft and windowing. Log spectra are natural logarithms of
// amplitudes, N bins of an FFT of size N (a power of two), even: bin N-k equals bin k.
#include <cstdint>
#include <cstdlib>

namespace velk {

// Spectral memory record: one allocation of L + extra doubles, the window followed by the work area.
struct namem {
  uint32_t L;    // frame length (odd)
  double* win;   // normalised Hamming window of length L
  double* work;  // work area following the window (FFT imaginary array, or LPC frame and recursion)
};

// Frame length of the unvoiced spectra: an odd 25 ms.
uint32_t naframesize(double fs);
// New record with a window of length L and `extra` doubles of work area.
namem* nameminitialize(uint32_t L, uint32_t extra);
// Record for the spectra of FFT length N.
namem* nameminitializefft(uint32_t L, uint32_t N);
// Record for frame linear prediction of order p.
namem* nameminitializelpc(uint32_t L, uint32_t p);
// Frees the record and its allocation; returns 0.
int namemdestroy(namem* mem);

// The spectra, the noise frame and the FFT filter return -1 when their FFT length N is not a
// power of two.
// Log-amplitude spectrum of the Hamming-windowed frame (length mem->L, mean removed) around z.
//   x    in: the signal, n samples on the +-1 scale
//   n    samples in x
//   fs   sampling rate, Hz
//   z    index of the frame's centre in x
//   N    FFT size, a power of two, at least mem->L (a longer frame is cut to N)
//   out  out: N doubles, caller's: the log spectrum
//   mem  record of nameminitializefft(L, N), or one with at least N doubles of work area
// Returns 0, or -1 when N is not a power of two.
int getnoiselogspectrum(const double* x, uint32_t n, double fs, uint32_t z, uint32_t N, double* out,
                        namem* mem);
// Pitch-synchronous log spectrum from two complementary two-period windows.
//   x    in: the signal, n samples on the +-1 scale
//   n    samples in x
//   fs   sampling rate, Hz
//   z    index of the frame's centre in x
//   f0   F0 of the frame, Hz; 0 gives getnoiselogspectrum
//   N    FFT size, a power of two, at least two periods (a longer frame is cut to N)
//   out  out: 2N doubles, caller's; the log spectrum in the first N, work in the rest
//   mem  record with at least N doubles of work area (nameminitializefft)
// Returns 0, or -1 when N is not a power of two.
int getsignallogspectrum(const double* x, uint32_t n, double fs, uint32_t z, double f0, uint32_t N,
                         double* out, namem* mem);
// SEEVOC envelope by peak picking at harmonic spacing in the three-period log spectrum.
//   x    in: the signal, n samples on the +-1 scale
//   n    samples in x
//   fs   sampling rate, Hz
//   z    index of the frame's centre in x
//   f0   F0 of the frame, Hz; 0 gives getnoiselogspectrum
//   N    FFT size, a power of two, at least three periods (a longer frame is cut to N)
//   out  out: N doubles, caller's: the log envelope
//   mem  record with at least N doubles of work area (nameminitializefft)
// Returns 0, or -1 when N is not a power of two.
int getseevoclogspectrum(const double* x, uint32_t n, double fs, uint32_t z, double f0, uint32_t N,
                         double* out, namem* mem);
// Attenuates the log spectrum below 500 Hz in place (20 dB at 0 Hz, falling linearly); returns 0.
int elimlowfrecfromlogspec(double* logspec, uint32_t N, double fs);

// Pseudo-random state owned by one call or one signal, so that calls in different threads never
// share it: the additive generator behind the C library's srand/rand (the same sequence for the
// same seed; seed 0 acts as 1, as there) and the held-back second deviate of gaussrand. It
// points into itself, so it is not copied.
struct noisegen {
  explicit noisegen(unsigned seed);
  noisegen(const noisegen&) = delete;
  noisegen& operator=(const noisegen&) = delete;
  random_data data;
  char state[128];
  double held;   // second deviate of the last accepted pair
  bool hasheld;  // held is the next deviate
};
// The next value in [0, 2^31 - 1], as rand() gives after srand(seed).
int32_t noisegenrand(noisegen* g);

// Turns the log-amplitude spectrum in buf[1..N/2-1] into a random-phase noise frame in buf[0..N);
// buf holds 2N doubles (real then imaginary part); the phases are drawn from g. Returns 0, or -1
// when N is not a power of two of at least 2.
int gennoisefromlogspectrum(double* buf, uint32_t N, double fs, noisegen* g);

// One standard normal deviate drawn from g (polar method; the second deviate of each pair is
// held back in g and returned by the next call).
double gaussrand(noisegen* g);
// Fills out[0..count) with deviates from gaussrand; returns 0.
int genwhitenoise(double* out, uint32_t count, noisegen* g);

// Windowed-sinc low-pass of order P (P + 1 taps) with cut-off fc Hz; returns 0.
int getlpwinfilter(uint32_t P, double* h, double fc, double fs);
// Windowed-sinc high-pass of order P with cut-off fc Hz; returns 0.
int gethpwinfilter(uint32_t P, double* h, double fc, double fs);
// Windowed-sinc band-pass of order P passing f1..f2 Hz.
//   P   order; the filter has P + 1 taps
//   h   out: P + 1 doubles, caller's
//   f1  lower edge, Hz
//   f2  upper edge, Hz, above f1
//   fs  sampling rate, Hz
// Returns 0.
int getbpwinfilter(uint32_t P, double* h, double f1, double f2, double fs);
// Causal FIR filtering in place.
//   x     in/out: n samples
//   n     samples in x
//   P     order of the filter
//   h     in: P + 1 taps
//   line  in/out: P + 1 doubles, caller's: the last P inputs, carried from one call to the next
//         (zeros before the first)
// Returns 0.
int winfilter(double* x, uint32_t n, uint32_t P, const double* h, double* line);
// Zero-phase FIR filtering in place (the output is centred on the filter's middle tap); returns 0.
int winfilternodelay(double* x, uint32_t n, uint32_t P, const double* h);
// 500 Hz zero-phase high-pass of a whole signal in place; returns 0.
int elimlowfrecfromsignal(double* x, uint32_t n, double fs);
// Zero-phase FFT filtering by overlap-add of blocks of N/2 samples, the gain following the
// piecewise-linear (frequency, gain) table.
//   in       in: n samples
//   out      out: n doubles, caller's; not in
//   n        samples
//   N        FFT size, a power of two
//   freqs    in: the table's frequencies in Hz, ascending from 0; the last must exceed fs/2
//   gainsdb  in: the gain in dB at each table frequency
//   fs       sampling rate, Hz
// Returns 0, or -1 (out unwritten) when N is not a power of two.
int fftfilter(const double* in, double* out, uint32_t n, uint32_t N, const double* freqs,
              const double* gainsdb, double fs);
// Levinson-Durbin recursion: the inverse filter of order p, scaled by the prediction error.
//   r     in: p + 1 autocorrelation values r[0..p]
//   p     order, at least 1
//   L     length of the frame behind r (the error power is divided by it)
//   a     out: p + 1 doubles, caller's: 1/sigma, then -alpha_k/sigma for k = 1..p
//   work  p + 1 doubles of scratch, caller's
// Returns 0, or -1 for p == 0 (nothing written).
int reclevinsondurbin(const double* r, uint32_t p, uint32_t L, double* a, double* work);
// Linear prediction of order p of the Hamming-windowed frame (length mem->L) around z.
//   x    in: the signal, n samples on the +-1 scale
//   n    samples in x
//   z    index of the frame's centre in x
//   p    order; 0 gives a[0] = 1 / RMS level of the frame
//   a    out: p + 1 doubles, caller's, as reclevinsondurbin writes them; a silent frame gives
//        a[0] = DBL_MAX and zeros
//   mem  record of nameminitializelpc(L, p)
// Returns 0.
int getnoiselpc(const double* x, uint32_t n, uint32_t z, uint32_t p, double* a, namem* mem);
// All-pole filtering in place with the coefficients a[0..p], zero initial state; returns 0.
int lpcfilter(double* x, uint32_t n, const double* a, uint32_t p);

}  // namespace velk
