// The epoch tracker as a tracker of the pitch command: runs EpochTracker over
// the command's sample list and writes the F0 track, one 32-bit float per frame.
#ifndef VELK_PITCH_BRINDEL_EPOCHDRIVE_H
#define VELK_PITCH_BRINDEL_EPOCHDRIVE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "epoch_tracker.h"
#include "float_list.h"
#include "track.h"

// Tracks the length samples of input (samplerate Hz) with F0 searched in
// [min, max] Hz and the given unvoiced cost, and writes one float per frame of
// frame_shift samples to standard output: otype 1 F0 in Hz (0 unvoiced), 2 its
// natural log (-1e10 unvoiced), any other the period in samples (0 unvoiced).
// Returns 0, or 1 after a failure message with nothing written.
int brindel(float_list* input, int length, double samplerate, int frame_shift, double min, double max,
            double threshold, int otype);

// The list's samples truncated toward zero, clamped to the 16-bit range first.
std::vector<int16_t> ListToSamples(const float_list* input, int length);

// Computes the features and the epochs, then the F0 and correlation tracks at
// external_frame_interval seconds. The pitch-mark track is not produced.
bool ComputeEpochsAndF0(EpochTracker& et, float unvoiced_pulse_interval, float external_frame_interval,
                        std::unique_ptr<Track>* pm, std::unique_ptr<Track>* f0, std::unique_ptr<Track>* corr);

// The F0 track (F0 in Hz, -1 when unvoiced) at resample_interval seconds, and
// the correlation track through cor; absent when resampling fails.
std::unique_ptr<Track> MakeF0Output(EpochTracker& et, float resample_interval, std::unique_ptr<Track>* cor);

#endif
