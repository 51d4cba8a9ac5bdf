#pragma once
// Maximum voiced frequency per analysis frame, from the sinusoidal likeness of the harmonic peaks
// of a pitch-adapted spectrum; median and weighted track smoothing. Built on dft, windowing,
// polynom (peak parabolas) and matvect.
#include <cstdint>
#include "dft.h"

namespace velk {

// Maximum voiced frequency of each frame centred at first + p*shift, p < frames, median-filtered
// over 5 frames.
//   x       in: the signal, n samples on the +-1 scale
//   n       samples in x
//   fs      sampling rate, Hz
//   shift   frame shift, samples
//   first   centre of frame 0, samples
//   frames  frames
//   f0      in: frames values, F0 in Hz; 0, below or not finite for unvoiced frames
//   out     out: frames doubles, caller's: Hz, at least 1000 in voiced frames, 0 in unvoiced
//           ones (before the median filter)
// Returns 0, or -1 when a transform fails (the FFT sizes are powers of two by construction).
int getfvoicing(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t frames,
                const double* f0, double* out);
// Its two steps: the frames' values before the median filter (each frame's from the samples around
// its centre alone, so that a long signal may be analysed piece by piece), and the filter over the
// whole track (in place; returns 0).
int getfvoicingraw(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t frames,
                   const double* f0, double* out);
int fvmediansmooth(double* fv, uint32_t frames);
// Frames the median of the voiced frequencies spans.
const uint32_t fvmedianlength = 5;
// Sinusoidal likeness of a spectral peak: the normalised correlation of bins k0-hw..k0+hw of X
// with the spectrum of one stationary sinusoid at phi Hz seen through a Hann window.
//   X    in: N bins of a spectrum
//   N    FFT size
//   fs   sampling rate, Hz
//   phi  frequency of the sinusoid, Hz
//   Lw   length of the Hann window behind X, samples
//   k0   centre bin, hw <= k0 and k0 + hw < N
//   hw   half width of the compared band, bins
// Returns the correlation, 0..1.
double slm(const complex* X, uint32_t N, double fs, double phi, uint32_t Lw, uint32_t k0, uint32_t hw);
// Running median of odd length (L rounded up to odd) in place; the first and last L/2 values,
// and arrays shorter than the filter, are left unchanged; returns 0.
int medianfilt(double* v, uint32_t n, uint32_t L);
// Gain-weighted moving average of a frequency track over L values in place; zeros stay 0; returns 0.
int wsmooth(double* v, uint32_t n, uint32_t L);

}  // namespace velk
