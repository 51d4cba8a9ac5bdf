// velkplot: figures of the toolkit's data. Each panel (an F0 contour, a waveform, the spectral
// envelope of one frame, a spectrogram of warped cepstra) becomes a graph description; with
// -o the descriptions go through the graph drawer and the viewer's cairo surface into a
// picture, several panels on one page sharing their time axis.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cairosurface.h"
#include "cmdline.h"
#include "describe.h"
#include "envelope.h"
#include "fdoubleio.h"
#include "graphpage.h"
#include "picture.h"
#include "plcoord.h"
#include "plot.h"
#include "wavm1616io.h"

namespace {

const char* cmnd = "velkplot";
const double kFs = 16000.0;
const int kEnvelopePoints = 257;    // 0 to 8 kHz in steps of 31.25 Hz
const int kWaveColumns = 1000;      // waveform columns: a minimum and a maximum each
const int kMaxImageColumns = 2048;  // spectrogram columns at most
const double kShadeRange = 60.0;    // dB from black to white in the spectrogram

[[noreturn]] void usage(int status) {
  print_usage_head(stderr, cmnd, "figures of speech parameter streams",
                   "[ -o picture ] panel file [ options ] [ panel file [ options ] ... ]");
  std::fprintf(stderr, "  panels:\n");
  std::fprintf(stderr, "       f0 file          : F0 contour from log-F0 (or Hz with --hz)\n");
  std::fprintf(stderr, "       wave file        : waveform of a 16 kHz 16-bit mono WAV file\n");
  std::fprintf(stderr, "       envelope file    : spectral envelope of one frame of warped cepstra\n");
  std::fprintf(stderr, "       spectrogram file : envelopes of all frames as grey levels (needs -o)\n");
  std::fprintf(stderr, "  options of the panel before them:\n");
  std::fprintf(stderr, "       --lframe=n       : frame shift in samples       [80]\n");
  std::fprintf(stderr, "       --hz             : F0 in Hz, 0 unvoiced         [log-F0]\n");
  std::fprintf(stderr, "       --from=s --to=s  : time axis range in seconds   [whole signal]\n");
  std::fprintf(stderr, "       --frame=k        : frame of the envelope panel\n");
  std::fprintf(stderr, "       --alpha=a        : warping factor               [0.42]\n");
  std::fprintf(stderr, "       --ccord=p        : cepstral order               [39]\n");
  std::fprintf(stderr, "       --morvscale=m    : 1 range-adapted cepstra, 0 plain [1]\n");
  std::fprintf(stderr, "       --title=t --xname=t --yname=t : title and axis names\n");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -o picture       : .png, .svg or .pdf picture   [graph description\n");
  std::fprintf(stderr, "                          of one panel on stdout, for graph -t 1]\n");
  std::fprintf(stderr, "       -h               : print this message \n");
  print_version_footer(stderr);
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
  std::string file;
  long lframe = 80;
  bool hz = false;
  long frame = -1;
  double alpha = 0.42;
  long ccord = 39;
  long morvscale = 1;
  PanelText text;
  std::vector<double> values;  // the stream, or the samples
  std::vector<double> xs, ys;  // the drawn points
  double end = 0.0;            // time of the last frame or sample (time panels)
  GraphFrame frame_place;
};

bool is_time_panel(const Panel& p) {
  return p.kind != Kind::Envelope;
}

// Command line ---------------------------------------------------------------------------

struct Settings {
  std::vector<Panel> panels;
  const char* output = nullptr;
  double from = NAN, to = NAN;
};

double number_value(const std::string& option, const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
    fail("Invalid value in '" + option + "'");
  return v;
}

long integer_value(const std::string& option, const std::string& text, long lo, long hi) {
  const double v = number_value(option, text);
  if (v != std::floor(v) || v < lo || v > hi)
    fail("Invalid value in '" + option + "' (an integer from " + std::to_string(lo) + " to " +
         std::to_string(hi) + ")");
  return static_cast<long>(v);
}

void panel_option(const std::string& a, Panel* p, Settings* s) {
  const size_t eq = a.find('=');
  const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
  const std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
  if (name == "hz" && eq == std::string::npos) {
    p->hz = true;
    return;
  }
  if (eq == std::string::npos) fail("Invalid option '" + a + "'");
  if (name == "lframe") {
    p->lframe = integer_value(a, value, 1, 160000);
  } else if (name == "frame") {
    p->frame = integer_value(a, value, 0, 2147483647L);
  } else if (name == "alpha") {
    p->alpha = number_value(a, value);
    if (!(p->alpha > -1.0 && p->alpha < 1.0))
      fail("Invalid value in '" + a + "' (from -1 to 1, both excluded)");
  } else if (name == "ccord") {
    p->ccord = integer_value(a, value, 1, 1000);
  } else if (name == "morvscale") {
    p->morvscale = integer_value(a, value, 0, 1);
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

Settings parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    Kind k;
    if (a == "-h" || a == "--help") {
      usage(0);
    } else if (a == "-o") {
      if (i + 1 >= argc) usage(1);
      s.output = argv[++i];
    } else if (a.compare(0, 2, "--") == 0) {
      if (s.panels.empty()) fail("Option '" + a + "' comes before any panel");
      panel_option(a, &s.panels.back(), &s);
    } else if (!s.panels.empty() && s.panels.back().file.empty()) {
      s.panels.back().file = a;
    } else if (panel_kind(a, &k)) {
      s.panels.push_back(Panel());
      s.panels.back().kind = k;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "%s : Invalid option '%s'!\n", cmnd, a.c_str());
      usage(1);
    } else {
      fail("Unknown panel '" + a + "' (f0, wave, envelope or spectrogram)");
    }
  }
  if (s.panels.empty()) usage(1);
  for (const Panel& p : s.panels) {
    if (p.file.empty()) fail("A panel has no file");
    if (p.kind == Kind::Envelope && p.frame < 0)
      fail("The envelope panel of '" + p.file + "' needs --frame=k");
  }
  if (s.output == nullptr && s.panels.size() > 1) fail("Several panels go on one page only with -o picture");
  if (s.output == nullptr && s.panels[0].kind == Kind::Spectrogram)
    fail("The spectrogram panel needs -o picture");
  if (s.output && picture_type(s.output) == PictureType::Unknown)
    fail(std::string("Unknown picture type of '") + s.output + "' (use .png, .svg or .pdf)");
  return s;
}

// Data -----------------------------------------------------------------------------------

// Moves the n values a reader allocated into the panel, or fails with the refusal when there
// are none.
void take_values(Panel* p, double* values, uint32_t n, const char* refusal) {
  if (n > 0) p->values.assign(values, values + n);
  std::free(values);
  if (n == 0) fail("'" + p->file + "' " + refusal);
}

// The floats of a parameter stream; a missing or empty file is an error, a partial value
// at its end is reported and left out.
void read_stream(Panel* p) {
  struct stat st;
  if (stat(p->file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) fail("Cannot read '" + p->file + "'");
  if (st.st_size % 4 != 0)
    warn("'" + p->file + "' ends in " + std::to_string(st.st_size % 4) +
         " bytes that make no whole value; they are left out");
  double* values = nullptr;
  const uint32_t n = fdoubleread(p->file.c_str(), &values);
  take_values(p, values, n, "holds no values");
}

void read_wave(Panel* p) {
  double* samples = nullptr;
  take_values(p, samples, wavreadm1616(p->file.c_str(), &samples),
              "is no mono 16 kHz 16-bit WAV file with samples");
  p->end = (p->values.size() - 1) / kFs;
}

// F0 in Hz of a stream value, NaN for an unvoiced or unusable frame.
double f0_hz(double v, bool hz) {
  const double f = hz ? v : (v > -1e10 ? std::exp(v) : NAN);
  return std::isfinite(f) && f > 0.0 ? f : NAN;
}

void load_f0(Panel* p) {
  read_stream(p);
  for (size_t k = 0; k < p->values.size(); ++k) {
    p->xs.push_back(k * p->lframe / kFs);
    p->ys.push_back(f0_hz(p->values[k], p->hz));
  }
  p->end = p->xs.back();
}

// Whole frames of a cepstral stream; a partial frame at the end is reported and left out.
size_t cepstral_frames(const Panel& p) {
  const size_t width = static_cast<size_t>(p.ccord) + 1;
  const size_t frames = p.values.size() / width;
  if (frames == 0)
    fail("'" + p.file + "' holds " + std::to_string(p.values.size()) +
         " values, less than one frame of order " + std::to_string(p.ccord));
  if (p.values.size() % width != 0)
    warn("'" + p.file + "' holds " + std::to_string(p.values.size() % width) +
         " values after its last whole frame of order " + std::to_string(p.ccord) + "; they are left out");
  return frames;
}

// Envelope of frame k in dB at kEnvelopePoints frequencies from 0 to 8 kHz.
std::vector<double> frame_envelope(const Panel& p, size_t k) {
  std::vector<double> c(p.values.begin() + k * (p.ccord + 1), p.values.begin() + (k + 1) * (p.ccord + 1));
  if (p.morvscale == 1) unadapt_cepstrum(c.data(), static_cast<uint32_t>(p.ccord));
  std::vector<double> db(kEnvelopePoints);
  cepstrum_envelope_db(c.data(), static_cast<uint32_t>(p.ccord), p.alpha, kEnvelopePoints, db.data());
  return db;
}

void load_envelope(Panel* p) {
  read_stream(p);
  const size_t frames = cepstral_frames(*p);
  if (static_cast<size_t>(p->frame) >= frames)
    fail("Frame " + std::to_string(p->frame) + " is beyond the " + std::to_string(frames) + " frames of '" +
         p->file + "'");
  p->ys = frame_envelope(*p, static_cast<size_t>(p->frame));
  if (std::none_of(p->ys.begin(), p->ys.end(), [](double v) { return std::isfinite(v); }))
    fail("Frame " + std::to_string(p->frame) + " of '" + p->file + "' holds no finite values");
  for (int i = 0; i < kEnvelopePoints; ++i) p->xs.push_back(8.0 * i / (kEnvelopePoints - 1));
}

void load_spectrogram(Panel* p) {
  read_stream(p);
  p->end = (cepstral_frames(*p) - 1) * p->lframe / kFs;
}

// Minimum and maximum of the finite values; false when there are none.
bool finite_range(const std::vector<double>& v, double* lo, double* hi) {
  *lo = INFINITY;
  *hi = -INFINITY;
  for (double x : v)
    if (std::isfinite(x)) {
      *lo = std::min(*lo, x);
      *hi = std::max(*hi, x);
    }
  return *lo <= *hi;
}

// Waveform columns over the time range: the minimum and the maximum of each.
void wave_points(Panel* p, double t0, double t1) {
  const double dt = (t1 - t0) / kWaveColumns;
  for (int c = 0; c < kWaveColumns; ++c) {
    const double a = (t0 + c * dt) * kFs, b = (t0 + (c + 1) * dt) * kFs;
    const long first = std::max(0L, static_cast<long>(std::ceil(a)));
    const long last = std::min(static_cast<long>(p->values.size()) - 1, static_cast<long>(std::ceil(b)) - 1);
    if (first > last) continue;
    double lo = p->values[first], hi = lo;
    for (long i = first; i <= last; ++i) {
      lo = std::min(lo, p->values[i]);
      hi = std::max(hi, p->values[i]);
    }
    const double t = t0 + (c + 0.5) * dt;
    p->xs.insert(p->xs.end(), {t, t});
    p->ys.insert(p->ys.end(), {lo, hi});
  }
}

// Page -----------------------------------------------------------------------------------

void place_frames(std::vector<Panel>* panels) {
  const size_t n = panels->size();
  if (n == 1) return;  // the graph command's own frame
  const double gap = 16.0, height = std::min(80.0, 240.0 / n - gap);
  for (size_t i = 0; i < n; ++i) {
    GraphFrame& f = (*panels)[i].frame_place;
    f.height = height;
    f.y = 270.0 - i * (height + gap) - height;
  }
}

Axis y_axis(const Panel& p) {
  double lo, hi;
  switch (p.kind) {
    case Kind::F0:
      if (!finite_range(p.ys, &lo, &hi)) {
        warn("'" + p.file + "' holds no voiced frames");
        lo = 50.0, hi = 400.0;
      }
      return nice_axis(lo, hi, true);
    case Kind::Wave: {
      finite_range(p.ys, &lo, &hi);
      const double peak = std::max({std::fabs(lo), std::fabs(hi), 1.0 / 32768});
      return nice_axis(-peak, peak, true);
    }
    case Kind::Envelope:
      finite_range(p.ys, &lo, &hi);
      return nice_axis(lo, hi, true);
    case Kind::Spectrogram:
      break;
  }
  return nice_axis(0.0, 8.0, false);
}

std::string panel_description(Panel* p, const Axis& time, bool last_time_panel) {
  PanelText t = p->text;
  static const char* const ynames[] = {"F0 (Hz)", "Amplitude", "Level (dB)", "Frequency (kHz)"};
  if (t.yname.empty()) t.yname = ynames[static_cast<int>(p->kind)];
  if (t.xname.empty())
    t.xname = p->kind == Kind::Envelope ? "Frequency (kHz)" : last_time_panel ? "Time (s)" : "";
  const Axis x = p->kind == Kind::Envelope ? nice_axis(0.0, 8.0, false) : time;
  return describe_panel(x, y_axis(*p), p->xs, p->ys, t, p->kind != Kind::Spectrogram, p->frame_place);
}

// The spectrogram's grey levels under its frame.
struct Underlay {
  const std::vector<Panel>* panels;
  Axis time;
};

int page_x(double mm) {
  return normx(_plnorm(mm));
}
int page_y(double mm) {
  return normy(_plnorm(mm));
}

void draw_spectrogram(const Panel& p, const Axis& time, CairoSurface* s) {
  const size_t frames = cepstral_frames(p);
  const double step = p.lframe / kFs;
  const double v0 = std::max(time.min, 0.0), v1 = std::min(time.max, p.end + step);
  if (!(v1 > v0)) return;
  const int cols = static_cast<int>(std::min<double>(kMaxImageColumns, std::ceil((v1 - v0) / step)));
  const int rows = kEnvelopePoints;
  std::vector<std::vector<double>> columns(cols);
  double top = -INFINITY;
  for (int c = 0; c < cols; ++c) {
    const double t = v0 + (c + 0.5) * (v1 - v0) / cols;
    const size_t k = std::min(frames - 1, static_cast<size_t>(std::max(0.0, std::floor(t / step + 0.5))));
    columns[c] = frame_envelope(p, k);
    for (double v : columns[c])
      if (std::isfinite(v)) top = std::max(top, v);
  }
  std::vector<unsigned char> shades(static_cast<size_t>(cols) * rows, 255);
  for (int c = 0; c < cols; ++c)
    for (int r = 0; r < rows; ++r) {
      const double v = columns[c][rows - 1 - r];
      if (!std::isfinite(v)) continue;  // a frame without finite values stays blank
      const double shade = 255.0 * std::min(1.0, std::max(0.0, (top - v) / kShadeRange));
      shades[static_cast<size_t>(r) * cols + c] = static_cast<unsigned char>(std::lround(shade));
    }
  const GraphFrame& f = p.frame_place;
  const double span = time.max - time.min;
  const int left = page_x(f.x + f.width * (v0 - time.min) / span);
  const int right = page_x(f.x + f.width * (v1 - time.min) / span);
  const int top_px = page_y(f.y + f.height), bottom_px = page_y(f.y);
  s->grey_image(left, top_px, right - left, bottom_px - top_px, shades.data(), cols, rows);
}

void draw_underlay(CairoSurface* s, void* context) {
  const Underlay* u = static_cast<const Underlay*>(context);
  for (const Panel& p : *u->panels)
    if (p.kind == Kind::Spectrogram) draw_spectrogram(p, u->time, s);
}

// The plotter stream of all frames, made by the graph drawer in memory.
std::string page_stream(std::vector<Panel>* panels, const Axis& time, int last_time_panel) {
  char* buffer = nullptr;
  size_t size = 0;
  plout = open_memstream(&buffer, &size);
  if (plout == nullptr) fail("Out of memory");
  plstart();
  for (size_t i = 0; i < panels->size(); ++i) {
    Panel& p = (*panels)[i];
    p.frame_place.type = 1;
    std::string d = panel_description(&p, time, static_cast<int>(i) == last_time_panel);
    std::FILE* in = fmemopen(&d[0], d.size(), "r");
    if (in == nullptr) fail("Out of memory");
    draw_graph_frame(in, p.frame_place);
    std::fclose(in);
  }
  std::fclose(plout);
  plout = stdout;
  std::string stream(buffer, size);
  std::free(buffer);
  return stream;
}

}  // namespace

int main(int argc, char** argv) {
  standard_options(argc, argv, "velkplot", [] { usage(0); });
  Settings s = parse(argc, argv);
  double end = 0.0;
  int last_time_panel = -1;
  for (size_t i = 0; i < s.panels.size(); ++i) {
    Panel& p = s.panels[i];
    switch (p.kind) {
      case Kind::F0:
        load_f0(&p);
        break;
      case Kind::Wave:
        read_wave(&p);
        break;
      case Kind::Envelope:
        load_envelope(&p);
        break;
      case Kind::Spectrogram:
        load_spectrogram(&p);
        break;
    }
    if (is_time_panel(p)) {
      end = std::max(end, p.end);
      last_time_panel = static_cast<int>(i);
    }
  }
  const double t0 = std::isnan(s.from) ? 0.0 : s.from, t1 = std::isnan(s.to) ? end : s.to;
  if (last_time_panel >= 0 && !(t1 > t0)) fail("The time range is empty");
  const Axis time = nice_axis(t0, t1, false);
  for (Panel& p : s.panels)
    if (p.kind == Kind::Wave) wave_points(&p, time.min, time.max);
  place_frames(&s.panels);

  if (s.output == nullptr) {
    std::fputs(panel_description(&s.panels[0], time, true).c_str(), stdout);
    if (std::fflush(stdout) != 0) fail("Cannot write the graph description");
    return 0;
  }
  std::string stream = page_stream(&s.panels, time, last_time_panel);
  std::FILE* in = fmemopen(&stream[0], stream.size(), "r");
  if (in == nullptr) fail("Out of memory");
  Underlay u = {&s.panels, time};
  std::string error;
  const bool written = render_picture(s.output, in, draw_underlay, &error, &u);
  std::fclose(in);
  if (!written) fail(std::string("Cannot write '") + s.output + "': " + error);
  return 0;
}
