#pragma once
// Warped cepstral analysis of speech frames (five envelope methods) and waveform synthesis from
// warped cepstra (harmonics below the maximum voiced frequency, shaped noise above, overlap-add).
// Built on harmonicanalysis, spectralanalysis, matvect, dft, windowing and polynom.
// A cepstral vector of order p holds c0..cp with ln A(w) = c0 + 2 sum_j c_j cos(j w~),
// w~ = fwarp(w, alpha). A cepstral matrix holds one such vector per frame.
#include <cmath>
#include <cstdint>

namespace velk {

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

// Warped cepstra of the N frames centred at first + k*shift with the given envelope method.
// Working storage is allocated once for the call.
//   x       in: the signal, n samples on the +-1 scale
//   n       samples in x
//   fs      sampling rate, Hz
//   shift   frame shift, samples
//   first   centre of frame 0, samples
//   N       frames
//   f0      in: N values, F0 in Hz, 0 or below for unvoiced frames (analysed as noise)
//   p       cepstral order
//   cc      out: N x (p+1) doubles, caller's: frame k's c0..cp at k*(p+1)
//   method  envelope method, one of CC_... above
//   alpha   all-pass warping factor, |alpha| < 1
// Returns 0, or -1 when memory runs out (cc then not written) or a transform fails (the FFT
// sizes are powers of two by construction).
int waveform2cc(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t N,
                const double* f0, uint32_t p, double* cc, uint8_t method, double alpha);
// The spectra's sizes follow the track's lowest F0, at most 60 Hz (ccanalysisfloor of the N
// values of f0). waveform2ccfloor takes that floor from the caller, so that a long signal may be
// analysed piece by piece with the sizes of the whole track: each frame's cepstrum comes from the
// samples around its centre alone.
double ccanalysisfloor(const double* f0, uint32_t N);
int waveform2ccfloor(const double* x, uint32_t n, double fs, uint32_t shift, uint32_t first, uint32_t N,
                     const double* f0, uint32_t p, double* cc, uint8_t method, double alpha, double f0min);

// Smallest FFT size of the analysis spectra at the sampling rate fs (Hz): 512 up to 8 kHz, doubled
// at every doubling of the rate (1024 to 16 kHz, 2048 to 32 kHz, 4096 to 64 kHz, 8192 to
// 128 kHz), 0 above; a low F0 floor may ask for more. The unwarped cepstrum of such a spectrum
// holds half as many coefficients.
uint32_t ccbasefftsize(double fs);

// Per-frame routines of the five methods, in the order of CC_...; an unvoiced frame, or one whose
// harmonic analysis fails, gets the cepstrum of its unvoiced spectrum.
//   x       in: the signal, n samples on the +-1 scale
//   n       samples in x
//   fs      sampling rate, Hz
//   centre  index of the frame's centre in x
//   f0      F0 of the frame, Hz, 0 or below for unvoiced
//   Nfft    FFT size of the spectra
//   work    2*Nfft doubles of scratch, caller's
//   p       cepstral order
//   cc      out: p+1 doubles, caller's
//   mem     record of ccmeminitialize for the method (with ccmemreserve for the two RDC methods)
//   alpha   all-pass warping factor, |alpha| < 1
// Each returns 0, or -1 when Nfft is not a power of two.
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

// New memory for the method, released with ccmemdestroy.
//   fs      sampling rate, Hz
//   f0min   lowest F0 the records must hold, Hz
//   Lnoise  frame length of the unvoiced spectra (naframesize), samples
//   Nfft    FFT size of the spectra
//   method  envelope method, one of CC_...
// Returns the memory, or null when storage runs out.
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
// Warps a cepstrum with the first-order all-pass recursion (alpha 0 copies and pads with zeros).
//   c        in: m+1 coefficients c[0..m]
//   m        order of c
//   d        out: p+1 doubles, caller's; not c
//   p        order of d
//   alpha    warping factor
//   scratch  p+1 doubles of scratch, caller's
// Returns 0, or -1 when |alpha| >= 1 (nothing written).
int ccwarp(const double* c, uint32_t m, double* d, uint32_t p, double alpha, double* scratch);
// Rows that evaluate a cepstrum at K frequencies: row k of R holds 1, 2cos(j w~) for j = 1..p, and
// of Q 0, -2sin(j w~), w~ the warped angle of harmonic k+1 of f0 or of freqs[k].
//   p      cepstral order
//   K      frequencies (rows)
//   f0     F0, Hz, used when freqs is null
//   freqs  in: K frequencies in Hz, or null for the harmonics of f0
//   fs     sampling rate, Hz
//   alpha  all-pass warping factor
//   R      out: K x (p+1) doubles, caller's, or null
//   Q      out: K x (p+1) doubles, caller's, or null
// Returns 0, or -1 when both R and Q are null.
int ccmatrixcreate(uint32_t p, uint32_t K, double f0, const double* freqs, double fs, double alpha, double* R,
                   double* Q);
// Values in a cepstral matrix of N frames of order p.
uint64_t getccsize(uint32_t N, uint32_t p);
// Analysis frames centred at first + k*shift inside n samples.
uint32_t getnumframes(uint32_t n, uint32_t shift, uint32_t first);

// Synthesises N frames, frame k centred at sample (k+1)*S: harmonics below the frame's maximum
// voiced frequency, noise shaped by the envelope above it, overlap-added. Frames with non-finite
// parameters are left silent. The noise is drawn from a generator seeded anew at every call, so
// one input always gives the same output.
//   out     out: outlen doubles, caller's; all of it written, (N+1)*S+1 samples of signal
//   outlen  length of out, at least getwaveformlength(S, N)
//   fs      sampling rate, Hz
//   S       synthesis frame shift, samples; 0 gives silence
//   N       frames
//   f0      in: N values, F0 in Hz, 0 for unvoiced
//   fv      in: N maximum voiced frequencies in Hz, or null to derive them from c0
//   alpha   all-pass warping factor of the cepstra
//   p       cepstral order
//   cc      in: N x (p+1) cepstra; c0 is changed and restored per frame
// Returns 0, or -1 when memory runs out or outlen is too short.
int cc2waveform(double* out, uint32_t outlen, double fs, uint32_t S, uint32_t N, const double* f0,
                const double* fv, double alpha, uint32_t p, double* cc);
// The same, noting in `silent` (N flags, caller's, or null) the frames left silent: 1 for a frame
// whose parameters are not finite or whose envelope or harmonics overflow (a cepstrum such as
// c0 = 1000), 0 for every other.
int cc2waveform(double* out, uint32_t outlen, double fs, uint32_t S, uint32_t N, const double* f0,
                const double* fv, double alpha, uint32_t p, double* cc, uint8_t* silent);
// The range of c0 that gives the cut-off of voiced frames when no maximum voiced frequency is
// given: the smallest c0 of all frames and the largest of the voiced ones (F0 above 0), frames
// with a value that is not finite left out. The cut-off of a voiced frame is then
// (c0 - cmin) * 4500 / (cmax - cmin) Hz, at least 1000 Hz (1000 Hz when cmax <= cmin).
struct c0range {
  double cmin = HUGE_VAL;
  double cmax = -HUGE_VAL;
};
// Takes one frame (F0 in Hz, cepstrum c of order p) into the range.
void c0rangeinclude(c0range* r, double f0, const double* c, uint32_t p);

// The synthesis of cc2waveform one frame at a time: a record made by ccsynthcreate and destroyed
// by ccsynthdestroy holds the working storage, the noise generator (seeded at creation) and the
// running phase, so that the frames given in order to ccsynthframe make the frames cc2waveform
// makes, bit for bit.
struct ccsynth;
// A record for synthesis at fs Hz with shift S (at least 1), order p and warping alpha; flow is
// the lowest F0 (Hz, from 10 up) of the frames to come, which sizes the harmonic matrices (10
// holds every F0). Null when S is 0 or memory runs out.
ccsynth* ccsynthcreate(double fs, uint32_t S, uint32_t p, double alpha, double flow);
void ccsynthdestroy(ccsynth* r);
// Synthesises the next frame. Returns 1 with *frame pointing at 2S samples (inside the record,
// valid until the next call) to overlap-add with triangular weights from S samples before the
// frame's centre; 0 for a silent frame (parameters not finite); -1 on failure.
//   f0     F0 in Hz, 0 unvoiced
//   c      in: p+1 cepstra; c0 is changed and restored
//   fv     in: the frame's maximum voiced frequency in Hz, or null to derive it from c0 and range
//   range  the c0 range over all frames, used when fv is null
int ccsynthframe(ccsynth* r, double f0, double* c, const double* fv, const c0range& range,
                 const double** frame);

// Dynamic range compression one frame at a time: drclevel gives a frame's level in dB (order p,
// cepstrum c; NaN for a frame that is not finite); drcadjust moves its c0 by the compression of
// strength gamma towards the loudest level of all frames. Together they are applycdrc16k042.
double drclevel(const double* c, uint32_t p);
void drcadjust(double* c, double level, double loudest, double gamma);

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
// Post-filter: sharpens the envelope by 1+beta away from the mean spectral direction.
//   cc            in/out: N x (p+1) cepstra
//   p             cepstral order
//   N             frames
//   beta          strength, 0 (nothing) to 1
//   framefactors  in: N factors scaling beta per frame (held in 0..1), or null for 1
// Returns 0.
int applycpostfilt16k042(double* cc, uint32_t p, uint32_t N, double beta, const double* framefactors);
// Dynamic range compression of the frame levels with strength gamma.
int applycdrc16k042(double* cc, uint32_t p, uint32_t N, double gamma);

}  // namespace velk
