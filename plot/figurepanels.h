// The panels of velkplot's figures: what each panel draws (its kind, files and settings), its
// files read (parameter streams with their settings records, sound files) and the figure panel
// built from them: curves, axes and level images (figuredata), ready for a page or a graph
// description.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "describe.h"
#include "figure.h"

namespace velk {

const double kStreamRate = 16000.0;  // rate of a stream file unless the panel says otherwise
const uint32_t kMaxWindow = 16384;   // longest analysis window in samples

enum class panelkind { f0, wave, envelope, spectrogram };

// The name of the kind on the command line: "f0", "wave", "envelope" or "spectrogram".
const char* panelkindname(panelkind kind);

// One panel: what the command line asks for, then what loadpanel reads.
struct panelsource {
  panelkind kind = panelkind::f0;
  std::vector<std::string> files, labels;
  double fs = 0;    // rate of stream files; 0: the sound's own, or 16000
  long lframe = 0;  // 0: the rate's default
  bool hz = false;
  long frame = -1;
  double alpha = NAN;  // NaN, ccord and morvscale -1: not given (0.42, 39 and 1, or the record's)
  long ccord = -1;
  long morvscale = -1;
  double windowms = 0, hopms = 2, range = 70, fmax = 0;
  bool grey = false;
  std::string f0file, spectrum;
  bool f0right = true;
  paneltext text;
  // Loaded:
  bool sound = false;  // a spectrogram of a sound, not of cepstra
  double rate = kStreamRate;
  std::vector<std::vector<double>> values;  // each file's stream, or the samples
  double end = 0.0;                         // time of the last frame or sample (time panels)
};

// What reading and building panels said: the warnings in the order they came, and the reason
// of a refusal (empty while there is none). Lines without the program's name and end marks.
struct panelreport {
  std::vector<std::string> warnings;
  std::string failure;
};

// True for the panels drawn against time (all but the envelope).
bool istimepanel(const panelsource& p);

// v with %g.
std::string plainnumber(double v);

// Reads the panel's files: a sound file's samples at its own rate, or the parameter streams at the
// rate, frame shift and cepstral settings of their settings records (when they have one), of the
// panel's options and of the defaults, and the time of the panel's end. Returns 0, or -1 with
// report->failure (a file that cannot be read or holds no values, records that contradict the
// options or each other); warnings go into the report either way.
int loadpanel(panelsource* p, panelreport* report);

// Warns of streams read at the default rate beside a sound file of another rate.
void checkrates(const std::vector<panelsource>& panels, panelreport* report);

// The figure panel of a loaded panel over the time axis: its curves, axes, names and image; the
// last time panel of a page names the time axis, and a picture keeps contours clear of the frame.
// Returns 0, or -1 with report->failure (a frame beyond a stream, a window too long, a sound file
// that cannot be read).
int buildpanel(const panelsource& p, const plotaxis& time, bool lasttimepanel, bool picture, figurepanel* f,
               panelreport* report);

}  // namespace velk
