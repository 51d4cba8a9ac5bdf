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
#include "figure.h"
#include "figurepanels.h"
#include "graphpage.h"
#include "picture.h"
#include "tempfiles.h"

using namespace velk;

namespace {

const char* cmnd = "velkplot";
const double kMaxPixels = 100e6;  // largest PNG page
const int kMaxSide = 32767;       // longest side of a PNG page (cairo's limit)

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

struct Settings {
  std::vector<panelsource> panels;
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

double bounded_value(const std::string& option, const std::string& text, double lo, double hi) {
  const double v = number_value(option, text);
  if (v < lo || v > hi)
    fail("Invalid value in '" + option + "' (from " + plainnumber(lo) + " to " + plainnumber(hi) + ")");
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

// True when the option `name` means something to a panel of the kind.
bool option_applies(const std::string& name, panelkind kind) {
  const bool f0 = kind == panelkind::f0, envelope = kind == panelkind::envelope,
             spectrogram = kind == panelkind::spectrogram;
  if (name == "hz") return f0 || spectrogram;
  if (name == "label") return kind != panelkind::wave;
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
  double panelsource::*field;
  double lo, hi;
};
const NumberOption kNumberOptions[] = {{"fs", &panelsource::fs, 1000, 384000},
                                       {"window", &panelsource::windowms, 1, 1000},
                                       {"hop", &panelsource::hopms, 0.1, 1000},
                                       {"range", &panelsource::range, 10, 200},
                                       {"fmax", &panelsource::fmax, 100, 192000}};

// The same for the options whose value is a whole number.
struct IntegerOption {
  const char* name;
  long panelsource::*field;
  long lo, hi;
};
const IntegerOption kIntegerOptions[] = {{"lframe", &panelsource::lframe, 1, 160000},
                                         {"frame", &panelsource::frame, 0, 2147483647L},
                                         {"ccord", &panelsource::ccord, 1, 1000},
                                         {"morvscale", &panelsource::morvscale, 0, 1}};

void panel_option(const std::string& a, panelsource* p, Settings* s) {
  const size_t eq = a.find('=');
  const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
  const std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
  const bool flag = name == "hz" || name == "grey";
  if (flag != (eq == std::string::npos)) fail("Invalid option '" + a + "'");
  if (!flag && figure_option(name, a, value, s)) return;
  if (p == nullptr) fail("Option '" + a + "' comes before any panel");
  if (!option_applies(name, p->kind))
    fail("Option '" + a + "' does not apply to the " + panelkindname(p->kind) + " panel");
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
    p->f0right = value == "right";
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

bool panel_kind(const std::string& a, panelkind* k) {
  if (a == "f0")
    *k = panelkind::f0;
  else if (a == "wave")
    *k = panelkind::wave;
  else if (a == "envelope")
    *k = panelkind::envelope;
  else if (a == "spectrogram")
    *k = panelkind::spectrogram;
  else
    return false;
  return true;
}

// Checks of the options together, once all are read.
void check_settings(const Settings& s) {
  if (s.panels.empty()) usage(1);
  for (const panelsource& p : s.panels) {
    const std::string kind = panelkindname(p.kind);
    if (p.files.empty()) fail("A panel has no file");
    if ((p.kind == panelkind::wave || p.kind == panelkind::spectrogram) && p.files.size() > 1)
      fail("The " + kind + " panel takes one file, not " + std::to_string(p.files.size()));
    if (p.labels.size() > p.files.size())
      fail("The " + kind + " panel has " + std::to_string(p.labels.size()) + " labels for " +
           std::to_string(p.files.size()) + " files");
    if (p.kind == panelkind::envelope && p.frame < 0)
      fail("The envelope panel of '" + p.files[0] + "' needs --frame=k");
  }
  if (s.output == nullptr && s.panels.size() > 1) fail("Several panels go on one page only with -o picture");
  if (s.output == nullptr && s.panels[0].kind == panelkind::spectrogram)
    fail("The spectrogram panel needs -o picture");
  if (s.output && picturetype(s.output) == picturekind::unknown)
    fail(std::string("Unknown picture type of '") + s.output + "' (use .png, .svg or .pdf)");
}

// The panel the next options and files go to, null before the first.
panelsource* last_panel(Settings* s) {
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
    panelsource* last = last_panel(s);
    panelkind k;
    if (last && last->files.empty()) {
      last->files.push_back(a);
    } else if (panel_kind(a, &k)) {
      s->panels.push_back(panelsource());
      s->panels.back().kind = k;
    } else if (last) {
      last->files.push_back(a);
    } else {
      fail(std::string("Unknown panel '") + a + "' (f0, wave, envelope or spectrogram)");
    }
    return true;
  };
  x.unknown = [s](const char* a) -> commandend {
    panelsource* last = last_panel(s);
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
    fail("A page of " + plainnumber(width / 72) + " x " + plainnumber(height / 72) +
         " inches is too small for " + std::to_string(fig.panels.size()) +
         (fig.panels.size() == 1 ? " panel" : " panels") + " at " + plainnumber(fig.fontpt) +
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

// Prints the warnings of the report, which it empties, then fails with its refusal when the
// status of the call it reports is -1.
void tell(int status, panelreport* r) {
  for (const std::string& w : r->warnings) warn(w);
  r->warnings.clear();
  if (status != 0) fail(r->failure);
}

}  // namespace

int main(int argc, char** argv) {
  // A signal removes the picture's temporary; a write beyond the file-size limit fails instead.
  removetemporariesonsignals();
  Settings s;
  if (const commandend end = parsecommandline(argc, argv, syntax(&s))) return *end;
  check_settings(s);
  panelreport report;
  double end = 0.0;
  int last_time_panel = -1;
  for (size_t i = 0; i < s.panels.size(); ++i) {
    tell(loadpanel(&s.panels[i], &report), &report);
    if (istimepanel(s.panels[i])) {
      end = std::max(end, s.panels[i].end);
      last_time_panel = static_cast<int>(i);
    }
  }
  checkrates(s.panels, &report);
  tell(0, &report);
  const double t0 = std::isnan(s.from) ? 0.0 : s.from, t1 = std::isnan(s.to) ? end : s.to;
  if (last_time_panel >= 0 && !(t1 > t0)) fail("The time range is empty");
  const plotaxis time = niceaxis(t0, t1, false);
  figurepage fig;
  fig.title = s.title;
  fig.fontpt = s.fontpt;
  fig.panels.resize(s.panels.size());
  for (size_t i = 0; i < s.panels.size(); ++i)
    tell(buildpanel(s.panels[i], time, static_cast<int>(i) == last_time_panel, s.output != nullptr,
                    &fig.panels[i], &report),
         &report);
  if (s.output == nullptr)
    write_description(s, fig.panels[0]);
  else
    write_picture(s, fig);
  return 0;
}
