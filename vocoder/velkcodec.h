#pragma once
// The vocoder's whole-signal pipelines: a signal at any rate from 8 to 48 kHz into its three
// parameter streams (F0, warped cepstra, maximum voiced frequency) and the streams, optionally
// modified, back into samples, with the settings' defaults at each rate. Built on the signal model (pitch,
// voicing, cepstral analysis and synthesis); the programs and the Python module read and write the files or
// arrays and call these.
//
// Every array is allocated by the caller; no routine prints, keeps state between calls or
// allocates per frame. Signals are doubles on the +-1 scale (a 16-bit sample s is s / 32768).
#include <cmath>
#include <cstdint>

#include "constants.h"

namespace velk {

// The default sampling rate of the analysis and synthesis, in Hz, and their range of rates.
const double velksamplingrate = kSamplingRate;
const uint32_t velkratelowest = kLowestSamplingRate;
const uint32_t velkratehighest = kHighestSamplingRate;

// The defaults that depend on the sampling rate fs (Hz), for every rate of the range:
// The frame shift of 5 ms: fs / 200 rounded to the nearest sample, halves down (80 at 16 kHz,
// 110 at 22.05 kHz, 220 at 44.1 kHz, 240 at 48 kHz).
uint32_t defaultlframe(uint32_t fs);
// The all-pass factor that best approximates the mel scale at fs: the alpha minimising the
// squared difference between the warped angle and the mel scale m(f) = ln(1 + f / 1000), both
// mapped onto 0..pi over 0..fs/2, on 1001 points evenly spaced in mel; rounded to two decimals
// (0.42 at 16 kHz, 0.47 at 22.05 kHz, 0.57 at 44.1 kHz, 0.58 at 48 kHz).
double defaultalpha(uint32_t fs);
// Squared-error sum of that fit for the factor alpha at fs (what defaultalpha minimises).
double melfiterror(uint32_t fs, double alpha);
// The cepstral order: 39 up to 16 kHz, 49 above (measured on copy synthesis; see the definition).
uint32_t defaultccord(uint32_t fs);
// The highest cepstral order at fs: one below half the base FFT size (511 at 16 kHz, 1023 at
// 22.05 to 32 kHz, 2047 at 44.1 and 48 kHz); beyond it the spectra hold nothing more.
uint32_t ccordhighest(uint32_t fs);
// Whether the analysis and synthesis work at fs: from velkratelowest to velkratehighest.
bool ratesupported(double fs);

// Analysis settings, defaults equal to the encoder's at 16 kHz (encodedefaults gives them at
// another rate).
struct encodesettings {
  uint32_t fs = kSamplingRate;  // sampling rate of the signal, Hz
  uint32_t lframe = 80;         // frame shift in samples, at least 1
  uint32_t ccord = 39;          // cepstral order
  uint8_t ccmeth = 1;           // envelope method (CC_... of ccanalysis.h)
  double alpha = 0.42;          // all-pass warping factor, |alpha| < 1
  double f0min = 60.0;          // pitch search range in Hz
  double f0max = 500.0;
  uint32_t f0acc = 0;     // pitch refinement iterations
  uint32_t zfill = 160;   // runs of more equal samples than this are dithered; 0: never
  bool morvscale = true;  // range-adapt the cepstra for a statistical synthesiser
};

// The analysis defaults at the rate fs: lframe, alpha and ccord as above, the rest as at 16 kHz.
encodesettings encodedefaults(uint32_t fs);

// Bounds of the analysis settings, beyond which the work explodes or means nothing: the pitch
// floor sizes the tracker's frames and transforms (3 periods of it), so a floor of 0.001 Hz
// would ask for gigabytes; a ceiling at or above half the sampling rate names no harmonic; the
// cepstral solvers grow with the cube of the order, and the spectra's unwarped cepstrum holds
// no coefficient beyond ccordhighest(fs).
const double velkf0floorlowest = 20.0;
const uint32_t velkccordhighest = 511;   // ccordhighest at 16 kHz
const uint32_t velkccordceiling = 2047;  // ccordhighest at the highest rate
const uint8_t velkccmethods = 5;         // methods 0 to 4
// Most pitch refinement iterations the analysis runs; more asked for count as this many.
const uint32_t velkmaxrefinements = 5;

// 0 when the analysis can work with the settings: fs supported, lframe at least 1, |alpha| < 1,
// ccmeth a method, ccord at most ccordhighest(fs), f0min from velkf0floorlowest up to below
// f0max, and f0max below fs / 2 (limits finite); -1 otherwise.
int checkencodesettings(const encodesettings& s);

// Screens a log-F0 track read from a file (frames values, in place) before it is used: a value
// counts as voiced when above -1e10; a voiced value whose F0 lies below half the pitch floor
// (s.f0min / 2) or above half the sampling rate s.fs, and a NaN, are set to -1e10 (unvoiced), since
// the analyses cannot work with them (an F0 of 1 Hz takes seconds a frame, one of 1e-17 Hz no
// frame fits). Returns the number of values so changed.
uint32_t screenloadedlogf0(double* lf0, uint32_t frames, const encodesettings& s);
// The range of F0 in Hz that screenloadedlogf0 keeps.
double loadedf0lowest(const encodesettings& s);
double loadedf0highest(const encodesettings& s);

// The largest magnitude of a signal's samples, on the +-1 scale; NaN when any sample is not
// finite. The analysis takes signals up to velkpeakhighest: no speech file is on a scale a
// thousand times full scale, and beyond it the analysis's sums overflow.
double signalpeak(const double* x, uint32_t n);
const double velkpeakhighest = 1000.0;

// Number of frames of a signal of `samples` samples (frame k centred at sample k * lframe).
uint32_t encodeframes(uint32_t samples, uint32_t lframe);

// Range adaptation of the cepstra (frames * (order + 1) values, in place) for a statistical
// synthesiser: c0 + 5 and c1..c_order doubled in every frame; returns 0.
int morvadapteradhoc(double* cc, uint32_t order, uint32_t frames);
// Undoes it: c0 - 5 and c1..c_order halved; returns 0.
int invmorvadapteradhoc(double* cc, uint32_t order, uint32_t frames);

// Dithers every run of more than `threshold` equal consecutive samples of x (n samples, in place)
// with Gaussian noise of 1.3 steps of the 16-bit scale. The noise comes from a generator seeded
// anew at every call, so a signal is always dithered the same way. Returns 1 when any run was
// dithered, else 0 (also for threshold 0).
int padzeros(double* x, uint32_t n, uint32_t threshold);
// The same dither for a signal given block by block: samples go in as they come and come out once
// final, in order and dithered as padzeros would; a run of equal samples no longer than the
// threshold so far is held back (at most `threshold` samples) until it ends or grows beyond it.
// The ditherer belongs to one signal.
struct ditherer;
// A ditherer for runs longer than threshold (0: never dither, every sample passes at once); null
// when memory runs out.
ditherer* dithercreate(uint32_t threshold);
void ditherdestroy(ditherer* d);
// Takes the n samples of in and writes the samples now final to out (room for n + threshold
// values, not in); returns their count.
uint32_t ditherpush(ditherer* d, const double* in, uint32_t n, double* out);
// At the end of the signal: the samples still held into out (room for threshold values); returns
// their count.
uint32_t ditherflush(ditherer* d, double* out);
// 1 when any run was dithered so far, else 0.
int ditherapplied(const ditherer* d);

// F0 track of a signal (no dithering): x has n samples; f0 (frames values, caller's) receives
// F0 in Hz, 0 for unvoiced frames. Returns 0, or -1 when working storage cannot be had.
//   x       in: n samples on the +-1 scale, at s.fs Hz
//   n       samples in x
//   s       settings: lframe, f0min and f0max are used
//   frames  frames to track, frame k centred at sample k * s.lframe
//   f0      out: frames doubles, caller's
int encodepitch(const double* x, uint32_t n, const encodesettings& s, uint32_t frames, double* f0);
// The same for frames centred at first + k * s.lframe, with the tracker's voicing margin of every
// frame into margin (frames doubles, caller's; or null; see getpitchmargins of pitchanalysis.h).
int encodepitch(const double* x, uint32_t n, const encodesettings& s, uint32_t first, uint32_t frames,
                double* f0, double* margin);

// The rate the pitch tracker works at: below 16 kHz the smallest whole multiple of s.fs that
// reaches 16 kHz (the upsampling of pitchanalysis); at 16 kHz s.fs itself; above, s.fs times
// pitchresampling(s.fs, s.lframe, first, s.f0max) (the downsampling of pitchanalysis), the lowest
// rate that resolves a period as finely as the 16 kHz analysis does: 16.5 kHz in place of
// 22.05 kHz, so that the tracker's frames of three periods of its floor fit transforms of half
// the size. Its costs per frame, which scale with the rate over the frame shift, stay as they
// were; its band-pass keeps nothing above 5 kHz, well inside the copy's band.
const double velkpitchratelowest = velksamplingrate;  // the lowest rate of a copy, Hz
// The fewest samples of the copy to a period of f0max: 32, as at 16 kHz with the default ceiling
// of 500 Hz. With fewer, a steady voice whose period falls half-way between two samples loses
// its correlation peak to the one of twice the period (at 11.025 kHz a fifth of such voices from
// 250 to 340 Hz were tracked an octave low).
const double velkpitchperiodsamples = 32.0;
const uint32_t velkpitchdownmost = 16;  // the largest down; the copy's filter has 16 * down + 1 taps
// The tracker's copy is at up / down times the rate.
struct pitchrate {
  uint32_t up, down;
};
// Among the fractions up / down below 1 with down at most velkpitchdownmost dividing both
// lframe and first (so that every frame centre first + k * lframe lands on a whole sample of the
// copy, at first / down * up + k * lframe / down * up), the one of the lowest rate fs * up / down
// at or above velkpitchratelowest and velkpitchperiodsamples * f0max, the smallest down among
// equals; {1, 1} when there is none (at and below 16 kHz always). With f0max 500 Hz and a first
// centre of 0: 3/4 at 22.05 kHz with a shift of 256 (16.5375 kHz), 8/11 with 110 (16.036 kHz),
// 11/15 with 255; 2/3 at 24 kHz with 120 or 300; 1/2 at 32 kHz with 160; 3/8 at 44.1 kHz with
// 512, 4/11 with 220; 1/3 at 48 kHz with 240. With f0max 1200 Hz: none at 22.05 kHz, 7/8 at
// 44.1 kHz with 512.
pitchrate pitchresampling(uint32_t fs, uint32_t lframe, uint32_t first, double f0max);

// Maximum voiced frequency in Hz of every frame into fv (frames values, caller's; nothing when
// fv is null), then, when s.f0acc is non-zero, the F0 track f0 (frames values in Hz, 0 unvoiced)
// refined in place. Returns 0, or -1 when working storage cannot be had.
//   x       in: n samples on the +-1 scale, at s.fs Hz
//   n       samples in x
//   s       settings: lframe, f0min, f0max and f0acc are used
//   frames  frames, frame k centred at sample k * s.lframe
//   f0      in/out: frames values, Hz, 0 unvoiced
//   fv      out: frames doubles, caller's, Hz; or null
int encodevoicing(const double* x, uint32_t n, const encodesettings& s, uint32_t frames, double* f0,
                  double* fv);
// The same for frames centred at first + k * s.lframe.
int encodevoicing(const double* x, uint32_t n, const encodesettings& s, uint32_t first, uint32_t frames,
                  double* f0, double* fv);

// Warped cepstra of every frame from the F0 track (frames values in Hz, 0 unvoiced) into cc
// (frames * (s.ccord + 1) values, frame after frame, caller's; every value written), range-adapted
// when s.morvscale is set. Returns 0, or -1 when working storage cannot be had.
//   x       in: n samples on the +-1 scale, at s.fs Hz
//   n       samples in x
//   s       settings: lframe, ccord, ccmeth, alpha and morvscale are used
//   frames  frames, frame k centred at sample k * s.lframe
//   f0      in: frames values, Hz, 0 unvoiced
//   cc      out: frames * (s.ccord + 1) doubles, caller's
int encodecepstra(const double* x, uint32_t n, const encodesettings& s, uint32_t frames, const double* f0,
                  double* cc);
// The same for frames centred at first + k * s.lframe.
int encodecepstra(const double* x, uint32_t n, const encodesettings& s, uint32_t first, uint32_t frames,
                  const double* f0, double* cc);

// The whole analysis of one signal: x (n samples) is dithered in place (see padzeros; *dithered
// receives its result when not null); unless f0given, f0 (frames values) receives the pitch
// track, else it holds the track in Hz to use (0 unvoiced); then encodevoicing and encodecepstra.
// frames may be fewer than encodeframes(n, s.lframe) (a shorter given track). Returns 0, or -1
// when working storage cannot be had.
//   x         in/out: n samples on the +-1 scale, at s.fs Hz; dithered in place
//   n         samples in x
//   s         the analysis settings
//   frames    frames, frame k centred at sample k * s.lframe
//   f0        out (in when f0given): frames doubles, caller's, Hz, 0 unvoiced
//   f0given   true: f0 holds the track to use (refined when s.f0acc is set)
//   fv        out: frames doubles, caller's, Hz; or null for no voicing stream
//   cc        out: frames * (s.ccord + 1) doubles, caller's
//   dithered  out: 1 when a run was dithered, else 0; or null
int encodesignal(double* x, uint32_t n, const encodesettings& s, uint32_t frames, double* f0, bool f0given,
                 double* fv, double* cc, int* dithered);

// Synthesis settings, defaults equal to the decoder's at 16 kHz (decodedefaults gives them at
// another rate). A factor that differs from its neutral value is held inside its range by
// preparedecode.
struct decodesettings {
  uint32_t fs = kSamplingRate;  // sampling rate of the synthesis, Hz
  uint32_t lframe = 80;         // frame shift of the streams in samples, at least 1
  double alpha = 0.42;          // all-pass warping factor of the cepstra, |alpha| < 1
  double fpitch = 1.0;          // F0 factor [0.25, 4]
  double fvpitch = 1.0;         // log-F0 spread factor [0, 4]
  double fdur = 1.0;            // duration factor [0.25, 4]
  double fwarp = 0.0;           // vocal-tract warping [-0.99, 0.99]
  double floud = 0.0;           // loudness filter strength [-4, 4]
  double fpfilt = 0.0;          // post-filter strength [0, 1]
  double fdrc = 0.0;            // dynamic range compression strength [0, 1]
  bool morvscale = true;        // undo the encoder's range adaptation
  // Set by preparedecode:
  uint32_t shift = 0;            // synthesis frame shift: lframe * fdur, truncated
  double synthesisalpha = 0.0;   // alpha chained with -fwarp
  bool filtersdisabled = false;  // floud, fpfilt and fdrc were requested with another alpha or rate
};

// The synthesis defaults at the rate fs: lframe and alpha as the analysis's, the rest neutral.
decodesettings decodedefaults(uint32_t fs);

// Checks and completes the settings: the factors are held in their ranges (a NaN becomes the
// upper bound), floud, fpfilt and fdrc are switched off (filtersdisabled set) when alpha and fs
// are not the 0.42 and 16 kHz their tables are made for (the tables describe the band up to
// 8 kHz only), and shift and synthesisalpha are derived. Returns 0, or -1 when synthesis cannot
// work with them (a rate out of the range, a shift that truncates to 0, |alpha| >= 1).
int preparedecode(decodesettings* s);

// The largest maximum voiced frequency of the `frames` values of fv that some rate of the range
// can hold (up to velkratehighest / 2; 0 when none is above 0): streams with a value above fs / 2
// cannot have been made at the rate fs. Larger values (and NaNs) belong to no rate: they are
// damaged values, which the synthesis copes with.
double highestvoicing(const double* fv, uint32_t frames);

// Number of samples synthesised from `frames` frames at the prepared shift: (frames + 1) * shift
// + 1; may exceed 32 bits for the caller to refuse.
uint64_t decodedlength(uint32_t frames, const decodesettings& s);

// Synthesises the streams of `frames` frames into out (outlen >= decodedlength samples, caller's).
// lf0: frames log-F0 values, -1e10 (or anything not above it) unvoiced; cc: frames * (order + 1)
// cepstra; fv: frames maximum voiced frequencies in Hz, or null to derive them from c0. lf0 and
// cc are used as work space and hold no meaningful values afterwards. A frame holding a NaN or
// an infinite value is silent and takes no part in the statistics over frames, and a sample whose
// synthesis is not finite is set to 0: out never holds a NaN or an infinity. The settings must
// have gone through preparedecode. Returns 0, or -1 when working storage cannot be had.
//   lf0     in (then work space): frames log-F0 values
//   cc      in (then work space): frames * (order + 1) cepstra, range-adapted when s.morvscale
//   fv      in: frames maximum voiced frequencies in Hz, or null
//   frames  frames of the streams
//   order   cepstral order
//   s       settings after preparedecode
//   out     out: outlen doubles, caller's, on the +-1 scale
//   outlen  length of out, at least decodedlength(frames, s)
int decodestreams(double* lf0, double* cc, const double* fv, uint32_t frames, uint32_t order,
                  const decodesettings& s, double* out, uint32_t outlen);

// Samples whose synthesis was not finite (a cepstrum that overflows, such as c0 = 1000), made
// silent: how many, and the first and last frame they fall in (sample j in frame j / shift). A
// voiced or unvoiced frame whose envelope or harmonics overflow, and a frame holding a NaN or an
// infinite value, are left out of the synthesis whole; each counts the shift's samples it owns.
struct silencedsamples {
  uint32_t samples = 0;
  uint32_t firstframe = 0;
  uint32_t lastframe = 0;
};
// decodestreams, reporting in *silenced the samples it made silent.
int decodestreams(double* lf0, double* cc, const double* fv, uint32_t frames, uint32_t order,
                  const decodesettings& s, double* out, uint32_t outlen, silencedsamples* silenced);
// Adds a frame left out of the synthesis whole to *silenced, in any order of the frames: it counts
// the `shift` samples it owns.
void notesilentframe(silencedsamples* silenced, uint32_t frame, uint32_t shift);

// decodestreams frame by frame, for synthesis that runs over the frames in order (streamdecode.h):
// the statistics over all frames that some settings need, and the three steps every frame goes
// through. decodestreams is decodeframebegin and decodeframesurvey on every frame, then
// decodeframefinish on every frame with the statistics so gathered, then cc2waveform.
struct decodestatistics {
  double logf0sum = 0.0;       // sum of the voiced log-F0 values after the pitch factor (fvpitch)
  uint32_t voiced = 0;         // their count
  double loudest = -HUGE_VAL;  // the loudest frame's level for the compression (fdrc)
};
// Undoes the range adaptation (s.morvscale) of one frame's cepstrum c (order + 1 values, in place)
// and applies the pitch factor to its log-F0 (*lf0); fv is the frame's maximum voiced frequency or
// null. A frame holding a NaN or an infinity (a log-F0 of -inf excepted: it is unvoiced) gets a
// NaN log-F0 and NaN cepstra and gives false; it takes no part in the statistics and is silent.
bool decodeframebegin(const decodesettings& s, uint32_t order, double* lf0, double* c, const double* fv);
// Takes a frame, after decodeframebegin, into the statistics.
void decodeframesurvey(decodestatistics* st, const decodesettings& s, uint32_t order, double lf0,
                       const double* c);
// Applies the pitch range, compression, post-filter and loudness settings to a frame after
// decodeframebegin, with the statistics of all frames, and turns its log-F0 into F0 in Hz (NaN for
// a frame that decodeframebegin found unsound, so that synthesis leaves it silent).
void decodeframefinish(const decodesettings& s, const decodestatistics& st, uint32_t order, bool sound,
                       double* lf0, double* c);

// Magnitude envelopes of warped cepstra on a linear frequency grid: for every frame, bins values
// |A(f)| = exp(c0 + 2 sum_j c_j cos(j w~)) at f = k * fs / (2 (bins - 1)), k = 0 .. bins - 1, w~ the
// angle 2 pi f / fs warped by alpha. Returns 0, or -1 when bins < 2 or storage cannot be had.
//   cc         in: frames * (order + 1) cepstra, range-adapted when morvscale
//   frames     frames
//   order      cepstral order
//   fs         sampling rate the cepstra describe, Hz
//   alpha      their warping factor, |alpha| < 1
//   morvscale  true: the encoder's range adaptation is undone first (as the synthesis does)
//   bins       points per frame, from 0 Hz to fs / 2
//   out        out: frames * bins doubles, caller's, frame after frame
int cepstralenvelopes(const double* cc, uint32_t frames, uint32_t order, double fs, double alpha,
                      bool morvscale, uint32_t bins, double* out);

}  // namespace velk
