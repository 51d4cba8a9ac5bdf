#pragma once
// Per-frame features for model training on any frame grid (framegrid.h): F0, voiced/unvoiced
// flag, voicing probability, continuous log-F0, energy, warped cepstra and maximum voiced
// frequency. The F0 is the vocoder's tracker run at the grid's own frame centres, and the
// cepstra and voiced frequencies are the analysis pipelines of velkcodec on those frames, so
// that on the grid of the vocoder's frames they equal velkcoder's streams.
#include <cstdint>

#include "framegrid.h"
#include "streamencode.h"

namespace velk {

// The features, as bits of a selection.
enum : uint32_t {
  FEATURE_F0 = 1,        // F0 in Hz, 0 where unvoiced
  FEATURE_VUV = 2,       // 1 voiced, 0 unvoiced
  FEATURE_VOICING = 4,   // probability that the frame is voiced, 0..1; above 0.5 exactly where vuv is 1
  FEATURE_LF0 = 8,       // natural log of F0, interpolated linearly across unvoiced runs, the first
                         // and last voiced values held to the ends; 0 everywhere without voiced frames
  FEATURE_ENERGY = 16,   // 10 log10 of the mean square over the frame's window (samples outside the
                         // signal count as 0), dB re full scale (a full-scale square wave is 0 dB,
                         // a full-scale sine -3.01 dB), at least featureenergyfloor
  FEATURE_CC = 32,       // warped cepstra, order and warping of velkcoder at the rate, range-adapted
                         // as its stream: featureccord(fs) + 1 values per frame
  FEATURE_FV = 64,       // maximum voiced frequency in Hz
  FEATURE_MARGIN = 128,  // the tracker's voicing margin behind the probability (getpitchmargins of
                         // pitchanalysis.h): positive where voiced, -infinity without a candidate
};

// The energy of a silent frame, dB.
const double featureenergyfloor = -200.0;

// The settings: the grid and the pitch search range, Hz (from velkf0floorlowest of velkcodec.h
// up to below half the rate; singing reaches 2000 Hz).
struct featuresettings {
  framegrid grid;
  double f0min = 60.0;
  double f0max = 500.0;
};

// Where the features go: each array holds frames values (cc: frames * (featureccord(fs) + 1),
// frame after frame), allocated by the caller; a null array is not computed (and what it needs
// only is not run).
struct featureoutputs {
  double* f0 = nullptr;
  double* vuv = nullptr;
  double* voicing = nullptr;
  double* lf0 = nullptr;
  double* energy = nullptr;
  double* cc = nullptr;
  double* fv = nullptr;
  double* margin = nullptr;
};

// The cepstral order of the cc feature at the rate fs (velkcoder's default).
uint32_t featureccord(uint32_t fs);

// 0 when the features can be computed with the settings: a usable grid (checkframegrid) at a rate
// the vocoder analyses, and a pitch range it accepts (checkencodesettings); -1 otherwise.
int checkfeaturesettings(const featuresettings& s);

// The features of the signal x (n samples on the +-1 scale at s.grid.fs Hz) on the frames 0 ..
// frames - 1 of the grid (frames at most gridframes(s.grid, n), normally that). x is read only;
// the analysis works on its samples with runs of equal samples dithered as velkcoder does. It is
// computefeaturespieces over x (memorysource of streamencode.h; beyond pitchtrackermarginframes
// frames the margins' hypotheses go to a temporary file). Returns 0, or -1 when the settings or
// the frame count are refused or working storage cannot be had.
int computefeatures(const double* x, uint32_t n, const featuresettings& s, uint32_t frames,
                    const featureoutputs& out);

// Where the features of computefeaturespieces go, in the order of the frames: the frames k0 ..
// k0 + count - 1, each selected feature's array of `values` holding theirs (count values, cc
// count * (featureccord(fs) + 1)), the others null; the arrays are the call's, read only and gone
// on return. 0, or -1 to end the analysis (a failed write).
struct featuresink {
  void* state = nullptr;
  int (*write)(void* state, uint32_t k0, uint32_t count, const featureoutputs& values) = nullptr;
};

// The features of a signal read in pieces (encodepieces of streamencode.h), bit for bit those of
// computefeatures of the whole signal, in memory bounded by the piece apart from 8 bytes a frame
// for each of the F0 track, and with the features that need them, the margins, the voiced
// frequencies and the log-F0 (the tracker's hypotheses for the margins go to a temporary file
// beyond `marginframes` frames).
//   in            the signal, n samples at s.grid.fs Hz, read from its start for every pass
//   n             samples the signal holds (at least 1); a source giving another count fails
//   s             the settings
//   frames        frames 0 .. frames - 1 of the grid, at most gridframes(s.grid, n)
//   selection     the features, FEATURE_ bits (at least one)
//   out           receives the features block by block
//   piece         samples analysed at a time, 0 for encodepiecesamples
//   marginframes  the margins' frames held in memory (pitchtrackermarginframes normally)
// Returns 0, or -1 when the settings, the frame count or the selection are refused, memory runs
// out, the source fails or gives another count than n, or the sink fails.
int computefeaturespieces(const signalsource& in, uint32_t n, const featuresettings& s, uint32_t frames,
                          uint32_t selection, const featuresink& out, uint32_t piece, uint32_t marginframes);

// The voicing probability of a frame from the tracker's margin (getpitchmargins of
// pitchanalysis.h) and its final decision voiced (after the removal of islands): a calibrated
// function of the margin, above 0.5 exactly when voiced.
double voicingprobability(double margin, bool voiced);

// Continuous log-F0 of an F0 track (frames values in Hz, 0 unvoiced) into lf0 (frames doubles,
// caller's), as FEATURE_LF0 describes.
void continuouslogf0(const double* f0, uint32_t frames, double* lf0);

// Frame energies in dB (FEATURE_ENERGY) of the frames of the grid g into energy (frames doubles).
void frameenergies(const double* x, uint32_t n, const framegrid& g, uint32_t frames, double* energy);

}  // namespace velk
