#pragma once
// Framing utilities: windowed frame extraction, window shapes, frame-length rules,
// frame counts and overlap-add. Stateless; all buffers belong to the caller.
#include <cstdint>

// Cuts the 2a+1 samples around centre m of x (length n) into y, zeros beyond the signal,
// multiplied by w when w is not null; 1 if any sample is non-zero (or NaN), else 0.
int getwindowedsamples(const double* x, uint32_t n, uint32_t m, double* y, uint32_t a, const double* w);
// Symmetric Hamming window of length L; normalised (unit mean square) when normalise is non-zero.
int winhamming(double* w, uint32_t L, int normalise);
// Symmetric Hanning window of length L; normalised (unit mean square) when normalise is non-zero.
int winhanning(double* w, uint32_t L, int normalise);
// Sine-modulated companion u[i] = v[i]*sin(-2*pi*i/(L-1)) of window v.
int wincomplementary(const double* v, double* u, uint32_t L);
// Adds frame f into out with a triangular weight rising over start..centre and falling to end.
int olatriang(double* out, const double* f, uint32_t start, uint32_t centre, uint32_t end);
// Adds frame f into out with raised-cosine halves; out[centre] is set to the frame's centre value.
int olahann(double* out, const double* f, uint32_t start, uint32_t centre, uint32_t end);
// Number of analysis centres first + k*shift inside a signal of n samples.
uint32_t getnumanalysisframes(uint32_t n, uint32_t shift, uint32_t first);
// Output length shift*(M+1)+1 of M overlap-added synthesis frames.
uint32_t getolasynthesislength(uint32_t shift, uint32_t M);
// Smallest odd length not below ceil(p*fs/f0): p periods of f0 at sampling rate fs.
uint32_t getwinlengthnperiodsodd(double p, double f0, double fs);
// Smallest power of two not below L (1 for L <= 1).
uint32_t getwinlengthceilpot2(uint32_t L);
// Smallest odd length not below ceil(d*fs): a duration of d seconds at sampling rate fs.
uint32_t getwinlengthdurodd(double d, double fs);
