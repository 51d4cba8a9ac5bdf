// velkplot: figures of the toolkit's data. Each panel (F0 contours, a waveform, spectral
// envelopes of one frame, a spectrogram of a sound or of warped cepstra) is drawn with -o
// through cairo into a PNG, SVG or PDF picture of a chosen size, several panels on one page
// sharing their time axis; without -o the one panel goes to standard output as a graph
// description.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmdline.h"
#include "describe.h"
#include "envelope.h"
#include "fdoubleio.h"
#include "paramset.h"
#include "figure.h"
#include "figuredata.h"
#include "graphpage.h"
#include "picture.h"
#include "soundfile.h"
#include "stft.h"
#include "velkcodec.h"
#include "tempfiles.h"

using namespace velk;

namespace {

const char* cmnd = "velkplot";
const double kStreamRate = 16000.0;  // rate of a stream file unless --fs says otherwise
const double kMaxPixels = 100e6;     // largest PNG page
const int kMaxSide = 32767;          // longest side of a PNG page (cairo's limit)
const uint32_t kMaxWindow = 16384;   // longest analysis window in samples

void print_usage(const char*) {
  printusagehead(stderr, cmnd, "figures of speech parameter streams",
                 "[ -o picture ] panel file... [ options ] [ panel file... [ options ] ... ]");
  std::fprintf(stderr, "  panels:\n");
  std::fprintf(stderr, "       f0 file...        : F0 contours from log-F0 (or Hz with --hz)\n");
  std::fprintf(stderr, "       wave file         : waveform of a sound file (WAV, FLAC, ...)\n");
  std::fprintf(stderr, "       envelope file...  : spectral envelopes of one frame of warped cepstra\n");
  std::fprintf(stderr, "       spectrogram file  : short-time spectra of a sound file, or the\n");
  std::fprintf(stderr, "                           envelopes of warped cepstra (needs -o)\n");
  std::fprintf(stderr, "  options of the panel before them:\n");
  std::fprintf(stderr, "       --fs=R           : sampling rate of a stream file  [16000]\n");
  std::fprintf(stderr, "                          (a stream with a settings record, k.lf0.json\n");
  std::fprintf(stderr, "                          for k.lf0 and k.cc, takes --fs, --lframe,\n");
  std::fprintf(stderr, "                          --alpha, --ccord and --morvscale from it)\n");
  std::fprintf(stderr, "       --lframe=n       : frame shift in samples    [R/200: 80 at 16000]\n");
  std::fprintf(stderr, "       --hz             : F0 in Hz, 0 unvoiced         [log-F0]\n");
  std::fprintf(stderr, "       --label=t        : legend entry of the next file (repeatable)\n");
  std::fprintf(stderr, "       --frame=k        : frame of the envelope panel\n");
  std::fprintf(stderr, "       --spectrum=file  : sound file whose short-time spectrum of the\n");
  std::fprintf(stderr, "                          frame goes behind the envelope\n");
  std::fprintf(stderr, "       --alpha=a        : warping factor               [0.42]\n");
  std::fprintf(stderr, "       --ccord=p        : cepstral order               [39]\n");
  std::fprintf(stderr, "       --morvscale=m    : 1 range-adapted cepstra, 0 plain [1]\n");
  std::fprintf(stderr, "       --window=ms      : analysis window (Hann)  [25; 40 for --spectrum]\n");
  std::fprintf(stderr, "       --hop=ms         : spectrogram frame step       [2]\n");
  std::fprintf(stderr, "       --range=dB       : levels shown below the loudest [70]\n");
  std::fprintf(stderr, "       --fmax=Hz        : top of the frequency axis    [half the rate]\n");
  std::fprintf(stderr, "       --grey           : grey levels, not colours\n");
  std::fprintf(stderr, "       --f0=file        : F0 contour over the spectrogram\n");
  std::fprintf(stderr, "       --f0axis=a       : right: its own Hz axis, frequency: the\n");
  std::fprintf(stderr, "                          spectrogram's                [right]\n");
  std::fprintf(stderr, "       --from=s --to=s  : time axis range in seconds   [whole signal]\n");
  std::fprintf(stderr, "       --title=t --xname=t --yname=t : title and axis names\n");
  std::fprintf(stderr, "  options of the figure (anywhere):\n");
  std::fprintf(stderr, "       -o picture       : .png, .svg or .pdf picture   [graph description\n");
  std::fprintf(stderr, "                          of one panel on stdout, for graph -t 1]\n");
  std::fprintf(stderr, "       --size=WxH       : page in inches, or pixels with px  [7x4, 1.2+2.4\n");
  std::fprintf(stderr, "                          inches a panel when several]\n");
  std::fprintf(stderr, "       --dpi=N          : pixels an inch of a PNG picture [150]\n");
  std::fprintf(stderr, "       --fontsize=pt    : size of the axis names       [10]\n");
  std::fprintf(stderr, "       --figtitle=t     : title of the figure\n");
  std::fprintf(stderr, "       -h               : print this message \n");
}

[[noreturn]] void usage(int status) {
  print_usage(cmnd);
  std::exit(status);
}

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "%s : %s!\n", cmnd, message.c_str());
  std::exit(1);
}

void warn(const std::string& message) {
  std::fprintf(stderr, "%s : Warning: %s.\n", cmnd, message.c_str());
}

enum class Kind { F0, Wave, Envelope, Spectrogram };

struct Panel {
  Kind kind;
  std::vector<std::string> files, labels;
  double fs = 0;    // rate of stream files; 0: the sound's own, or 16000
  long lframe = 0;  // 0: the rate's default
  bool hz = false;
  long frame = -1;
  double alpha = NAN;  // NaN, ccord and morvscale -1: not given (0.42, 39 and 1, or the record's)
  long ccord = -1;
  long morvscale = -1;
  double window_ms = 0, hop_ms = 2, range = 70, fmax = 0;
  bool grey = false;
  std::string f0file, spectrum;
  bool f0_right = true;
  paneltext text;
  // Loaded:
  bool sound = false;  // a spectrogram of a sound, not of cepstra
  double rate = kStreamRate;
  std::vector<std::vector<double>> values;  // each file's stream, or the samples
  double end = 0.0;                         // time of the last frame or sample (time panels)
};

bool is_time_panel(const Panel& p) {
  return p.kind != Kind::Envelope;
}

struct Settings {
  std::vector<Panel> panels;
  const char* output = nullptr;
  double from = NAN, to = NAN;
  double width = 0, height = 0;  // page in inches (or pixels with pixels)
  bool pixels = false;
  double dpi = 150, fontpt = 10;
  std::string title;
  std::vector<std::string> figure_options;  // given, for the note without -o
};

// commandinfo line ---------------------------------------------------------------------------

double number_value(const std::string& option, const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
    fail("Invalid value in '" + option + "'");
  return v;
}

std::string plain_number(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%g", v);
  return s;
}

double bounded_value(const std::string& option, const std::string& text, double lo, double hi) {
  const double v = number_value(option, text);
  if (v < lo || v > hi)
    fail("Invalid value in '" + option + "' (from " + plain_number(lo) + " to " + plain_number(hi) + ")");
  return v;
}

long integer_value(const std::string& option, const std::string& text, long lo, long hi) {
  const double v = number_value(option, text);
  if (v != std::floor(v) || v < lo || v > hi)
    fail("Invalid value in '" + option + "' (an integer from " + std::to_string(lo) + " to " +
         std::to_string(hi) + ")");
  return static_cast<long>(v);
}

// --size=WxH: inches, or pixels with a final px.
void page_size(const std::string& option, std::string value, Settings* s) {
  s->pixels = value.size() > 2 && value.compare(value.size() - 2, 2, "px") == 0;
  if (s->pixels) value.resize(value.size() - 2);
  const size_t x = value.find('x');
  if (x == std::string::npos)
    fail("Invalid value in '" + option + "' (width x height, as 7x4 or 1200x800px)");
  s->width = number_value(option, value.substr(0, x));
  s->height = number_value(option, value.substr(x + 1));
  const double lo = s->pixels ? 16 : 1, hi = s->pixels ? 100000 : 200;
  if (s->width < lo || s->height < lo || s->width > hi || s->height > hi)
    fail("Invalid value in '" + option + "' (each side from " + std::to_string(static_cast<int>(lo)) +
         " to " + std::to_string(static_cast<int>(hi)) + (s->pixels ? " pixels)" : " inches)"));
}

// The options of the figure, valid anywhere; false for any other.
bool figure_option(const std::string& name, const std::string& a, const std::string& value, Settings* s) {
  if (name == "size")
    page_size(a, value, s);
  else if (name == "dpi")
    s->dpi = bounded_value(a, value, 10, 2400);
  else if (name == "fontsize")
    s->fontpt = bounded_value(a, value, 4, 72);
  else if (name == "figtitle")
    s->title = value;
  else
    return false;
  s->figure_options.push_back(a);
  return true;
}

const char* const kKindNames[] = {"f0", "wave", "envelope", "spectrogram"};

// True when the option `name` means something to a panel of the kind.
bool option_applies(const std::string& name, Kind kind) {
  const bool f0 = kind == Kind::F0, envelope = kind == Kind::Envelope,
             spectrogram = kind == Kind::Spectrogram;
  if (name == "hz") return f0 || spectrogram;
  if (name == "label") return kind != Kind::Wave;
  if (name == "frame" || name == "spectrum") return envelope;
  if (name == "alpha" || name == "ccord" || name == "morvscale" || name == "window" || name == "fmax")
    return envelope || spectrogram;
  if (name == "hop" || name == "range" || name == "grey" || name == "f0" || name == "f0axis")
    return spectrogram;
  return true;
}

// The panel options whose value is a number in a range, and the field each sets.
struct NumberOption {
  const char* name;
  double Panel::*field;
  double lo, hi;
};
const NumberOption kNumberOptions[] = {{"fs", &Panel::fs, 1000, 384000},
                                       {"window", &Panel::window_ms, 1, 1000},
                                       {"hop", &Panel::hop_ms, 0.1, 1000},
                                       {"range", &Panel::range, 10, 200},
                                       {"fmax", &Panel::fmax, 100, 192000}};

// The same for the options whose value is a whole number.
struct IntegerOption {
  const char* name;
  long Panel::*field;
  long lo, hi;
};
const IntegerOption kIntegerOptions[] = {{"lframe", &Panel::lframe, 1, 160000},
                                         {"frame", &Panel::frame, 0, 2147483647L},
                                         {"ccord", &Panel::ccord, 1, 1000},
                                         {"morvscale", &Panel::morvscale, 0, 1}};

void panel_option(const std::string& a, Panel* p, Settings* s) {
  const size_t eq = a.find('=');
  const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
  const std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
  const bool flag = name == "hz" || name == "grey";
  if (flag != (eq == std::string::npos)) fail("Invalid option '" + a + "'");
  if (!flag && figure_option(name, a, value, s)) return;
  if (p == nullptr) fail("Option '" + a + "' comes before any panel");
  if (!option_applies(name, p->kind))
    fail("Option '" + a + "' does not apply to the " + kKindNames[static_cast<int>(p->kind)] + " panel");
  if (flag) {
    (name == "hz" ? p->hz : p->grey) = true;
    return;
  }
  for (const NumberOption& o : kNumberOptions)
    if (name == o.name) {
      p->*o.field = bounded_value(a, value, o.lo, o.hi);
      return;
    }
  for (const IntegerOption& o : kIntegerOptions)
    if (name == o.name) {
      p->*o.field = integer_value(a, value, o.lo, o.hi);
      return;
    }
  if (name == "alpha") {
    p->alpha = number_value(a, value);
    if (!(p->alpha > -1.0 && p->alpha < 1.0))
      fail("Invalid value in '" + a + "' (from -1 to 1, both excluded)");
  } else if (name == "f0") {
    p->f0file = value;
  } else if (name == "f0axis") {
    if (value != "right" && value != "frequency") fail("Invalid value in '" + a + "' (right or frequency)");
    p->f0_right = value == "right";
  } else if (name == "spectrum") {
    p->spectrum = value;
  } else if (name == "label") {
    p->labels.push_back(value);
  } else if (name == "from") {
    s->from = number_value(a, value);
  } else if (name == "to") {
    s->to = number_value(a, value);
  } else if (name == "title") {
    p->text.title = value;
  } else if (name == "xname") {
    p->text.xname = value;
  } else if (name == "yname") {
    p->text.yname = value;
  } else {
    fail("Invalid option '" + a + "'");
  }
}

bool panel_kind(const std::string& a, Kind* k) {
  if (a == "f0")
    *k = Kind::F0;
  else if (a == "wave")
    *k = Kind::Wave;
  else if (a == "envelope")
    *k = Kind::Envelope;
  else if (a == "spectrogram")
    *k = Kind::Spectrogram;
  else
    return false;
  return true;
}

// Checks of the options together, once all are read.
void check_settings(const Settings& s) {
  if (s.panels.empty()) usage(1);
  for (const Panel& p : s.panels) {
    const std::string kind = kKindNames[static_cast<int>(p.kind)];
    if (p.files.empty()) fail("A panel has no file");
    if ((p.kind == Kind::Wave || p.kind == Kind::Spectrogram) && p.files.size() > 1)
      fail("The " + kind + " panel takes one file, not " + std::to_string(p.files.size()));
    if (p.labels.size() > p.files.size())
      fail("The " + kind + " panel has " + std::to_string(p.labels.size()) + " labels for " +
           std::to_string(p.files.size()) + " files");
    if (p.kind == Kind::Envelope && p.frame < 0)
      fail("The envelope panel of '" + p.files[0] + "' needs --frame=k");
  }
  if (s.output == nullptr && s.panels.size() > 1) fail("Several panels go on one page only with -o picture");
  if (s.output == nullptr && s.panels[0].kind == Kind::Spectrogram)
    fail("The spectrogram panel needs -o picture");
  if (s.output && picturetype(s.output) == picturekind::unknown)
    fail(std::string("Unknown picture type of '") + s.output + "' (use .png, .svg or .pdf)");
}

// The panel the next options and files go to, null before the first.
Panel* last_panel(Settings* s) {
  return s->panels.empty() ? nullptr : &s->panels.back();
}

// The syntax of the command: -o and the long options (--name or --name=value) into *s; the
// operands panel names and their files. "-" is a file; so is an argument that looks like an
// option when it comes right after a panel's name.
commandsyntax syntax(Settings* s) {
  commandsyntax x{"velkplot", {cmnd, print_usage}};
  x.match = MATCH_WHOLE;
  x.dashisoperand = true;
  x.options = {
      helpoption("h"),
      textoption("o", &s->output),
      customoption("-*", [s](optionvalues* v) { panel_option(v->argument(), last_panel(s), s); }),
  };
  x.operand = [s](const char* a) {
    Panel* last = last_panel(s);
    Kind k;
    if (last && last->files.empty()) {
      last->files.push_back(a);
    } else if (panel_kind(a, &k)) {
      s->panels.push_back(Panel());
      s->panels.back().kind = k;
    } else if (last) {
      last->files.push_back(a);
    } else {
      fail(std::string("Unknown panel '") + a + "' (f0, wave, envelope or spectrogram)");
    }
    return true;
  };
  x.unknown = [s](const char* a) -> commandend {
    Panel* last = last_panel(s);
    if (last && last->files.empty()) {
      last->files.push_back(a);
      return std::nullopt;
    }
    std::fprintf(stderr, "%s : Invalid option '%s'!\n", cmnd, a);
    print_usage(cmnd);
    return 1;
  };
  return x;
}

// Data -----------------------------------------------------------------------------------

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
std::vector<double> read_stream(const std::string& file) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) fail("Cannot read '" + file + "'");
  if (is_sound_file(file)) fail("'" + file + "' is a sound file, not a parameter stream");
  if (st.st_size % 4 != 0)
    warn("'" + file + "' ends in " + std::to_string(st.st_size % 4) +
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
size_t cepstral_frames(const Panel& p, size_t file) {
  const std::vector<double>& v = p.values[file];
  const size_t width = static_cast<size_t>(p.ccord) + 1;
  const size_t frames = v.size() / width;
  if (frames == 0)
    fail("'" + p.files[file] + "' holds " + std::to_string(v.size()) +
         " values, less than one frame of order " + std::to_string(p.ccord));
  if (v.size() % width != 0)
    warn("'" + p.files[file] + "' holds " + std::to_string(v.size() % width) +
         " values after its last whole frame of order " + std::to_string(p.ccord) + "; they are left out");
  return frames;
}

// The cepstral stream of the panel's file.
cepstralstream cepstra_of(const Panel& p, size_t file) {
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
void apply_records(Panel* p) {
  const bool cepstra = p->kind != Kind::F0;
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

void load_panel(Panel* p) {
  const bool sound = p->kind == Kind::Wave || (p->kind == Kind::Spectrogram && is_sound_file(p->files[0]));
  p->sound = sound;
  if (sound) {
    if (p->fs > 0) warn("--fs is left out for the sound file '" + p->files[0] + "', which says its own rate");
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
  for (const std::string& f : p->files) p->values.push_back(read_stream(f));
  if (p->kind == Kind::F0) {
    for (const std::vector<double>& v : p->values)
      p->end = std::max(p->end, (v.size() - 1) * p->lframe / p->rate);
  } else if (p->kind == Kind::Spectrogram) {
    p->end = (cepstral_frames(*p, 0) - 1) * p->lframe / p->rate;
  }
}

double top_frequency(const Panel& p) {
  return p.fmax > 0 ? std::min(p.fmax, p.rate / 2) : p.rate / 2;
}

// The Hann window of ms milliseconds at the rate; fails beyond kMaxWindow samples.
stftplan analysis_plan(double ms, double rate) {
  const double samples = std::round(ms * rate / 1000);
  if (samples > kMaxWindow)
    fail("A window of " + plain_number(ms) + " ms is " + plain_number(samples) + " samples at " +
         plain_number(rate) + " Hz, more than " + std::to_string(kMaxWindow) + " (shorten --window)");
  return planstft(std::max<uint32_t>(2, static_cast<uint32_t>(samples)), rate);
}

// Short-time spectra of the panel's sound over the time range.
levelimage sound_spectrogram(const Panel& p, const plotaxis& time) {
  const stftplan plan = analysis_plan(p.window_ms > 0 ? p.window_ms : 25, p.rate);
  return soundspectrogram(plan, p.values[0], p.rate, p.hop_ms, time.min, time.max);
}

// The envelopes of the frames of cepstra over the time range, one column a frame (or fewer).
levelimage cepstral_spectrogram(const Panel& p, const plotaxis& time) {
  return cepstralspectrogram(cepstra_of(p, 0), cepstral_frames(p, 0), time.min, time.max);
}

// Builds the figure panels ----------------------------------------------------------------

// The levels of spectra and envelopes: the two-sided power spectral density of the signal on
// the +-1 full scale.
const char* const kLevelName = "Power density (dB re FS\u00b2/Hz)";

void add_labels(const Panel& p, figurepanel* f) {
  for (size_t i = 0; i < p.labels.size(); ++i) f->curves[i].label = p.labels[i];
}

// The contours against time; in a picture the values keep clear of the frame, in a graph
// description the scale ends at the ticks around them as it always has.
figurepanel f0_panel(const Panel& p, const plotaxis& time, bool picture) {
  figurepanel f;
  for (const std::vector<double>& v : p.values) f.curves.push_back(f0curve(v, p.rate, p.lframe, p.hz));
  add_labels(p, &f);
  double lo, hi;
  if (!curvesrange(f.curves, &lo, &hi)) {
    for (const std::string& file : p.files) warn("'" + file + "' holds no voiced frames");
    lo = 50.0, hi = 400.0;
  }
  f.x = time;
  f.y = picture ? contouraxis(lo, hi) : niceaxis(lo, hi, true);
  f.yname = "F0 (Hz)";
  return f;
}

figurepanel wave_panel(const Panel& p, const plotaxis& time) {
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
plotcurve frame_spectrum(const Panel& p, const std::string& file) {
  double rate = 0;
  const std::vector<double> x = read_sound(file, &rate);
  const double t = p.frame * p.lframe / p.rate;
  const long centre = std::lround(t * rate);
  if (centre >= static_cast<long>(x.size()))
    fail("Frame " + std::to_string(p.frame) + " (" + plain_number(t) + " s) is beyond the end of '" + file +
         "'");
  const double window_ms = p.window_ms > 0 ? p.window_ms : 40;
  const stftplan plan = analysis_plan(window_ms, rate);
  std::vector<double> work(plan.nfft);
  plotcurve c;
  c.label = "short-time spectrum (" + plain_number(window_ms) + " ms Hann)";
  c.ys.resize(plan.nfft / 2 + 1);
  framespectrumdb(plan, x.data(), x.size(), centre, work.data(), c.ys.data());
  for (size_t k = 0; k < c.ys.size(); ++k) c.xs.push_back(k * rate / plan.nfft / 1000);
  return c;
}

figurepanel envelope_panel(const Panel& p) {
  figurepanel f;
  for (size_t i = 0; i < p.values.size(); ++i) {
    const size_t frames = cepstral_frames(p, i);
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

figurepanel spectrogram_panel(const Panel& p, const plotaxis& time) {
  figurepanel f;
  f.x = time;
  f.y = niceaxis(0.0, top_frequency(p) / 1000, false);
  f.yname = "Frequency (kHz)";
  f.grid = false;
  f.hasimage = true;
  f.image = p.sound ? sound_spectrogram(p, time) : cepstral_spectrogram(p, time);
  f.image.top = std::ceil(loudest(f.image));
  f.image.range = p.range;
  f.image.grey = p.grey;
  f.image.barname = kLevelName;
  if (!p.f0file.empty()) {
    double rate = p.fs > 0 ? p.fs : p.rate;
    long lframe = p.lframe > 0 ? p.lframe : default_lframe(rate);
    paramrecord r;
    std::string record;
    if (stream_record(p.f0file, false, &r, &record)) {
      rate = r.fs;
      lframe = r.lframe;
    }
    f.hasoverlay = true;
    f.overlay = f0curve(read_stream(p.f0file), rate, lframe, p.hz);
    f.overlay.label = p.labels.empty() ? "" : p.labels[0];
    f.overlayownaxis = p.f0_right;
    double lo, hi;
    if (!finiterange(f.overlay.ys, &lo, &hi)) {
      warn("'" + p.f0file + "' holds no voiced frames");
      lo = 50.0, hi = 400.0;
    }
    if (p.f0_right) {
      f.overlayaxis = contouraxis(lo, hi);
      f.overlayname = "F0 (Hz)";
    } else {
      for (double& y : f.overlay.ys) y /= 1000;  // on the kHz axis
    }
  }
  return f;
}

figurepanel figure_panel(const Panel& p, const plotaxis& time, bool last_time_panel, bool picture) {
  figurepanel f;
  switch (p.kind) {
    case Kind::F0:
      f = f0_panel(p, time, picture);
      break;
    case Kind::Wave:
      f = wave_panel(p, time);
      break;
    case Kind::Envelope:
      f = envelope_panel(p);
      break;
    case Kind::Spectrogram:
      f = spectrogram_panel(p, time);
      break;
  }
  if (is_time_panel(p) && last_time_panel) f.xname = "Time (s)";
  if (!p.text.xname.empty()) f.xname = p.text.xname;
  if (!p.text.yname.empty()) f.yname = p.text.yname;
  f.title = p.text.title;
  return f;
}

// Output -------------------------------------------------------------------------------------

// The one panel as a graph description on standard output, with a warning for each feature
// the description cannot carry.
void write_description(const Settings& s, const figurepanel& f) {
  for (const std::string& o : s.figure_options)
    warn("the graph description has no page; '" + o + "' is left out");
  const size_t n = f.curves.size() + f.behind.size();
  if (std::any_of(f.curves.begin(), f.curves.end(), [](const plotcurve& c) { return !c.label.empty(); }))
    warn("the graph description has no legend; the labels are left out (draw with -o)");
  else if (n > 1)
    warn("the graph description draws its " + std::to_string(n) + " curves alike (draw with -o for colours)");
  std::vector<plotcurve> curves = f.behind;
  curves.insert(curves.end(), f.curves.begin(), f.curves.end());
  paneltext t = {f.title, f.xname, f.yname};
  std::fputs(describepanel(f.x, f.y, curves, t, f.grid, graphframe()).c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail("Cannot write the graph description");
}

// The page in points and, for a PNG, in pixels; fails for a page beyond the pixel limit.
void page_extent(const Settings& s, size_t panels, double* width, double* height, int* pw, int* ph) {
  double w = s.width, h = s.height;
  if (w == 0) w = 7.0, h = panels == 1 ? 4.0 : 1.2 + 2.4 * panels;
  const double inches_w = s.pixels ? w / s.dpi : w, inches_h = s.pixels ? h / s.dpi : h;
  *width = inches_w * 72;
  *height = inches_h * 72;
  const double px = s.pixels ? w : std::round(w * s.dpi), py = s.pixels ? h : std::round(h * s.dpi);
  const std::string page = "A page of " + std::to_string(static_cast<long>(px)) + " x " +
                           std::to_string(static_cast<long>(py)) + " pixels";
  if (picturetype(s.output) == picturekind::png && px * py > kMaxPixels)
    fail(page + " is beyond the limit of 100 megapixels (reduce --size or --dpi)");
  if (picturetype(s.output) == picturekind::png && std::max(px, py) > kMaxSide)
    fail(page + " is beyond the limit of " + std::to_string(kMaxSide) +
         " pixels a side (reduce --size or --dpi)");
  *pw = static_cast<int>(px);
  *ph = static_cast<int>(py);
}

void write_picture(const Settings& s, const figurepage& fig) {
  double width, height;
  int pw, ph;
  page_extent(s, fig.panels.size(), &width, &height, &pw, &ph);
  const bool png = picturetype(s.output) == picturekind::png;
  // Vector pages in whole points (the file's unit), the drawing in points scaled to fill them.
  const int w = png ? pw : std::max(1, static_cast<int>(std::lround(width)));
  const int h = png ? ph : std::max(1, static_cast<int>(std::lround(height)));
  const double scale = png ? static_cast<double>(pw) / width : w / width;
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* measure = cairo_create(scratch);
  figurelayout layout;
  const bool fits = layoutfigure(measure, fig, width, height, &layout);
  cairo_destroy(measure);
  cairo_surface_destroy(scratch);
  if (!fits)
    fail("A page of " + plain_number(width / 72) + " x " + plain_number(height / 72) +
         " inches is too small for " + std::to_string(fig.panels.size()) +
         (fig.panels.size() == 1 ? " panel" : " panels") + " at " + plain_number(fig.fontpt) +
         " pt (enlarge --size or lower --fontsize)");
  // The picture file is closed (its temporary removed on failure) before fail() ends the program.
  std::string error;
  {
    picturefile file(s.output, picturetype(s.output), w, h);
    if (file.ok()) {
      cairo_t* cr = cairo_create(file.surface());
      cairo_scale(cr, scale, png ? static_cast<double>(ph) / height : h / height);
      drawfigure(cr, fig, layout, width, height);
      const cairo_status_t status = cairo_status(cr);
      cairo_destroy(cr);
      if (status != CAIRO_STATUS_SUCCESS) error = cairo_status_to_string(status);
    }
    if (error.empty() && !file.commit()) error = file.error();
  }
  if (!error.empty()) fail(std::string("Cannot write '") + s.output + "': " + error);
}

// A stream read at the default rate beside a sound of another rate is most likely a mistake.
void check_rates(const std::vector<Panel>& panels) {
  for (const Panel& sound : panels) {
    if (!sound.sound || sound.rate == kStreamRate) continue;
    for (const Panel& p : panels)
      if (!p.sound && is_time_panel(p) && p.fs == 0)
        warn("'" + p.files[0] + "' is read at 16000 Hz while '" + sound.files[0] + "' is at " +
             std::to_string(static_cast<long>(sound.rate)) + " Hz (give the stream's rate with --fs)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A signal removes the picture's temporary; a write beyond the file-size limit fails instead.
  removetemporariesonsignals();
  Settings s;
  if (const commandend end = parsecommandline(argc, argv, syntax(&s))) return *end;
  check_settings(s);
  double end = 0.0;
  int last_time_panel = -1;
  for (size_t i = 0; i < s.panels.size(); ++i) {
    load_panel(&s.panels[i]);
    if (is_time_panel(s.panels[i])) {
      end = std::max(end, s.panels[i].end);
      last_time_panel = static_cast<int>(i);
    }
  }
  check_rates(s.panels);
  const double t0 = std::isnan(s.from) ? 0.0 : s.from, t1 = std::isnan(s.to) ? end : s.to;
  if (last_time_panel >= 0 && !(t1 > t0)) fail("The time range is empty");
  const plotaxis time = niceaxis(t0, t1, false);
  figurepage fig;
  fig.title = s.title;
  fig.fontpt = s.fontpt;
  for (size_t i = 0; i < s.panels.size(); ++i)
    fig.panels.push_back(
        figure_panel(s.panels[i], time, static_cast<int>(i) == last_time_panel, s.output != nullptr));
  if (s.output == nullptr)
    write_description(s, fig.panels[0]);
  else
    write_picture(s, fig);
  return 0;
}
