#include "trackparams.h"

#include <cmath>
#include <cstdio>

bool tracker_params_ok(double sample_freq, float min_f0, float max_f0, float* frame_step) {
  if (!(sample_freq >= kLowestSampleFreq && sample_freq <= kHighestSampleFreq)) {
    fprintf(stderr, "ERROR: sampling frequency must be between 4 and 1000 kHz.\n");
    fprintf(stderr, "invalid/inconsistent parameters -- exiting.\n");
    return false;
  }
  bool ok = true;
  if (!(min_f0 < max_f0) || !(max_f0 < sample_freq / 2.0) || !(min_f0 >= sample_freq / 10000.0)) {
    fprintf(stderr, "ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n");
    ok = false;
  }
  // Whole samples; trunc() rounds as an int conversion would, for any value.
  const double d = trunc(*frame_step * sample_freq + 0.5) / sample_freq;
  if (d != *frame_step) *frame_step = (float)d;
  if (!(*frame_step <= 0.1f) || !(*frame_step >= 1.0 / sample_freq)) {
    fprintf(stderr, "ERROR: frame_step parameter must be between [1/sampling rate, 0.1].\n");
    ok = false;
  }
  if (!ok) fprintf(stderr, "invalid/inconsistent parameters -- exiting.\n");
  return ok;
}

float frame_step_of(int frame_shift, double sample_freq) {
  return (float)(frame_shift / sample_freq);
}

bool input_long_enough(double sample_freq, float frame_step, long length) {
  if ((2 * frame_step + kCorrelationWindow) * sample_freq > length) {
    fprintf(stderr, "input range too small for analysis by zolvar.\n");
    return false;
  }
  return true;
}
