// Parameter checks, results and messages shared by the pitch command's two trackers, so that both
// refuse the same settings with the same messages before any work. The trackers print nothing:
// what they have to say goes into a trackreport their caller owns and shows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velk {

// What a tracker entry returns.
enum trackstatus {
  kTrackDone = 0,           // the whole track was written
  kTrackFailed = 1,         // the tracker failed part-way; the report says why
  kTrackBadParameters = 2,  // refused before any work (the report says why); the command shows
                            // the usage text, status 1
};

// The messages of a tracker's warnings and failures, in the order they arose, each ending in
// '\n'. A message equal to the one before it is counted rather than stored again, so a warning
// given for every block does not grow with the input. Made empty by its owner, who
// shows the text: the pitch command on standard error, the Python module in its warning or
// exception.
class trackreport {
 public:
  // Appends one message, formatted as printf does; the format ends in '\n'.
  void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool empty() const { return lines_.empty(); }
  // All messages, a repeated one as often as it was said (with repeats false: once).
  std::string text(bool repeats = true) const;
  // Writes text() to file; 0, or -1 when the stream reports an error.
  int write(FILE* file) const;

 private:
  struct entry {
    std::string text;
    long times;
  };
  std::vector<entry> lines_;
};

// Sampling frequencies (Hz) the trackers analyse.
const double kLowestSampleFreq = 4000.0;
const double kHighestSampleFreq = 1000000.0;

// Checks the sampling frequency sample_freq (Hz, 4 to 1000 kHz), the F0 range [min_f0, max_f0]
// (Hz: min_f0 < max_f0 < sample_freq / 2 and min_f0 >= sample_freq / 10000) and the frame step
// (*frame_step seconds, rounded here to whole samples, at least one sample and at most 0.1 s).
// Returns 0; -1 after adding the "ERROR: ..." line(s) and "invalid/inconsistent parameters --
// exiting." to report.
int checktrackerparams(double sample_freq, float min_f0, float max_f0, float* frame_step,
                       trackreport* report);

// The frame step of frame_shift samples at sample_freq Hz, in seconds, as the trackers hold it.
float framestepof(int frame_shift, double sample_freq);

// Where a tracker reads its input: read(context, dst, n) stores up to n samples at dst and
// returns how many (fewer than n only at the end of the input; 0 there), or -1 after a read
// error, which the source's owner reports.
struct samplesource {
  long (*read)(void* context, float* dst, long n);
  void* context;
};

// Returns 0 when length samples are enough for the correlation analysis: at least two frame
// steps (seconds) and the 7.5 ms correlation window. Otherwise adds "input range too small for
// analysis by zolvar." to report and returns -1.
int checkinputlength(double sample_freq, float frame_step, long length, trackreport* report);

// The correlation window of the dynamic-programming tracker, seconds.
const float kCorrelationWindow = 0.0075f;

}  // namespace velk
