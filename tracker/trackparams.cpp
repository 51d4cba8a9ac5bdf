#include "trackparams.h"

#include <cmath>
#include <cstdarg>

namespace velk {

void trackreport::say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string line(n > 0 ? (size_t)n : 0, '\0');
  if (n > 0) vsnprintf(&line[0], line.size() + 1, format, again);
  va_end(again);
  if (!lines_.empty() && lines_.back().text == line)
    lines_.back().times++;
  else
    lines_.push_back(entry{line, 1});
}

std::string trackreport::text(bool repeats) const {
  std::string all;
  for (const entry& l : lines_)
    for (long k = 0; k < (repeats ? l.times : 1); k++) all += l.text;
  return all;
}

int trackreport::write(FILE* file) const {
  fputs(text().c_str(), file);
  return ferror(file) ? -1 : 0;
}

int checktrackerparams(double sample_freq, float min_f0, float max_f0, float* frame_step,
                       trackreport* report) {
  if (!(sample_freq >= kLowestSampleFreq && sample_freq <= kHighestSampleFreq)) {
    report->say("ERROR: sampling frequency must be between 4 and 1000 kHz.\n");
    report->say("invalid/inconsistent parameters -- exiting.\n");
    return -1;
  }
  bool ok = true;
  if (!(min_f0 < max_f0) || !(max_f0 < sample_freq / 2.0) || !(min_f0 >= sample_freq / 10000.0)) {
    report->say("ERROR: min(max)_f0 parameter inconsistent with sampling frequency.\n");
    ok = false;
  }
  // Whole samples; trunc() rounds as an int conversion would, for any value.
  const double d = trunc(*frame_step * sample_freq + 0.5) / sample_freq;
  if (d != *frame_step) *frame_step = (float)d;
  if (!(*frame_step <= 0.1f) || !(*frame_step >= 1.0 / sample_freq)) {
    report->say("ERROR: frame_step parameter must be between [1/sampling rate, 0.1].\n");
    ok = false;
  }
  if (ok) return 0;
  report->say("invalid/inconsistent parameters -- exiting.\n");
  return -1;
}

float framestepof(int frame_shift, double sample_freq) {
  return (float)(frame_shift / sample_freq);
}

int checkinputlength(double sample_freq, float frame_step, long length, trackreport* report) {
  if ((2 * frame_step + kCorrelationWindow) * sample_freq > length) {
    report->say("input range too small for analysis by zolvar.\n");
    return -1;
  }
  return 0;
}

}  // namespace velk
