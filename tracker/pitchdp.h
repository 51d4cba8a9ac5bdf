// Dynamic-programming F0 tracker: normalised cross-correlation candidates
// (found on a decimated copy of the signal, refined at the full rate) plus one
// unvoiced hypothesis per frame, joined by dynamic programming. The signal is
// processed in overlapping blocks and decided frames are released as soon as
// all surviving paths agree on them. The state of an analysis lives in a dpmem
// record made and released by its caller, so analyses may run in parallel
// threads; warnings and failures go into the caller's trackreport, nothing is
// printed. Built on lpcprims (windows, LPC, cross-correlations), nrandom
// (dither), fgetmem and the trackers' shared checks (trackparams).
#pragma once

#include <cstdio>

#include "floatlist.h"
#include "trackparams.h"

namespace velk {

typedef struct f0_params {
  float cand_thresh;  // a peak is a candidate only above this fraction of the frame maximum
  float lag_weight;   // penalty for long lags in the local cost
  float freq_weight;  // weight of the log-frequency jump between voiced frames
  float trans_cost;   // fixed cost of a voicing change
  float trans_amp;    // weight of the energy ratio in a voicing change
  float trans_spec;   // weight of the spectral change in a voicing change
  float voice_bias;   // bias added to the unvoiced local cost
  float double_cost;  // cost of an octave jump
  float min_f0;       // lowest F0 searched, Hz
  float max_f0;       // highest F0 searched, Hz
  float frame_step;   // frame interval, seconds
  float wind_dur;     // correlation window length, seconds
  int n_cands;        // candidates per frame, the unvoiced one included
} F0_params;

typedef struct cross_rec {
  float rms;       // RMS of the reference window
  float maxval;    // largest correlation of the frame
  short maxloc;    // its lag
  short firstlag;  // lag of correl[0]
  float* correl;   // nlags correlations
} Cross;

typedef struct dp_rec {
  short ncands;   // candidates, the unvoiced hypothesis included
  short* locs;    // lags; -1 marks the unvoiced hypothesis
  float* pvals;   // correlation peaks
  float* mpvals;  // local costs
  short* prept;   // best predecessor in the previous frame
  float* dpvals;  // accumulated costs
} Dprec;

typedef struct frame_rec {
  Cross* cp;
  Dprec* dp;
  float rms;
  struct frame_rec* next;
  struct frame_rec* prev;
} Frame;

// Tracks F0 over the samples of source (sample_freq Hz, one frame every frame_shift samples, F0
// searched in [minF0, maxF0]) and writes ceil(length / frame_shift) floats to out,
// length being the number of samples the source gives: otype 1 F0 in Hz (0 unvoiced), 2 ln F0
// (-1e10 unvoiced), any other the period in samples (0 unvoiced). The input is read block by
// block and frames are written as they are decided, so memory does not grow with the input.
// Returns kTrackDone; kTrackBadParameters after a parameter error or a too-short input
// (said in report, nothing written; the caller shows its usage text); kTrackFailed when the
// tracker failed part-way (what was computed is written, the failure said in report), when the
// source failed or when out could not be written (frames up to there written; nothing said,
// their owners report). Warnings go into report too, whatever the status.
//   source        where the samples come from, read to its end (see samplesource)
//   sample_freq   sampling frequency, Hz
//   frame_shift   frame interval, samples
//   minF0, maxF0  F0 range searched, Hz
//   voice_bias    added to the unvoiced local cost (higher: more frames voiced)
//   otype         output type, as above
//   report        out: the messages of warnings and failures, appended (the caller's)
//   out           where the track goes (standard output unless the caller names a stream)
int raptsource(samplesource source, double sample_freq, int frame_shift, double minF0, double maxF0,
               double voice_bias, int otype, trackreport* report, FILE* out = stdout);

// The same over a sample list of length samples, whose samples are dithered in place first,
// written to standard output.
//   input   in/out: the command's sample list, at least length nodes
//   length  samples to track
int rapt(float_list* input, int length, double sample_freq, int frame_shift, double minF0, double maxF0,
         double voice_bias, int otype, trackreport* report);

// The state of one analysis: cost rules, frame ring, output arrays, decimator and stationarity
// history, and the signal primitives' window tables. Its fields are private to the tracker.
struct dpmem;

// Makes the record of an analysis at freq Hz with the parameters par (the caller releases it
// with free_dp_f0); stores the block size and block advance in samples. Throws std::bad_alloc
// when memory is short.
//   debug_level  0 silent; 1 and above progress lines written to trace, above 1 per-frame detail
//   trace        where the progress lines go; null writes none whatever the level
dpmem* init_dp_f0(double freq, const F0_params* par, long* buffsize, long* sdstep, int debug_level = 0,
                  FILE* trace = nullptr);

// Processes the next block of buff_size samples of the analysis t. On return the four pointers
// designate t's output arrays (valid until the next call) and *vecsize the frames released by
// this call, newest first. Returns 0, or -1 on failure; the failure, and any warning, said in
// report.
int dp_f0(dpmem* t, float* fdata, int buff_size, int sdstep, double freq, const F0_params* par,
          float** f0p_pt, float** vuvp_pt, float** rms_speech_pt, float** acpkp_pt, int* vecsize,
          int last_time, trackreport* report);

// Releases the record and everything its analysis allocated; null is allowed.
void free_dp_f0(dpmem* t);

// Whole frames of a block: 0 if buffsize < pad, else (buffsize - pad) / step.
int get_Nframes(long buffsize, int pad, int step);

// Peaks of cross->correl[0..nlags-1] above cand_thresh times the frame
// maximum and not below either neighbour: values into peak, lags into loc.
// The arrays must hold nlags entries.
void get_cand(const Cross* cross, float* peak, int* loc, int nlags, int* ncand, float cand_thresh);

// When *ncand reaches n_cands, moves the n_cands - 1 largest peaks (with their
// lags, equal values in their original order) to the front and keeps only them.
void keepbestcands(float* peak, int* loc, int* ncand, int n_cands);

}  // namespace velk
