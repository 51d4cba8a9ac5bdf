#include "figurepanels.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fdoubleio.h"
#include "figuredata.h"
#include "paramset.h"
#include "soundfile.h"
#include "stft.h"

namespace velk {

namespace {

const char* const kKindNames[] = {"f0", "wave", "envelope", "spectrogram"};

// A refusal on the way, carried to the entry that reports it.
struct panelrefusal {
  std::string message;
};

[[noreturn]] void fail(const std::string& message) {
  throw panelrefusal{message};
}

void warn(panelreport* r, const std::string& message) {
  r->warnings.push_back(message);
}

// Runs work; 0, or -1 with the refusal in the report.
template <class Work>
int refusal(panelreport* r, Work work) {
  try {
    work();
    return 0;
  } catch (const panelrefusal& e) {
    r->failure = e.message;
    return -1;
  }
}

// The default frame shift at a rate: 5 ms, the nearest whole sample, halves down.
long default_lframe(double rate) {
  return static_cast<long>(std::ceil(rate / 200.0 - 0.5));
}

// Moves the n values a reader allocated into v, or fails with the refusal when there are none.
std::vector<double> take_values(const std::string& file, double* values, uint32_t n,
                                const std::string& refusal) {
  std::vector<double> v;
  if (n > 0) v.assign(values, values + n);
  std::free(values);
  if (n == 0) fail("'" + file + "' " + refusal);
  return v;
}

// True when the file begins as a sound file does.
bool is_sound_file(const std::string& file) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) return false;
  char head[8] = {};
  const size_t got = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return startssoundfile(head, got);
}

// The floats of a parameter stream; a missing or empty file, or a sound file, is an error, a
// partial value at its end is reported and left out.
std::vector<double> read_stream(const std::string& file, panelreport* r) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) fail("Cannot read '" + file + "'");
  if (is_sound_file(file)) fail("'" + file + "' is a sound file, not a parameter stream");
  if (st.st_size % 4 != 0)
    warn(r, "'" + file + "' ends in " + std::to_string(st.st_size % 4) +
                " bytes that make no whole value; they are left out");
  double* values = nullptr;
  const uint32_t n = fdoubleread(file.c_str(), &values);
  return take_values(file, values, n,
                     n == 0 && errno == ENOMEM ? "cannot be read: not enough memory" : "holds no values");
}

// The samples of a sound file at its own rate (*rate).
std::vector<double> read_sound(const std::string& file, double* rate) {
  double* samples = nullptr;
  soundinfo info;
  const uint32_t n = readsound(file.c_str(), 0, &samples, &info);
  char problem[160];
  std::vector<double> v = take_values(
      file, samples, n, std::string("cannot be read: ") + soundproblem(info, problem, sizeof problem));
  *rate = info.readrate;
  return v;
}

// Whole frames of a cepstral stream; a partial frame at the end is reported and left out.
size_t cepstral_frames(const panelsource& p, size_t file, panelreport* r) {
  const std::vector<double>& v = p.values[file];
  const size_t width = static_cast<size_t>(p.ccord) + 1;
  const size_t frames = v.size() / width;
  if (frames == 0)
    fail("'" + p.files[file] + "' holds " + std::to_string(v.size()) +
         " values, less than one frame of order " + std::to_string(p.ccord));
  if (v.size() % width != 0)
    warn(r, "'" + p.files[file] + "' holds " + std::to_string(v.size() % width) +
                " values after its last whole frame of order " + std::to_string(p.ccord) +
                "; they are left out");
  return frames;
}

// The cepstral stream of the panel's file.
cepstralstream cepstra_of(const panelsource& p, size_t file) {
  cepstralstream c;
  c.values = &p.values[file];
  c.ccord = static_cast<uint32_t>(p.ccord);
  c.alpha = p.alpha;
  c.adapted = p.morvscale == 1;
  c.rate = p.rate;
  c.lframe = p.lframe;
  return c;
}

// The settings record of a stream file, when it has one (*path its name): a log-F0 file's is its
// name with ".json" appended; a cepstral file's is that of the log-F0 file of the same stem
// (k.cc: k.lf0.json) when that record names it as its cepstra.
bool stream_record(const std::string& file, bool cepstra, paramrecord* r, std::string* path) {
  const size_t slash = file.rfind('/'), dot = file.rfind('.');
  const std::string stem =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? file : file.substr(0, dot);
  *path = cepstra ? paramrecordpath(stem + ".lf0") : paramrecordpath(file);
  std::string problem;
  const int found = readparamrecord(path->c_str(), r, &problem);
  if (found == -1) fail("'" + *path + "' is no settings record: " + problem);
  const std::string named = cepstra ? r->cc : r->lf0;
  return found == 1 && (!cepstra || recordstreamname(stem + ".lf0", file) == named);
}

std::string numbertext(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// Fails when a panel option holds another value than the record.
void check_agrees(bool given, double option, double recorded, const char* name, const std::string& record) {
  if (given && option != recorded)
    fail("--" + std::string(name) + "=" + numbertext(option) + " contradicts '" + record + "', which gives " +
         name + " " + numbertext(recorded));
}

// Takes the rate, frame shift, order, warping and range adaptation of the panel's streams from the
// record of its first file, when it has one; options that contradict it fail, and so do further
// files whose records differ.
void apply_records(panelsource* p) {
  const bool cepstra = p->kind != panelkind::f0;
  paramrecord first;
  std::string firstpath;
  for (size_t k = 0; k < p->files.size(); ++k) {
    paramrecord r;
    std::string path;
    if (!stream_record(p->files[k], cepstra, &r, &path)) continue;
    if (firstpath.empty()) {
      first = r;
      firstpath = path;
    }
    const bool same =
        r.fs == first.fs && r.lframe == first.lframe &&
        (!cepstra || (r.ccord == first.ccord && r.alpha == first.alpha && r.morvscale == first.morvscale));
    if (!same)
      fail("'" + path + "' and '" + firstpath +
           "' give other settings: draw their streams in panels of their own");
  }
  if (firstpath.empty()) return;
  check_agrees(p->fs > 0, p->fs, first.fs, "fs", firstpath);
  check_agrees(p->lframe > 0, p->lframe, first.lframe, "lframe", firstpath);
  p->fs = first.fs;
  p->lframe = first.lframe;
  if (!cepstra) return;
  check_agrees(p->ccord >= 0, p->ccord, first.ccord, "ccord", firstpath);
  check_agrees(!std::isnan(p->alpha), p->alpha, first.alpha, "alpha", firstpath);
  check_agrees(p->morvscale >= 0, p->morvscale, first.morvscale ? 1 : 0, "morvscale", firstpath);
  p->ccord = first.ccord;
  p->alpha = first.alpha;
  p->morvscale = first.morvscale ? 1 : 0;
}

void load_panel(panelsource* p, panelreport* r) {
  const bool sound =
      p->kind == panelkind::wave || (p->kind == panelkind::spectrogram && is_sound_file(p->files[0]));
  p->sound = sound;
  if (sound) {
    if (p->fs > 0)
      warn(r, "--fs is left out for the sound file '" + p->files[0] + "', which says its own rate");
    p->values.push_back(read_sound(p->files[0], &p->rate));
    p->end = (p->values[0].size() - 1) / p->rate;
    return;
  }
  apply_records(p);
  if (p->ccord < 0) p->ccord = 39;
  if (std::isnan(p->alpha)) p->alpha = 0.42;
  if (p->morvscale < 0) p->morvscale = 1;
  p->rate = p->fs > 0 ? p->fs : kStreamRate;
  if (p->lframe == 0) p->lframe = default_lframe(p->rate);
  for (const std::string& f : p->files) p->values.push_back(read_stream(f, r));
  if (p->kind == panelkind::f0) {
    for (const std::vector<double>& v : p->values)
      p->end = std::max(p->end, (v.size() - 1) * p->lframe / p->rate);
  } else if (p->kind == panelkind::spectrogram) {
    p->end = (cepstral_frames(*p, 0, r) - 1) * p->lframe / p->rate;
  }
}

double top_frequency(const panelsource& p) {
  return p.fmax > 0 ? std::min(p.fmax, p.rate / 2) : p.rate / 2;
}

// The Hann window of ms milliseconds at the rate; fails beyond kMaxWindow samples.
stftplan analysis_plan(double ms, double rate) {
  const double samples = std::round(ms * rate / 1000);
  if (samples > kMaxWindow)
    fail("A window of " + plainnumber(ms) + " ms is " + plainnumber(samples) + " samples at " +
         plainnumber(rate) + " Hz, more than " + std::to_string(kMaxWindow) + " (shorten --window)");
  return planstft(std::max<uint32_t>(2, static_cast<uint32_t>(samples)), rate);
}

// Short-time spectra of the panel's sound over the time range.
levelimage sound_spectrogram(const panelsource& p, const plotaxis& time) {
  const stftplan plan = analysis_plan(p.windowms > 0 ? p.windowms : 25, p.rate);
  return soundspectrogram(plan, p.values[0], p.rate, p.hopms, time.min, time.max);
}

// The envelopes of the frames of cepstra over the time range, one column a frame (or fewer).
levelimage cepstral_spectrogram(const panelsource& p, const plotaxis& time, panelreport* r) {
  return cepstralspectrogram(cepstra_of(p, 0), cepstral_frames(p, 0, r), time.min, time.max);
}

// Builds the figure panels ----------------------------------------------------------------

// The levels of spectra and envelopes: the two-sided power spectral density of the signal on
// the +-1 full scale.
const char* const kLevelName = "Power density (dB re FS\u00b2/Hz)";

void add_labels(const panelsource& p, figurepanel* f) {
  for (size_t i = 0; i < p.labels.size(); ++i) f->curves[i].label = p.labels[i];
}

// The contours against time; in a picture the values keep clear of the frame, in a graph
// description the scale ends at the ticks around them as it always has.
figurepanel f0_panel(const panelsource& p, const plotaxis& time, bool picture, panelreport* r) {
  figurepanel f;
  for (const std::vector<double>& v : p.values) f.curves.push_back(f0curve(v, p.rate, p.lframe, p.hz));
  add_labels(p, &f);
  double lo, hi;
  if (!curvesrange(f.curves, &lo, &hi)) {
    for (const std::string& file : p.files) warn(r, "'" + file + "' holds no voiced frames");
    lo = 50.0, hi = 400.0;
  }
  f.x = time;
  f.y = picture ? contouraxis(lo, hi) : niceaxis(lo, hi, true);
  f.yname = "F0 (Hz)";
  return f;
}

figurepanel wave_panel(const panelsource& p, const plotaxis& time) {
  figurepanel f;
  f.curves.push_back(wavecurve(p.values[0], p.rate, time.min, time.max));
  double lo, hi;
  finiterange(f.curves[0].ys, &lo, &hi);
  const double peak = std::isfinite(lo) ? std::max({std::fabs(lo), std::fabs(hi), 1.0 / 32768}) : 1.0;
  f.x = time;
  f.y = niceaxis(-peak, peak, true);
  f.yname = "Amplitude";
  f.thin = true;
  return f;
}

// The short-time spectrum of the sound file behind an envelope, at the frame's time.
plotcurve frame_spectrum(const panelsource& p, const std::string& file) {
  double rate = 0;
  const std::vector<double> x = read_sound(file, &rate);
  const double t = p.frame * p.lframe / p.rate;
  const long centre = std::lround(t * rate);
  if (centre >= static_cast<long>(x.size()))
    fail("Frame " + std::to_string(p.frame) + " (" + plainnumber(t) + " s) is beyond the end of '" + file +
         "'");
  const double windowms = p.windowms > 0 ? p.windowms : 40;
  const stftplan plan = analysis_plan(windowms, rate);
  std::vector<double> work(plan.nfft);
  plotcurve c;
  c.label = "short-time spectrum (" + plainnumber(windowms) + " ms Hann)";
  c.ys.resize(plan.nfft / 2 + 1);
  framespectrumdb(plan, x.data(), x.size(), centre, work.data(), c.ys.data());
  for (size_t k = 0; k < c.ys.size(); ++k) c.xs.push_back(k * rate / plan.nfft / 1000);
  return c;
}

figurepanel envelope_panel(const panelsource& p, panelreport* r) {
  figurepanel f;
  for (size_t i = 0; i < p.values.size(); ++i) {
    const size_t frames = cepstral_frames(p, i, r);
    if (static_cast<size_t>(p.frame) >= frames)
      fail("Frame " + std::to_string(p.frame) + " is beyond the " + std::to_string(frames) + " frames of '" +
           p.files[i] + "'");
    plotcurve c;
    c.ys = frameenvelope(cepstra_of(p, i), static_cast<size_t>(p.frame));
    if (std::none_of(c.ys.begin(), c.ys.end(), [](double v) { return std::isfinite(v); }))
      fail("Frame " + std::to_string(p.frame) + " of '" + p.files[i] + "' holds no finite values");
    for (int k = 0; k < kEnvelopePoints; ++k) c.xs.push_back(p.rate / 2000 * k / (kEnvelopePoints - 1));
    f.curves.push_back(c);
  }
  add_labels(p, &f);
  double lo, hi;
  curvesrange(f.curves, &lo, &hi);
  if (!p.spectrum.empty()) {
    // Beside the spectrum's entry in the legend, every envelope has one.
    for (size_t i = p.labels.size(); i < f.curves.size(); ++i)
      f.curves[i].label = f.curves.size() == 1 ? "envelope" : p.files[i];
    f.behind.push_back(frame_spectrum(p, p.spectrum));
    double slo, shi;
    if (finiterange(f.behind[0].ys, &slo, &shi)) {
      hi = std::max(hi, shi);
      lo = std::max(lo - 20, hi - 100);  // the spectrum's deep notches are cut, not the envelope
    }
  }
  f.x = niceaxis(0.0, top_frequency(p) / 1000, false);
  f.y = niceaxis(lo, hi, true);
  f.xname = "Frequency (kHz)";
  f.yname = kLevelName;
  return f;
}

figurepanel spectrogram_panel(const panelsource& p, const plotaxis& time, panelreport* r) {
  figurepanel f;
  f.x = time;
  f.y = niceaxis(0.0, top_frequency(p) / 1000, false);
  f.yname = "Frequency (kHz)";
  f.grid = false;
  f.hasimage = true;
  f.image = p.sound ? sound_spectrogram(p, time) : cepstral_spectrogram(p, time, r);
  f.image.top = std::ceil(loudest(f.image));
  f.image.range = p.range;
  f.image.grey = p.grey;
  f.image.barname = kLevelName;
  if (!p.f0file.empty()) {
    double rate = p.fs > 0 ? p.fs : p.rate;
    long lframe = p.lframe > 0 ? p.lframe : default_lframe(rate);
    paramrecord record;
    std::string path;
    if (stream_record(p.f0file, false, &record, &path)) {
      rate = record.fs;
      lframe = record.lframe;
    }
    f.hasoverlay = true;
    f.overlay = f0curve(read_stream(p.f0file, r), rate, lframe, p.hz);
    f.overlay.label = p.labels.empty() ? "" : p.labels[0];
    f.overlayownaxis = p.f0right;
    double lo, hi;
    if (!finiterange(f.overlay.ys, &lo, &hi)) {
      warn(r, "'" + p.f0file + "' holds no voiced frames");
      lo = 50.0, hi = 400.0;
    }
    if (p.f0right) {
      f.overlayaxis = contouraxis(lo, hi);
      f.overlayname = "F0 (Hz)";
    } else {
      for (double& y : f.overlay.ys) y /= 1000;  // on the kHz axis
    }
  }
  return f;
}

figurepanel figure_panel(const panelsource& p, const plotaxis& time, bool last_time_panel, bool picture,
                         panelreport* r) {
  figurepanel f;
  switch (p.kind) {
    case panelkind::f0:
      f = f0_panel(p, time, picture, r);
      break;
    case panelkind::wave:
      f = wave_panel(p, time);
      break;
    case panelkind::envelope:
      f = envelope_panel(p, r);
      break;
    case panelkind::spectrogram:
      f = spectrogram_panel(p, time, r);
      break;
  }
  if (istimepanel(p) && last_time_panel) f.xname = "Time (s)";
  if (!p.text.xname.empty()) f.xname = p.text.xname;
  if (!p.text.yname.empty()) f.yname = p.text.yname;
  f.title = p.text.title;
  return f;
}

// A stream read at the default rate beside a sound of another rate is most likely a mistake.
void check_rates(const std::vector<panelsource>& panels, panelreport* r) {
  for (const panelsource& sound : panels) {
    if (!sound.sound || sound.rate == kStreamRate) continue;
    for (const panelsource& p : panels)
      if (!p.sound && istimepanel(p) && p.fs == 0)
        warn(r, "'" + p.files[0] + "' is read at 16000 Hz while '" + sound.files[0] + "' is at " +
                    std::to_string(static_cast<long>(sound.rate)) + " Hz (give the stream's rate with --fs)");
  }
}

}  // namespace

const char* panelkindname(panelkind kind) {
  return kKindNames[static_cast<int>(kind)];
}

bool istimepanel(const panelsource& p) {
  return p.kind != panelkind::envelope;
}

std::string plainnumber(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%g", v);
  return s;
}

int loadpanel(panelsource* p, panelreport* report) {
  return refusal(report, [p, report] { load_panel(p, report); });
}

void checkrates(const std::vector<panelsource>& panels, panelreport* report) {
  check_rates(panels, report);
}

int buildpanel(const panelsource& p, const plotaxis& time, bool lasttimepanel, bool picture, figurepanel* f,
               panelreport* report) {
  return refusal(report, [&] { *f = figure_panel(p, time, lasttimepanel, picture, report); });
}

}  // namespace velk
