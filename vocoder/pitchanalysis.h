#pragma once
// F0 estimation (normalised autocorrelation and dynamic programming), refinement, and log-F0 tools.
#include <cstdint>

#include "dft.h"

// F0 track of n frames centred at p0 + i*hop (Hz, 0 unvoiced) within [f0min, f0max]; returns 0,
// or -1 when a transform fails (the FFT sizes are powers of two by construction).
int getpitch(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
             double f0min, double f0max, double* f0);
// Sets short voiced islands that jump away from the long runs' F0 range to 0, in place; returns 0.
int elimislands(uint32_t n, double* f0, double fs, uint32_t hop);
// Refines voiced F0 values by quasi-harmonic analysis, at most `iterations` steps per frame;
// fv gives per-frame maximum voiced frequencies or is null (4500 Hz). Returns 0.
int refinepitch(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
                double f0min, double f0max, uint32_t iterations, double* f0, const double* fv);
// In place: real parts become N times the circular autocorrelation, imaginary parts 0 up to
// rounding; returns 0, or -1 when N is not a power of two.
int autocorrelation(uint32_t N, complex* x);
// In place, two real frames at once: z holds frame a in its real parts and frame b in its
// imaginary parts; on return the real parts hold N times the circular autocorrelation of a and
// the imaginary parts that of b, each equal to autocorrelation() up to rounding. One forward
// and one inverse transform serve both frames. Returns 0, or -1 when N is not a power of two.
int autocorrelationpair(uint32_t N, complex* z);
// Band-pass (55 Hz .. 3 kHz) filtered copy of the signal, or null when memory runs out; release
// it with free().
double* applyfftfilter(const double* x, uint32_t nsamples, double fs);
// Signal upsampled by an integer factor (nsamples*factor samples); release it with free().
double* upsampling(const double* x, uint32_t nsamples, double fs, uint32_t factor);
// In place: F0 > 0 becomes ln F0, anything else -1e10; returns 0.
int f02logf0(uint32_t n, double* track);
// In place: values above -1e10 become exp(value), anything else 0; returns 0.
int logf02f0(uint32_t n, double* track);
// Adds shift to every voiced log-F0 value; returns 0.
int shiftlogpitch(uint32_t n, double* logf0, double shift);
// Scales voiced log-F0 values about their mean by factor; returns 0.
int scalelogpitchrange(uint32_t n, double* logf0, double factor);
