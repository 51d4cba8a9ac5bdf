#pragma once
// Harmonic and quasi-harmonic analysis of speech frames (least-squares fits of harmonic bases
// over a Hamming-windowed frame), harmonic synthesis and envelope tools, and linear-phase and
// polarity estimation from harmonic phases. Built on matvect (the solvers), windowing and polynom.
// Harmonic sets are arrays of K doubles, element k-1 for harmonic k; amplitudes are those of
// sinusoids on the signal's scale and phases are in radians at the frame centre.
#include <cstdint>
#include "dft.h"
#include "polynom.h"

namespace velk {

// Working storage of the harmonic analyses, sized once for the lowest f0 and the highest
// frequency to be analysed. One block holds every buffer; the pointers point into it.
struct hamem {
  uint8_t mode;        // 0: plain harmonic analysis only; 1: also quasi-harmonic and adapted
  uint32_t framesize;  // largest frame length N the buffers hold
  uint32_t noharms;    // largest number of harmonics K the buffers hold
  uint32_t rows;       // basis rows M: 2K+1 (mode 0) or 2(2K+1) (mode 1)
  double* block;       // the single allocation behind the pointers below
  double* window;      // N doubles: analysis window of the current call
  double* frame;       // N doubles: windowed frame (residual after the greedy solve)
  complex* basis;      // M rows of N complex values
  double* gram;        // Gram matrices of the current solve
  double* inverse;     // their inverses and the quasi-harmonic work matrices
  complex* rhs;        // M complex values at the start of the Gram area
  complex* solution;   // M complex values after rhs: entry K+k is harmonic k's coefficient
};

// Frame length of the harmonic analysis: 2.5 periods, odd.
uint32_t haframesize(double fs, double f0);
// Frame length of the quasi-harmonic analysis: 3 periods, odd.
uint32_t qhaframesize(double fs, double f0);
// Frame length of the adapted-frequency fit: 2.5 periods, odd.
uint32_t sqhaframesize(double fs, double f0);
// Number of harmonics of f0 strictly below min(fmax, fs/2); 0 when f0 >= fmax or f0 >= fs/2.
uint32_t hanoharms(double fs, double fmax, double f0);

// New record for mode 0 (harmonic) or 1 (all three analyses), lowest f0 and highest fmax.
hamem* haqhameminitialize(uint8_t mode, double fs, double fmax, double f0);
// Record of mode 0 (harmonic analysis).
hamem* hameminitialize(double fs, double fmax, double f0);
// Record of mode 1 (quasi-harmonic analysis).
hamem* qhameminitialize(double fs, double fmax, double f0);
// Record of mode 1 (adapted-frequency analysis).
hamem* sqhameminitialize(double fs, double fmax, double f0);
// Frees the record and its block; returns 0.
int hamemdestroy(hamem* mem);
int qhamemdestroy(hamem* mem);
int sqhamemdestroy(hamem* mem);

// Basis rows of the three analyses, each row N windowed complex exponentials centred on the
// frame's middle sample.
//   basis   out: the rows, N complex values each, in a record's basis area (or the caller's)
//   N       frame length, odd
//   K       harmonics
//   f0      F0 in Hz (hamatrixcreate, qhamatrixcreate)
//   freqs   in: K harmonic frequencies in Hz, harmonic 1 first (sqhamatrixcreate)
//   fs      sampling rate, Hz
//   window  in: N doubles, the analysis window
// hamatrixcreate fills the 2K+1 harmonic rows (harmonic K first, the constant row at K) and
// returns 0.
int hamatrixcreate(complex* basis, uint32_t N, uint32_t K, double f0, double fs, const double* window);
// qhamatrixcreate fills those rows and 2K+1 ramp rows after them, and returns the ramp scale sigma.
double qhamatrixcreate(complex* basis, uint32_t N, uint32_t K, double f0, double fs, const double* window);
// sqhamatrixcreate fills 2K+1 rows at the given frequencies and returns 0.
int sqhamatrixcreate(complex* basis, uint32_t N, uint32_t K, const double* freqs, double fs,
                     const double* window);
// Least-squares solve over the M = 2K+1 plain rows (Toeplitz path when toeplitz is 1); 0 or -1.
int hasqhalscsolve(hamem* mem, uint32_t N, uint32_t M, uint8_t toeplitz);
// Quasi-harmonic least-squares solve over M = 4K+2 rows (amplitudes and slopes); 0 or -1.
int qhalscsolve(hamem* mem, uint32_t N, uint32_t M, double sigma);
// Greedy harmonic-by-harmonic solve over M = 2K+1 plain rows; leaves the residual in the frame; 0 or -1.
int hasqhaabssolve(hamem* mem, uint32_t N, uint32_t M);

// The three analyses of the frame centred at `centre`: harmonic (2.5 periods), quasi-harmonic
// (3 periods, amplitudes and slopes) and adapted-frequency (quasi-harmonic frequencies, then a
// harmonic fit at them over 2.5 periods).
//   x       in: the signal, n samples on the +-1 scale
//   n       samples in x
//   fs      sampling rate, Hz
//   centre  index of the frame's centre in x, below n
//   f0      F0 of the frame, Hz, finite and above 0
//   K       harmonics, at least 1 (hanoharms gives the number below a frequency)
//   amps    out: K amplitudes, caller's, or null
//   phases  out: K phases in radians, caller's, or null
//   freqs   out: K frequencies in Hz, caller's, or null: the quasi-harmonic estimates, k*f0 where
//           a harmonic's mismatch is undefined or half f0 or more
//   mem     in/out: record of mode 0 (getharmonics) or 1 (the others) large enough for the frame
//           and K; after the call its solution area holds the fitted coefficients
// Each returns 0, or -1 for an invalid f0, K = 0, a record too small, a silent frame or a centre
// outside the signal, or a singular solve (the outputs then not written).
int getharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K, double* amps,
                 double* phases, hamem* mem);
int getqharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K,
                  double* amps, double* phases, double* freqs, hamem* mem);
int getsqharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K,
                   double* amps, double* phases, double* freqs, hamem* mem);

// One quasi-harmonic refinement step of f0: the mean of f0 + mismatch_k / k over the harmonics
// below fmax, weighted by the square root of their amplitudes.
//   x       in: the signal, n samples on the +-1 scale
//   n       samples in x
//   fs      sampling rate, Hz
//   centre  index of the frame's centre in x
//   f0      current F0, Hz
//   fmax    highest frequency of the harmonics used, Hz
//   mem     record of mode 1 large enough for the frame
// Returns the new F0 in Hz: 0 for f0 = 0, f0 itself when the analysis fails or gives no weight.
double qharefinepitch(const double* x, uint32_t n, double fs, uint32_t centre, double f0, double fmax,
                      hamem* mem);

// Adds K harmonics of f0 to a synthesis buffer whose centre is index `before`.
//   buf       in/out: before+after samples, caller's
//   before    samples before the centre
//   after     samples from the centre on
//   fs        sampling rate, Hz
//   f0        F0, Hz
//   K         harmonics
//   amps      in: K amplitudes; a zero amplitude adds nothing
//   phases    in: K phases in radians at the centre, added to k*psi
//   psi       phase of the fundamental at the centre, radians
//   noisemod  1: first modulate the buffer (noise) with the pitch period, otherwise not
// Returns 0.
int genharmonics(double* buf, uint32_t before, uint32_t after, double fs, double f0, uint32_t K,
                 const double* amps, const double* phases, double psi, uint8_t noisemod);
// Maximally smooth cubic phase track over M samples between a start and an end phase and phase
// step, the end phase taken modulo 2 pi as the smoothness asks.
//   phis, phie      phases at samples 0 and M, radians
//   omegas, omegae  phase steps at samples 0 and M, radians per sample
//   M               length of the segment, samples; 0 gives a linear track
//   p               out: 4 coefficients, caller's, highest power first, in the sample offset
// Returns 0.
int polymcaq(double phis, double phie, double omegas, double omegae, uint32_t M, double* p);
// Subtracts from signal[start..end-1] the harmonics interpolated between a frame at `start` and
// one at `end`: amplitudes linearly, phases along the cubic of polymcaq; a harmonic present in one
// frame only fades in or out at its frame's frequency.
//   signal            in/out: at least end samples
//   fs                sampling rate, Hz
//   start, end        sample indices of the two frames
//   f0s, f0e          F0 of the two frames, Hz
//   K0, K1            harmonics of the two frames
//   amps0, phases0    in: K0 amplitudes and phases (radians) of the start frame
//   amps1, phases1    in: K1 amplitudes and phases of the end frame
// Returns 0.
int subtharmonicsmcaq(double* signal, double fs, uint32_t start, uint32_t end, double f0s, double f0e,
                      uint32_t K0, uint32_t K1, const double* amps0, const double* amps1,
                      const double* phases0, const double* phases1);
// Resamples a piecewise-linear envelope onto D points.
//   ds   step of the source grid, Hz, finite and above 0
//   src  in: S values, src[i] at (i+1)*ds; below ds the envelope is src[0]
//   S    source points, at least 1
//   dd   step of the destination grid, Hz
//   dst  out: D values, caller's, dst[j] at (j+1)*dd; beyond the last source point src[S-1]
//   D    destination points, at least 1
// Returns 0, or -1 for S or D = 0 or an invalid ds.
int resamplelogampenv(double ds, const double* src, uint32_t S, double dd, double* dst, uint32_t D);
// Resamples harmonic amplitudes (interpolated geometrically) and optional phases (through the
// complex values) onto D destination frequencies.
//   ds         step of the source grid, Hz (f0 for harmonics), finite and above 0
//   srcamps    in: S amplitudes, element i at (i+1)*ds
//   srcphases  in: S phases in radians, or null for amplitudes only
//   S          source points, at least 1
//   dd         step of the destination grid, Hz, used when dstfreqs is null
//   dstfreqs   in: D destination frequencies in Hz, or null for (j+1)*dd
//   dstamps    out: D amplitudes, caller's
//   dstphases  out: D phases, caller's; written only when srcphases is given
//   D          destination points, at least 1
// Returns 0, or -1 for S or D = 0 or an invalid ds.
int resampleharmonicenv(double ds, const double* srcamps, const double* srcphases, uint32_t S, double dd,
                        const double* dstfreqs, double* dstamps, double* dstphases, uint32_t D);
// Smooth even log-amplitude spectrum built from the frame's harmonics: each harmonic's log
// amplitude spread over +-4 f0 with a smooth kernel.
//   x        in: the signal, n samples on the +-1 scale
//   n        samples in x
//   fs       sampling rate, Hz
//   centre   index of the frame's centre in x
//   f0       F0 of the frame, Hz
//   N        FFT size of the spectrum, at least 2
//   out      out: N doubles, caller's: natural log of amplitude, bin N-k equal to bin k
//   mem      record of mode 0 (or 1 with adapted) large enough for every harmonic below fs/2
//   adapted  non-zero: adapted-frequency analysis (getsqharmonics), else getharmonics
// Returns 0, or -1 for N < 2, a null out or a failed analysis.
int getlogspectrumfromharms(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t N,
                            double* out, hamem* mem, uint8_t adapted);
// Sum of the squared amplitudes.
double getharmonicenergy(uint32_t K, const double* amps);
// Applies a spectral tilt of vocal effort v: harmonic k scaled by (k f0)^(0.05 v).
//   K          harmonics; 0 does nothing
//   values     in/out: K amplitudes, linear or natural-log
//   v          effort; 0 keeps the amplitudes
//   f0         F0, Hz; an invalid F0 does nothing
//   normalise  non-zero: restore the energy the amplitudes had
//   logamps    non-zero: values are log amplitudes
// Returns 0.
int modvocaleffort(uint32_t K, double* values, double v, double f0, uint8_t normalise, uint8_t logamps);
// Blends an envelope with the harmonic amplitudes resampled onto its grid, then scales the result
// to the blend of the two energies.
//   de       step of the envelope grid, Hz; point i at (i+1)*de
//   env      in/out: D envelope amplitudes
//   unused1  accepted for interface compatibility, never read
//   D        envelope points, at least 1
//   f0       F0, Hz: the harmonics' grid step
//   amps     in: K harmonic amplitudes
//   unused2  accepted for interface compatibility, never read
//   K        harmonics, at least 1
//   alpha    weight of the envelope, 0..1; 1 - alpha weighs the harmonics
// Returns 0, or -1 for D or K = 0 or when storage runs out.
int fuseenvelopes(double de, double* env, const double* unused1, uint32_t D, double f0, const double* amps,
                  const double* unused2, uint32_t K, double alpha);
// Emphasises formant peaks of the amplitudes with strength gamma, keeping the energy; returns 0.
int harmonicpostfilter(uint32_t K, double* amps, double theta, double gamma);

// Linear-phase term given directly: *value when flag is not 0, else 0.
double getlinphasecgrav(int flag, const double* value);
// Linear-phase term from phase differences of neighbouring harmonics (p: squared magnitudes).
double getlinphasechazan(uint32_t K, const double* p, const double* phases);
// Chebyshev table for getlinphase with up to N harmonics.
mempolytseb* memgetlinphasecreate(uint32_t N);
// Frees a table of memgetlinphasecreate; returns 0.
int memgetlinphasedestroy(mempolytseb* table);
// Linear-phase term maximising the coherence sum of a_k cos(phi_k - k tau); 0 when none is found.
double getlinphase(uint32_t K, const double* amps, const double* phases, const mempolytseb* table);
// Fundamental's phase-advance correction for a segment of M1 samples stretched to M2 whose end
// frequencies are scaled by ra and rb.
//   omegaa, omegab  phase steps at the segment's two ends, radians per sample
//   M1              original length, samples
//   ra, rb          factors of the two end frequencies
//   M2              new length, samples
// Returns the correction in radians; 0 when nothing is scaled.
double modlinphase(double omegaa, double omegab, int M1, double ra, double rb, int M2);
// Phase-advance correction of the cubic phase track between phases phia and phib, for a segment
// of M1 samples stretched to M2 with end frequencies scaled by ra and rb.
//   phia, phib      phases at the segment's two ends, radians
//   omegaa, omegab  phase steps at the two ends, radians per sample
//   M1              original length, samples; 0 gives 0
//   ra, rb          factors of the two end frequencies
//   M2              new length, samples
// Returns the correction in radians; 0 when nothing is scaled.
double modlinphaseobr(double phia, double phib, double omegaa, double omegab, int M1, double ra, double rb,
                      int M2);
// Polarity from the phase intercept of the first two harmonics: 1, -1 or 0.
int phasecutpolarity(const double* phases, uint32_t K);
// Polarity from the smoothness of the relative phase shifts: 1 or -1; 0 for K < 2.
int rpspolarity(const double* phases, uint32_t K);

}  // namespace velk
