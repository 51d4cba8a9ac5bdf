// Settings of the plotter viewer and its command-line parsing.
#include "viewopts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cmdline.h"
#include "picture.h"

using namespace velk;

void usage(const char* cmnd) {
  print_usage_head(stderr, cmnd, "XY-plotter simulator for X-window system",
                   "[ options ] [ infile ] > stdout");
  std::fprintf(stderr, "  options:\n");
  std::fprintf(stderr, "       -s  s  : shrink                  [%g]\n", 3.3866666666666667);
  std::fprintf(stderr, "       -l     : landscape               [%s]\n", "FALSE");
  std::fprintf(stderr, "       -rv    : reverse mode            [%s]\n", "FALSE");
  std::fprintf(stderr, "       -m     : monochrome display mode [%s]\n", "FALSE");
  std::fprintf(stderr, "       -bg bg : background color        [%s]\n", "white");
  std::fprintf(stderr, "       -hl hl : highlight color         [%s]\n", "blue");
  std::fprintf(stderr, "       -bd bd : border color            [%s]\n", "blue");
  std::fprintf(stderr, "       -ms ms : mouse color             [%s]\n", "red");
  std::fprintf(stderr, "       -g  g  : geometry                [NULL]\n");
  std::fprintf(stderr, "       -d  d  : display                 [NULL]\n");
  std::fprintf(stderr, "       -t  t  : window title            [%s]\n", cmnd);
  std::fprintf(stderr, "       -h     : print this message \n");
  std::fprintf(stderr, "  infile:\n");
  std::fprintf(stderr, "       plotter commands                 [stdin]\n");
  print_version_footer(stderr);
}

namespace {

bool is_any(const char* arg, const char* a, const char* b, const char* c = nullptr) {
  return std::strcmp(arg, a) == 0 || (b && std::strcmp(arg, b) == 0) || (c && std::strcmp(arg, c) == 0);
}

// The value of a value option: the next argument, or null when there is none.
const char* option_value(int argc, char** argv, int* i) {
  if (*i + 1 >= argc) return nullptr;
  *i += 1;
  return argv[*i];
}

// True when the shrink makes a page of 1 to kMaxPageSide pixels a side and at most
// kMaxPagePixels in all (in either orientation); else false with a message.
bool check_shrink(const char* cmnd, float shrink, const char* text) {
  const double w = std::floor(1995.0f / shrink), h = std::floor(2870.0f / shrink);
  if (std::isfinite(shrink) && w >= 1.0 && h <= kMaxPageSide && w * h <= kMaxPagePixels) return true;
  if (!std::isfinite(shrink)) {
    std::fprintf(stderr, "%s : Invalid shrink '%s'!\n", cmnd, text);
  } else {
    std::fprintf(stderr,
                 "%s : Invalid shrink '%s': the page would be %.0f x %.0f pixels (1 to %d a side, at most "
                 "%.0f in all)!\n",
                 cmnd, text, w, h, kMaxPageSide, kMaxPagePixels);
  }
  return false;
}

// True when the output (or null) names a picture type; else false with a message.
bool check_output_type(const char* cmnd, const char* output) {
  if (output == nullptr || picturetype(output) != picturekind::unknown) return true;
  std::fprintf(stderr, "%s : Unknown picture type of '%s' (use .png, .svg or .pdf)!\n", cmnd, output);
  return false;
}

// The usage text, and false with the status it ends with.
bool stop_with_usage(const char* cmnd, int code, int* status) {
  usage(cmnd);
  *status = code;
  return false;
}

// The field a text-valued option sets, or null when a names none.
const char** text_option(viewoptions* o, const char* a) {
  if (is_any(a, "-fg", nullptr)) return &o->page.fore_color;
  if (is_any(a, "-bg", nullptr)) return &o->page.back_color;
  if (is_any(a, "-hl", nullptr)) return &o->window.high_color;
  if (is_any(a, "-bd", nullptr)) return &o->window.brdr_color;
  if (is_any(a, "-ms", nullptr)) return &o->window.mous_color;
  if (is_any(a, "-g", "-geometry")) return &o->window.geometry;
  if (is_any(a, "-d", "-display")) return &o->dpy;
  if (is_any(a, "-t", "-title")) return &o->window.title;
  if (is_any(a, "-o", "-output")) return &o->output;
  return nullptr;
}

}  // namespace

bool parse_options(int argc, char** argv, viewoptions* o, int* status) {
  *o = viewoptions();
  o->cmnd = command_name(argv[0]);
  o->window.title = o->cmnd;
  pagesettings& page = o->page;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (is_any(a, "-s", nullptr)) {
      const char* text = option_value(argc, argv, &i);
      if (text == nullptr) return stop_with_usage(o->cmnd, 1, status);
      page.shrink = static_cast<float>(std::atof(text));
      if (page.shrink <= 0.0f) return stop_with_usage(o->cmnd, 0, status);
      if (!check_shrink(o->cmnd, page.shrink, text)) {
        *status = 1;
        return false;
      }
    } else if (is_any(a, "-l", "-land", "-landscape")) {
      page.landscape = !page.landscape;
    } else if (is_any(a, "-rv", "-reverse")) {
      page.reverse = !page.reverse;
    } else if (is_any(a, "-c", "-color")) {
      page.c_flg = !page.c_flg;
    } else if (is_any(a, "-m", "-mono")) {
      page.mono_flg = !page.mono_flg;
    } else if (is_any(a, "-fno", nullptr)) {
      const char* text = option_value(argc, argv, &i);
      if (text == nullptr) return stop_with_usage(o->cmnd, 1, status);
      page.fno = std::atoi(text);
    } else if (is_any(a, "-b", "-bold")) {
      page.fno += 4;
    } else if (const char** field = text_option(o, a)) {
      const char* text = option_value(argc, argv, &i);
      if (text == nullptr) return stop_with_usage(o->cmnd, 1, status);
      *field = text;
    } else if (is_any(a, "-h", "--", "-?")) {
      return stop_with_usage(o->cmnd, 0, status);
    } else if (a[0] != '-' && o->infile == nullptr) {
      o->infile = a;
    } else {
      return stop_with_usage(o->cmnd, 1, status);
    }
  }
  if (!check_output_type(o->cmnd, o->output)) {
    *status = 1;
    return false;
  }
  return true;
}
