#pragma once
// F0 estimation (normalised autocorrelation of the band-passed signal, candidates and a
// dynamic-programming path), quasi-harmonic refinement, and log-F0 tools. Built on dft,
// windowing, polynom, spectralanalysis (the band-pass filter) and harmonicanalysis (refinement).
#include <cstdint>

#include "dft.h"

namespace velk {

// F0 track of the frames centred at p0 + i*hop, i < n.
//   x         in: the signal, nsamples samples on the +-1 scale
//   nsamples  samples in x
//   fs        sampling rate, Hz
//   hop       frame shift, samples
//   p0        centre of frame 0, samples
//   n         frames
//   f0min     lowest F0 searched, Hz
//   f0max     highest F0 searched, Hz
//   f0        out: n doubles, caller's: F0 in Hz within [f0min, f0max], 0 for unvoiced frames
// Returns 0, or -1 when a transform fails (the FFT sizes are powers of two by construction).
int getpitch(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
             double f0min, double f0max, double* f0);
// getpitch, also giving the tracker's voicing evidence of every frame: margin (n doubles,
// caller's; or null) receives the cost of the cheapest path unvoiced at the frame less that of
// the cheapest path voiced there, both over the whole dynamic programme (correlation peaks and
// voicing costs of every frame). It is positive where the path is voiced and negative where it
// is unvoiced (before the islands are removed), -infinity for a frame without a voiced candidate,
// and larger the more a change of the frame's voicing would cost; in units of what it costs to make
// one perfectly periodic frame unvoiced among voiced ones (1 - 0.45 for the correlation given up,
// plus the two voicing transitions), so that margins mean the same at every rate and hop.
int getpitchmargins(const double* x, uint32_t nsamples, double fs, uint32_t hop, uint32_t p0, uint32_t n,
                    double f0min, double f0max, double* f0, double* margin);
// The same tracker fed piece by piece, so that a long signal need not be held whole: the caller
// band-passes the signal (applyfftfilter, or the same filter over overlapping pieces), finds its
// level (the largest magnitude of the whole filtered signal), then gives the frames in order from
// views on the filtered signal, and reads the track at the end. For the same filtered signal and
// level, the track and margins equal getpitchmargins's bit for bit, however the frames are split.
// It keeps 37 bytes per frame (the candidates and back-pointers the path is read back from) of
// the frames not settled; with the margins, every frame's hypotheses and forward costs too (112
// bytes a frame), up to twice pitchtrackermarginframes of them in memory and beyond that in a
// temporary file (spillstore.h: in $TMPDIR, unlinked at once), read back in blocks from the last
// frame at the end.
struct pitchtracker;
// A tracker of `frames` frames, `hop` samples apart, at fs Hz over f0min..f0max (see getpitch);
// margins: whether pitchtrackerfinish will give them. Null when memory runs out.
pitchtracker* pitchtrackercreate(double fs, uint32_t hop, uint32_t frames, double f0min, double f0max,
                                 bool margins);
void pitchtrackerdestroy(pitchtracker* tr);
// Frames of hypotheses and costs a tracker with margins holds in memory before it writes them to
// its temporary file: 8192 (under a megabyte).
const uint32_t pitchtrackermarginframes = 8192;
// Sets that count (at least 1) before the first frame is tracked; 0, or -1 (too late, 0, or no
// memory).
int pitchtrackerspill(pitchtracker* tr, uint32_t frames);
// Length of a tracker frame in samples: frame i reads the filtered samples from its centre less
// half of it (rounded down) to its centre plus half of it.
uint32_t pitchtrackerreach(const pitchtracker* tr);
// The largest of t and the magnitudes of xf[0..n): the level, gathered piece by piece.
double pitchtrackerlevel(double t, const double* xf, uint32_t n);
// Tracks the next frames, up to frame e (exclusive; even, or the track's frame count), centred at
// p0 + i*hop, from a view on the filtered signal: xf[j] is filtered sample offset + j, for
// j < length. Every sample a frame reads must lie in the view, except before sample 0 (the view
// then starting at 0) and from the end of the signal on (the view then ending there), which
// count as zeros. t is the level. Returns 0, or -1 when a transform failed.
int pitchtrackerframes(pitchtracker* tr, const double* xf, uint64_t offset, uint32_t length, double t,
                       uint64_t p0, uint32_t e);
// Frames tracked so far.
uint32_t pitchtrackerdone(const pitchtracker* tr);
// A frame count for pitchtrackercreate when the length is not known yet: the track grows as frames
// come, and pitchtrackerend gives its length at the end.
const uint32_t pitchtrackeropen = UINT32_MAX;
// Gives an open tracker its frame count once the signal has ended (at least the frames tracked);
// an odd last frame then goes alone. 0, or -1.
int pitchtrackerend(pitchtracker* tr, uint32_t frames);
// The F0 of frames from..to-1 on the cheapest path to the last frame tracked so far, into f0[0..):
// at the end of the signal the track itself (before the islands are removed), earlier the decision
// of a tracker that looks no further. 0, or -1 for frames not tracked or forgotten.
int pitchtrackerdecide(pitchtracker* tr, uint32_t from, uint32_t to, double* f0);
// Lets go of the candidates and back-pointers of the frames before `before`, which no later
// decision reads: an open tracker then keeps only the frames it has not decided.
void pitchtrackerforget(pitchtracker* tr, uint32_t before);
// The frames whose F0 no later frame can change: those before the frame where the paths to every
// hypothesis of the last frame tracked meet. Their F0 (before the islands are removed) goes into
// f0 (the whole track, indexed from frame 0, caller's) and the tracker lets go of them, so that it
// keeps only the frames still open. Returns the first frame not settled.
uint32_t pitchtrackersettle(pitchtracker* tr, double* f0);
// Once every frame is tracked: the track into f0 (the frames not settled before) and, when asked
// for at creation, the margins into margin (frames doubles, caller's; frames may have been
// settled), islands removed over the whole track as getpitch does. Returns 0, or -1 when a frame
// is missing, a transform failed, the tracker was made without margins, or their temporary file
// could not be written or read.
int pitchtrackerfinish(pitchtracker* tr, double* f0, double* margin);
// Sets short voiced islands that jump away from the long runs' F0 range to 0, in place; returns 0.
int elimislands(uint32_t n, double* f0, double fs, uint32_t hop);
// Refines the voiced F0 values of a track by quasi-harmonic analysis of the harmonics below the
// frame's maximum voiced frequency. A step is kept while it stays inside [f0min, f0max] and
// within 20 % of the previous value; a frame stops after a step of less than 0.1 %.
//   x           in: the signal, nsamples samples on the +-1 scale
//   nsamples    samples in x; frames centred at or beyond the end are left as they are
//   fs          sampling rate, Hz
//   hop         frame shift, samples
//   p0          centre of frame 0, samples
//   n           frames
//   f0min       lowest accepted F0, Hz
//   f0max       highest accepted F0, Hz
//   iterations  most steps per frame; 0 leaves the track unchanged
//   f0          in/out: n values, F0 in Hz, 0 (or below) for unvoiced frames, which stay so
//   fv          in: n maximum voiced frequencies in Hz, or null for 4500 Hz in every frame
// Returns 0.
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
// Its transform length at fs Hz (2048 at 16 kHz): the signal goes through in blocks of half of it,
// each block's output reaching a quarter of it beyond the block on either side.
uint32_t trackerfilterlength(double fs);
// Signal upsampled by an integer factor (nsamples*factor samples); release it with free().
double* upsampling(const double* x, uint32_t nsamples, double fs, uint32_t factor);
// Signal at up / down times its rate (up below down): the input, taken as if upsampled by up,
// low-passed by a zero-phase windowed-sinc FIR of 16 * down + 1 taps at that rate with its
// cut-off (-6 dB) at 0.4 of the new rate, then every down-th sample kept, computed directly
// from the input samples the taps meet. The filter is flat within 0.1 dB up to 0.3 of the new
// rate and at least 44 dB down from half of it, 53 dB from 0.55 of it, so what folds back lands
// above 0.45 of the new rate (above 7 kHz at 16 kHz, where the tracker's band-pass takes 30 dB
// off). Sample m of the result is the filtered signal at input position m * down / up, so a
// frame centred at a multiple of down keeps its centre; ceil(nsamples * up / down) samples,
// samples beyond either end of x counting as 0. Each output sample reads only the input within
// 8 * down / up samples of it, so a stream can be resampled block by block. Null when memory
// runs out, up or down is 0, or the result would exceed 2^32 - 1 samples; release it with free().
//   x         in: nsamples samples
//   fs        rate of x, Hz
double* downsampling(const double* x, uint32_t nsamples, double fs, uint32_t up, uint32_t down);
// In place: F0 > 0 becomes ln F0, anything else -1e10; returns 0.
int f02logf0(uint32_t n, double* track);
// In place: values above -1e10 become exp(value), anything else 0; returns 0.
int logf02f0(uint32_t n, double* track);
// Adds shift to every voiced log-F0 value; returns 0.
int shiftlogpitch(uint32_t n, double* logf0, double shift);
// Scales voiced log-F0 values about their mean by factor; returns 0.
int scalelogpitchrange(uint32_t n, double* logf0, double factor);

}  // namespace velk
