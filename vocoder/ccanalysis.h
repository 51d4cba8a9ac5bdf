#pragma once
// Warped cepstral analysis of speech frames and waveform synthesis from warped cepstra.
// A cepstral vector of order p holds c0..cp with ln A(w) = c0 + 2 sum_j c_j cos(j w~),
// w~ = fwarp(w, alpha). A cepstral matrix holds one such vector per frame.
#include <cstdint>

struct hamem;
struct namem;

// Memory of the cepstral analysis: the harmonic record of the method (none for the
// spectrum-based methods 3 and 4), the spectral record, a scratch area for the regularised
// discrete cepstrum (matrix rows followed by the least-squares work area), and optionally the
// frequency-warping table of ccmemsetwarp.
struct ccmem {
  hamem* ha;
  namem* na;
  double* scratch;
  uint64_t scratchsize;  // doubles in scratch
  double* warp;          // warprows x (warporder+1): row i is the warped cepstrum of a unit c_i
  uint32_t warprows;
  uint32_t warporder;
  double warpalpha;
};

// Envelope methods of waveform2cc.
enum : uint8_t {
  CC_HARM_MCEP = 0,   // harmonics + interpolation + mcep
  CC_HARM_RDC = 1,    // harmonics + regularised discrete cepstrum
  CC_QHARM_RDC = 2,   // adapted-frequency harmonics + regularised discrete cepstrum
  CC_WWC_MCEP = 3,    // complementary windows + liftering + mcep
  CC_SEEVOC_MCEP = 4  // SEEVOC envelope + mcep
};

// Warped cepstra of the N frames centred at first + k*shift (F0 in Hz, 0 or below for
// unvoiced) into cc (N x (p+1)) with the given method; returns 0, or -1 when memory runs out
// (or a transform fails; the FFT sizes are powers of two by construction).
int waveform2cc(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t N,
                const double* f0, uint32_t p, double* cc, uint8_t method, double alpha);

// Per-frame routines of the five methods. work holds 2*Nfft doubles; cc gets p+1 values. Return 0,
// or -1 when Nfft is not a power of two.
int getharmmcep(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
                double* work, uint32_t p, double* cc, ccmem* mem, double alpha);
int getharmrdc(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
               double* work, uint32_t p, double* cc, ccmem* mem, double alpha);
int getqharmrdc(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
                double* work, uint32_t p, double* cc, ccmem* mem, double alpha);
int getwwcmcep(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
               double* work, uint32_t p, double* cc, ccmem* mem, double alpha);
int getseemcep(const double* x, uint32_t n, double fs, uint32_t centre, double f0, uint32_t Nfft,
               double* work, uint32_t p, double* cc, ccmem* mem, double alpha);

// New memory for the method, sized for the lowest F0, noise frame length and FFT size; null on failure.
ccmem* ccmeminitialize(double fs, double f0min, uint32_t Lnoise, uint32_t Nfft, uint8_t method);
// Makes the scratch area hold K matrix rows of order p and the least-squares work; 0 or -1.
int ccmemreserve(ccmem* mem, uint32_t K, uint32_t p);
// Tabulates the warping of cepstra c[0..m] to order p with factor alpha, so that the per-frame
// routines warp by one matrix product instead of the m+1 steps of the all-pass recursion.
// Returns 0, or -1 when |alpha| >= 1 or memory runs out (the routines then use the recursion).
int ccmemsetwarp(ccmem* mem, uint32_t m, uint32_t p, double alpha);
// Destroys the records present and the memory itself; returns 0.
int ccmemdestroy(ccmem* mem);

// Angle w (radians) warped by the first-order all-pass of factor alpha.
double fwarp(double w, double alpha);
// Warps the cepstrum c[0..m] into d[0..p] with factor alpha; scratch holds p+1 doubles.
// Returns 0, or -1 when |alpha| >= 1 (nothing written).
int ccwarp(const double* c, uint32_t m, double* d, uint32_t p, double alpha, double* scratch);
// K rows of cosines R (K x (p+1)) and/or sines Q at the harmonics of f0, or at freqs (Hz) when
// given, warped with alpha. Returns 0, or -1 when both R and Q are null.
int ccmatrixcreate(uint32_t p, uint32_t K, double f0, const double* freqs, double fs, double alpha, double* R,
                   double* Q);
// Values in a cepstral matrix of N frames of order p.
uint64_t getccsize(uint32_t N, uint32_t p);
// Analysis frames centred at first + k*shift inside n samples.
uint32_t getnumframes(uint32_t n, uint32_t shift, uint32_t first);

// Synthesises (N+1)*S+1 samples into out (length outlen) from F0 (Hz), an optional maximum
// voiced frequency track fv (Hz, or null) and the cepstral matrix cc (N x (p+1), c0 is touched
// and restored per frame). Frames with non-finite parameters are left silent. Returns 0, or -1
// when memory runs out or outlen is too short.
int cc2waveform(double* out, uint32_t outlen, double fs, uint32_t S, uint32_t N, const double* f0,
                const double* fv, double alpha, uint32_t p, double* cc);
// Output length (N+1)*S+1 of N synthesis frames with shift S.
uint32_t getwaveformlength(uint32_t S, uint32_t N);
// Lowers the log envelope e (K points at (k+1)*delta Hz) below the cut-off fv: -32 dB at 0 Hz,
// -20 dB at 0.8 fv, 0 dB at fv. Returns 0.
int applyhpfilterlog(uint32_t K, double delta, double* e, double fv);
// Weakens the amplitudes of harmonics k*delta below fv by the complement of applyhpfilterlog,
// so that noise power plus harmonic power stays constant. Returns 0.
int applyantihpfilter(uint32_t K, double delta, double* a, double fv);
// Adds the phase of the fixed glottal excitation model to K harmonic phases of f0. Returns 0.
int applyexcphase(uint32_t K, double f0, double fs, double* phases);

// Cepstral filters for 16 kHz and alpha 0.42, applied in place to N frames of order p.
// Loudness: adds factor times the loudness cepstrum.
int applycloudfilt16k042(double* cc, uint32_t p, uint32_t N, double factor);
// Post-filter: sharpens the envelope by 1+beta away from the mean spectral direction; optional
// per-frame factors in 0..1 scale beta.
int applycpostfilt16k042(double* cc, uint32_t p, uint32_t N, double beta, const double* framefactors);
// Dynamic range compression of the frame levels with strength gamma.
int applycdrc16k042(double* cc, uint32_t p, uint32_t N, double gamma);
