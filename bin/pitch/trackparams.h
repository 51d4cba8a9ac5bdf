// Parameter checks and results shared by the pitch command's two trackers, so that both refuse
// the same settings with the same messages before any work.
#ifndef VELK_PITCH_TRACKPARAMS_H
#define VELK_PITCH_TRACKPARAMS_H

// What a tracker entry returns.
enum TrackStatus {
  kTrackDone = 0,           // the whole track was written
  kTrackFailed = 1,         // the tracker failed part-way; the failure was reported
  kTrackBadParameters = 2,  // refused before any work; the caller shows the usage text, status 1
};

// Sampling frequencies (Hz) the trackers analyse.
const double kLowestSampleFreq = 4000.0;
const double kHighestSampleFreq = 1000000.0;

// Checks the sampling frequency sample_freq (Hz, 4 to 1000 kHz), the F0 range [min_f0, max_f0]
// (Hz: min_f0 < max_f0 < sample_freq / 2 and min_f0 >= sample_freq / 10000) and the frame step
// (*frame_step seconds, rounded here to whole samples, at least one sample and at most 0.1 s).
// On an error prints the "ERROR: ..." line(s) and "invalid/inconsistent parameters -- exiting."
// on standard error and returns false.
bool tracker_params_ok(double sample_freq, float min_f0, float max_f0, float* frame_step);

// The frame step of frame_shift samples at sample_freq Hz, in seconds, as the trackers hold it.
float frame_step_of(int frame_shift, double sample_freq);

// True when length samples are enough for the correlation analysis: at least two frame steps
// (seconds) and the 7.5 ms correlation window. Otherwise prints "input range too small for
// analysis by zolvar." on standard error and returns false.
bool input_long_enough(double sample_freq, float frame_step, long length);

// The correlation window of the dynamic-programming tracker, seconds.
const float kCorrelationWindow = 0.0075f;

#endif
