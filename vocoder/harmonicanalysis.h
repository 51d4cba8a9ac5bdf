#pragma once
// Harmonic and quasi-harmonic analysis of speech frames, harmonic synthesis and
// envelope tools, and linear-phase and polarity estimation from harmonic phases.
// Harmonic sets are arrays of K doubles, element k-1 for harmonic k; phases are in
// radians at the frame centre.
#include <cstdint>
#include "dft.h"
#include "polynom.h"

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

// Fills the 2K+1 windowed harmonic rows (harmonic K first, constant row K); returns 0.
int hamatrixcreate(complex* basis, uint32_t N, uint32_t K, double f0, double fs, const double* window);
// Fills the plain rows and the ramp rows after them; returns the ramp scale sigma.
double qhamatrixcreate(complex* basis, uint32_t N, uint32_t K, double f0, double fs, const double* window);
// Fills 2K+1 rows at the given harmonic frequencies (K values in Hz, harmonic 1 first); returns 0.
int sqhamatrixcreate(complex* basis, uint32_t N, uint32_t K, const double* freqs, double fs,
                     const double* window);
// Least-squares solve over the M = 2K+1 plain rows (Toeplitz path when toeplitz is 1); 0 or -1.
int hasqhalscsolve(hamem* mem, uint32_t N, uint32_t M, uint8_t toeplitz);
// Quasi-harmonic least-squares solve over M = 4K+2 rows (amplitudes and slopes); 0 or -1.
int qhalscsolve(hamem* mem, uint32_t N, uint32_t M, double sigma);
// Greedy harmonic-by-harmonic solve over M = 2K+1 plain rows; leaves the residual in the frame; 0 or -1.
int hasqhaabssolve(hamem* mem, uint32_t N, uint32_t M);

// Amplitudes and phases of K harmonics of f0 in the frame centred at `centre`; 0 or -1.
int getharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K, double* amps,
                 double* phases, hamem* mem);
// Quasi-harmonic analysis: amplitudes, phases and per-harmonic frequency estimates; 0 or -1.
int getqharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K,
                  double* amps, double* phases, double* freqs, hamem* mem);
// Amplitudes and phases fitted at frequencies first estimated by quasi-harmonic analysis; 0 or -1.
int getsqharmonics(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t K,
                   double* amps, double* phases, double* freqs, hamem* mem);
// One quasi-harmonic refinement step of f0 using the harmonics below fmax; returns the new f0.
double qharefinepitch(const double* x, uint32_t n, double fs, uint32_t centre, double f0, double fmax,
                      hamem* mem);

// Adds K harmonics of f0 to buf[0..before+after-1] (centre at index `before`, fundamental phase
// psi there); with noisemod 1 the buffer is first modulated with the pitch period; returns 0.
int genharmonics(double* buf, uint32_t before, uint32_t after, double fs, double f0, uint32_t K,
                 const double* amps, const double* phases, double psi, uint8_t noisemod);
// Maximally smooth cubic phase over M samples between two phases and steps; p gets 4
// coefficients, highest power first; returns 0.
int polymcaq(double phis, double phie, double omegas, double omegae, uint32_t M, double* p);
// Subtracts the harmonics interpolated between two frames from signal[start..end-1]; returns 0.
int subtharmonicsmcaq(double* signal, double fs, uint32_t start, uint32_t end, double f0s, double f0e,
                      uint32_t K0, uint32_t K1, const double* amps0, const double* amps1,
                      const double* phases0, const double* phases1);
// Resamples a piecewise-linear envelope (S values at steps ds) onto D points at steps dd; 0 or -1.
int resamplelogampenv(double ds, const double* src, uint32_t S, double dd, double* dst, uint32_t D);
// Resamples harmonic amplitudes (log-domain) and optional phases onto D destination frequencies
// (dstfreqs, or steps dd when null); 0 or -1.
int resampleharmonicenv(double ds, const double* srcamps, const double* srcphases, uint32_t S, double dd,
                        const double* dstfreqs, double* dstamps, double* dstphases, uint32_t D);
// Smooth even log spectrum of N bins built from the frame's harmonics; 0 or -1.
int getlogspectrumfromharms(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t N,
                            double* out, hamem* mem, uint8_t adapted);
// Sum of the squared amplitudes.
double getharmonicenergy(uint32_t K, const double* amps);
// Applies a spectral tilt of effort v to linear or log amplitudes, optionally keeping the energy; 0.
int modvocaleffort(uint32_t K, double* values, double v, double f0, uint8_t normalise, uint8_t logamps);
// Blends an envelope on a grid of step de with harmonic amplitudes of f0 by factor alpha; 0 or -1.
// The two unused pointers are accepted for interface compatibility and never read.
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
// Fundamental's phase-advance correction for scaled end frequencies and a stretched segment.
double modlinphase(double omegaa, double omegab, int M1, double ra, double rb, int M2);
// Phase-advance correction of the cubic phase track between phases phia and phib.
double modlinphaseobr(double phia, double phib, double omegaa, double omegab, int M1, double ra, double rb,
                      int M2);
// Polarity from the phase intercept of the first two harmonics: 1, -1 or 0.
int phasecutpolarity(const double* phases, uint32_t K);
// Polarity from the smoothness of the relative phase shifts: 1 or -1; 0 for K < 2.
int rpspolarity(const double* phases, uint32_t K);
