// The epoch tracker as a tracker of the pitch command: runs epochtracker over
// the command's samples and writes the F0 track, one 32-bit float per frame.
// Its warnings and failures go into the caller's trackreport; nothing is printed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "epochtracker.h"
#include "floatlist.h"
#include "track.h"
#include "trackparams.h"

namespace velk {

// Longest input the epoch tracker takes, in samples (about 70 minutes at 16 kHz): it holds the
// whole signal several times over.
const long kEpochLongestInput = 1L << 26;
// Lowest F0 the epoch tracker searches, Hz: its work grows with the square of the longest period.
const double kEpochLowestF0 = 10.0;

// Tracks the length samples of x (samplerate Hz) with F0 searched in [min, max]
// Hz and the given unvoiced cost, and writes one float per frame of frame_shift
// samples to out: otype 1 F0 in Hz (0 unvoiced), 2 its natural log
// (-1e10 unvoiced), any other the period in samples (0 unvoiced). Returns
// kTrackDone; kTrackBadParameters when checkbrindelparams refuses the
// settings or the input is too short for them (said in report; the caller
// shows its usage text); kTrackFailed with the failure said in report and
// nothing written, an input longer than kEpochLongestInput included.
//   x            in: length samples, caller's, taken as 16-bit values (see samplestoint16)
//   length       samples in x
//   samplerate   sampling frequency, Hz
//   frame_shift  frame interval, samples
//   min, max     F0 range searched, Hz
//   threshold    the tracker's unvoiced cost (higher: more frames voiced)
//   otype        output type, as above
//   report       out: the messages of failures, appended (the caller's)
//   out          where the track goes (standard output unless the caller names a stream)
int brindelsamples(const float* x, long length, double samplerate, int frame_shift, double min, double max,
                   double threshold, int otype, trackreport* report, FILE* out = stdout);

// The same over a sample list of length samples, written to standard output.
//   input   in: the command's sample list, at least length nodes
//   length  samples to track
int brindel(float_list* input, int length, double samplerate, int frame_shift, double min, double max,
            double threshold, int otype, trackreport* report);

// The pitch command's tracker checks (checktrackerparams) and min >= kEpochLowestF0:
// 0, or -1 with the messages in report when the settings are refused.
int checkbrindelparams(double samplerate, int frame_shift, double min, double max, trackreport* report);

// Samples truncated toward zero, clamped to the 16-bit range first.
std::vector<int16_t> samplestoint16(const float* x, long length);

// The list's samples truncated toward zero, clamped to the 16-bit range first.
std::vector<int16_t> listtosamples(const float_list* input, int length);

// Computes the features and the epochs, then the F0 and correlation tracks at
// external_frame_interval seconds. The pitch-mark track is not produced. 0, or -1
// when the features or the epochs cannot be had (the latter said in report).
int computeepochsandf0(epochtracker& et, float unvoiced_pulse_interval, float external_frame_interval,
                       std::unique_ptr<frametrack>* pm, std::unique_ptr<frametrack>* f0,
                       std::unique_ptr<frametrack>* corr, trackreport* report);

// The F0 track (F0 in Hz, -1 when unvoiced) at resample_interval seconds, and
// the correlation track through cor; absent when resampling fails.
std::unique_ptr<frametrack> makef0output(epochtracker& et, float resample_interval,
                                         std::unique_ptr<frametrack>* cor);

}  // namespace velk
