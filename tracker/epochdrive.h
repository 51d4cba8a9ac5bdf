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

// Lowest F0 the epoch tracker searches, Hz: its work grows with the square of the longest period.
const double kEpochLowestF0 = 10.0;

// Tracks the samples of source (samplerate Hz) with F0 searched in [min, max]
// Hz and the given unvoiced cost, and writes one float per frame of frame_shift
// samples to out: otype 1 F0 in Hz (0 unvoiced), 2 its natural log
// (-1e10 unvoiced), any other the period in samples (0 unvoiced). The source is
// read to its end into the tracker, whose working records beyond a few MB go to
// temporary files, and the frames are written one by one: memory does not grow
// with the input. Returns kTrackDone; kTrackBadParameters when
// checkbrindelparams refuses the settings (before anything is read) or the
// input is too short for them (said in report; the caller shows its usage
// text); kTrackFailed with nothing written when the source fails (its owner
// reports), or with the failure said in report: an input longer than
// kEpochLongestInput, a temporary file that cannot be written, no track.
//   source       where the samples come from, read to its end (see samplesource),
//                taken as 16-bit values (see samplestoint16)
//   samplerate   sampling frequency, Hz
//   frame_shift  frame interval, samples
//   min, max     F0 range searched, Hz
//   threshold    the tracker's unvoiced cost (higher: more frames voiced)
//   otype        output type, as above
//   report       out: the messages of failures, appended (the caller's)
//   out          where the track goes (standard output unless the caller names a stream)
int brindelsource(samplesource source, double samplerate, int frame_shift, double min, double max,
                  double threshold, int otype, trackreport* report, FILE* out = stdout);

// The same over the length samples of the caller's array x.
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
