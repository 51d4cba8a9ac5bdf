#pragma once
// Framing utilities: windowed frame extraction, window shapes, frame-length rules, frame counts
// and overlap-add, the framing every analysis and synthesis routine shares. Built on nothing but
// the C math library; stateless, and every buffer belongs to the caller.
#include <cstdint>

namespace velk {

// Cuts the 2a+1 samples around centre m of x into y, zeros beyond the signal, multiplied by w
// when w is not null.
//   x  in: the signal, n samples
//   n  samples in x
//   m  index in x of the frame's centre, below n
//   y  out: 2a+1 doubles, caller's; y[a] is x[m]
//   a  half length of the frame in samples
//   w  in: window of 2a+1 doubles, or null for none
// Returns 1 if any sample of the frame is non-zero (or NaN), else 0.
int getwindowedsamples(const double* x, uint32_t n, uint32_t m, double* y, uint32_t a, const double* w);
// Symmetric Hamming window of length L; normalised (unit mean square) when normalise is non-zero.
int winhamming(double* w, uint32_t L, int normalise);
// Symmetric Hanning window of length L; normalised (unit mean square) when normalise is non-zero.
int winhanning(double* w, uint32_t L, int normalise);
// Sine-modulated companion u[i] = v[i]*sin(-2*pi*i/(L-1)) of window v.
int wincomplementary(const double* v, double* u, uint32_t L);
// Adds frame f into out with a triangular weight rising over start..centre and falling to end.
//   out     in/out: the output signal, at least end samples, caller's
//   f       in: the frame, end - start samples; f[0] goes to out[start]
//   start   first output index of the frame (weight 0)
//   centre  output index of weight 1, start <= centre < end
//   end     one past the frame's last output index
// Returns 0.
int olatriang(double* out, const double* f, uint32_t start, uint32_t centre, uint32_t end);
// Adds frame f into out with raised-cosine halves; out[centre] is set to the frame's centre value.
//   out     in/out: the output signal, at least end samples, caller's
//   f       in: the frame, end - start samples; f[0] goes to out[start]
//   start   first output index of the frame
//   centre  output index of the frame's centre, start <= centre < end
//   end     one past the frame's last output index
// Returns 0.
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

}  // namespace velk
