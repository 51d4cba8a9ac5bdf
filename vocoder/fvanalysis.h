#pragma once
// Maximum voiced frequency per analysis frame, from the sinusoidal likeness of the
// harmonic peaks of a pitch-adapted spectrum; median and weighted track smoothing.
#include <cstdint>
#include "dft.h"

// Maximum voiced frequency in Hz of each frame centred at first + p*shift (0 for f0 = 0),
// median-filtered over 5 frames, into out; returns 0, or -1 when a transform fails (the FFT sizes
// are powers of two by construction).
int getfvoicing(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t frames,
                const double* f0, double* out);
// Normalised correlation (0..1) of bins k0-hw..k0+hw of spectrum X (N points) with the spectrum
// of one stationary sinusoid at phi Hz seen through a Hann window of length Lw.
double slm(const complex* X, uint32_t N, double fs, double phi, uint32_t Lw, uint32_t k0, uint32_t hw);
// Running median of odd length (L rounded up to odd) in place; the first and last L/2 values,
// and arrays shorter than the filter, are left unchanged; returns 0.
int medianfilt(double* v, uint32_t n, uint32_t L);
// Gain-weighted moving average of a frequency track over L values in place; zeros stay 0; returns 0.
int wsmooth(double* v, uint32_t n, uint32_t L);
