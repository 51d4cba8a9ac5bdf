#pragma once
// The vocoder's analysis of a signal read in pieces, so that a long signal is analysed in memory
// bounded by the piece and the frame count, not by its samples: the same streams as encodesignal
// gives for the whole signal, bit for bit, however long the pieces.
//
// The signal is read several times from its first sample, dithered anew each time (the dither is
// deterministic, see padzeros):
//   1. the level of the pitch tracker's band-passed signal, its largest magnitude over the whole
//      signal, which every frame's unvoiced score is measured against (skipped with a given track);
//   2. the F0 track: the tracker's candidates and back-pointers of the frames whose path is still
//      open (37 bytes a frame; the paths of neighbouring frames soon meet, and the frames before
//      the meeting are settled), then the islands removed over the whole track; with the voicing
//      margins of the features (analysepieces), every frame's hypotheses and forward costs too, in
//      memory up to a block and beyond it in a temporary file, read back from the last frame;
//   3. the maximum voiced frequencies of every frame, median-filtered over the track (with a
//      voicing stream);
//   4. the refinement of the F0 track (with refinement iterations), since the envelopes' spectra are
//      sized by the lowest refined F0 of the whole track;
//   5. the cepstra, given to the caller piece by piece as they are final (analysepieces: the
//      cepstra when asked for, and the samples as read around each piece's frames).
// Every frame's values come from the samples around its centre alone (a few periods of the lowest
// F0, a 25 ms noise frame), so each piece is read with a margin of that many samples on each side.
// The F0 and voiced-frequency tracks are the caller's arrays (8 bytes a frame each); the cepstra,
// 8 * (order + 1) bytes a frame, pass through a piece's worth of memory.
//
// Every record is the caller's; no routine prints or keeps state between calls. Built on
// velkcodec, pitchanalysis, fvanalysis, ccanalysis and soundfile.
#include <cstdint>

#include "pitchanalysis.h"
#include "soundfile.h"
#include "velkcodec.h"

namespace velk {

// A signal read in blocks from its first sample, as often as the analysis asks.
struct signalsource {
  void* state = nullptr;
  // Back to the first sample: 0, or -1 when that fails.
  int (*restart)(void* state) = nullptr;
  // Up to n samples on the +-1 scale into x: the count read, fewer than n only at the end of the
  // signal; -1 on an error.
  int64_t (*read)(void* state, double* x, uint32_t n) = nullptr;
};

// Where the cepstra go, in order, as they are final: `frames` frames of order + 1 values each,
// range-adapted when the settings ask for it. 0, or -1 to end the analysis (a failed write).
struct ccsink {
  void* state = nullptr;
  int (*write)(void* state, const double* cc, uint32_t frames) = nullptr;
};

// Samples analysed at a time unless the caller says otherwise: 2^18, 5.5 s at 48 kHz, a few
// megabytes of signal and cepstra.
const uint32_t encodepiecesamples = 1u << 18;

// The analysis of encodesignal for a signal of n samples read from `in`.
//   in        the signal, n samples at s.fs Hz; read from its start for every pass above
//   n         samples the signal holds; a source giving another count fails the analysis
//   s         the analysis settings (checked by the caller, see checkencodesettings)
//   frames    frames, frame k centred at sample k * s.lframe; at most encodeframes(n, s.lframe)
//   f0        out (in when f0given): frames doubles, caller's, Hz, 0 unvoiced
//   f0given   true: f0 holds the track to use (refined when s.f0acc is set)
//   fv        out: frames doubles, caller's, Hz; or null for no voicing stream
//   cc        receives frames * (s.ccord + 1) values, piece by piece
//   piece     samples read per piece (at least 1; the margins come on top)
//   dithered  out: 1 when a run was dithered, else 0; or null
// Returns 0, or -1 when memory runs out, the source fails or gives another count than n, or the
// sink fails.
int encodepieces(const signalsource& in, uint32_t n, const encodesettings& s, uint32_t frames, double* f0,
                 bool f0given, double* fv, const ccsink& cc, uint32_t piece, int* dithered);

// The same passes for the features on a frame grid (framefeatures.h): frames centred anywhere, the
// tracker's voicing margins, and the signal itself beside the last pass's frames.
struct pieceoptions {
  uint32_t first = 0;        // centre of frame 0: frame k is centred at sample first + k * lframe
  double* margin = nullptr;  // out: the tracker's voicing margin of every frame (frames doubles,
                             // caller's; see getpitchmargins of pitchanalysis.h), or null
  uint32_t marginframes = pitchtrackermarginframes;  // the margins' frames held in memory (pitchtrackerspill)
  uint32_t rawreach = 0;  // the last pass gives the samples as read (undithered) this far on either
                          // side of each frame's centre, within the signal; 0: none
  bool cepstra = true;    // whether the last pass computes the cepstra
};
// What the last pass gives of frames k0..k1-1: their cepstra ((k1 - k0) * (order + 1) values,
// range-adapted when the settings ask for it; null without cepstra) and the samples as read
// [from, to) around them (raw[0] is sample from; null when rawreach is 0).
struct piecespan {
  uint32_t k0, k1;
  const double* cc;
  const double* raw;
  uint64_t from, to;
};
// Where the last pass goes, span after span in the order of the frames: 0, or -1 to end the
// analysis.
struct piecesink {
  void* state = nullptr;
  int (*write)(void* state, const piecespan& span) = nullptr;
};
// encodepieces with the options o: the same arguments, the frames centred from o.first (at most
// as have their centre at or before sample n), o.margin filled by the tracker (not with
// f0given), and the last pass given span by span to out (it reads the signal only for cepstra or
// raw samples). encodepieces is this with the default options. 0, or -1 as encodepieces.
int analysepieces(const signalsource& in, uint32_t n, const encodesettings& s, const pieceoptions& o,
                  uint32_t frames, double* f0, bool f0given, double* fv, const piecesink& out, uint32_t piece,
                  int* dithered);

// Analysis as the samples arrive, for real-time callers: samples pushed in blocks of any size give
// the frames that are final, with a latency bounded by the settings and not by the signal. The
// whole-signal analysis needs three things no bounded latency has, and here they are replaced:
//   - the tracker's level (its unvoiced scores are measured against the largest magnitude of the
//     whole band-passed signal) is the largest magnitude so far;
//   - a frame's F0 is decided `lookahead` frames later, on the cheapest path to the frame tracked
//     then, instead of on the path through all frames;
//   - short voiced islands are not removed (that needs the F0 range of the whole track), and the
//     envelopes' spectra are sized for the pitch floor (at most 60 Hz) instead of the lowest F0 of
//     the whole track (the same unless f0min lies below 60 Hz).
// The frames therefore differ from encodesignal's where these decide; bench/streamencode_latency.py
// measures how often and by how much on the bundled samples. The dither, the voiced frequencies
// (median over 5 frames) and the refinement are the whole analysis's.
struct streamencoder;
// Where the frames go, in order as they are final: `frames` frames of F0 (Hz, 0 unvoiced), maximum
// voiced frequency (Hz) and cepstra (order + 1 values each, range-adapted when the settings ask for
// it). 0, or -1 to stop.
struct framesink {
  void* state = nullptr;
  int (*write)(void* state, const double* f0, const double* fv, const double* cc, uint32_t frames) = nullptr;
};
// An analyser with the settings s (checked by the caller, see checkencodesettings) deciding each
// frame's F0 `lookahead` frames after it (at least 1); null when memory runs out.
streamencoder* streamencodercreate(const encodesettings& s, uint32_t lookahead);
void streamencoderdestroy(streamencoder* e);
// The latency in samples: frame k (centred at sample k * lframe) is given once the samples up to its
// centre plus this many have been pushed (and at the flush). It adds the lookahead, the tracker's
// frame and band-pass, the median of the voiced frequencies, the envelope's frame and the dither's
// hold on a run of equal samples; samples are also taken in blocks of the band-pass (1024 at
// 16 kHz), which may add up to one block.
uint32_t streamencoderlatency(const streamencoder* e);
// Takes n samples (on the +-1 scale, at the settings' rate) and gives the frames now final to out.
// Returns 0, or -1 when memory runs out or the sink stops (the analyser is then spent).
int streamencoderpush(streamencoder* e, const double* x, uint32_t n, const framesink& out);
// Ends the signal and gives the remaining frames: encodeframes(samples pushed, lframe) frames in
// all. Returns 0, or -1.
int streamencoderflush(streamencoder* e, const framesink& out);

// A sound file read in blocks (soundfile.h) as the source of encodepieces, once surveyed: its
// sample count, peak (signalpeak's: NaN when any sample is not finite) and the samples at 16-bit
// full scale (magnitude at least 32767/32768). `troubled` tells, after a failed analysis, that a
// read failed or the file held another count in a later pass than in the survey.
struct soundsignal {
  soundblocks* blocks = nullptr;  // the caller's: opened and closed by it
  uint32_t samples = 0;
  double peak = 0.0;
  uint64_t fullscale = 0;
  uint64_t read = 0;  // samples read in the current pass
  bool troubled = false;
};
// Reads the whole file once; 0, or -1 when a read fails or the file holds no sample or more than
// a signal may (UINT32_MAX).
int surveysoundsignal(soundsignal* g);
// The file as a source (g must outlive it).
signalsource soundsignalsource(soundsignal* g);

// A signal held in memory as a source: x (n samples, not changed) read block by block.
struct memorysignal {
  const double* x = nullptr;
  uint32_t n = 0;
  uint32_t position = 0;
};
signalsource memorysource(memorysignal* m);

}  // namespace velk
