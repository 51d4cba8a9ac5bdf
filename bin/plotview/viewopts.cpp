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
  printusagehead(stderr, cmnd, "XY-plotter simulator for X-window system", "[ options ] [ infile ] > stdout");
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
  printversionfooter(stderr);
}

namespace {

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

// The shrink of -s: a value of no positive size ends the viewer with the usage text and status
// 0, one that makes no possible page with a message and status 1.
void take_shrink(const char* cmnd, pagesettings* page, optionvalues* v) {
  const char* text = v->text();
  if (v->ended()) return;
  page->shrink = static_cast<float>(std::atof(text));
  if (page->shrink <= 0.0f)
    v->endwithusage(0);
  else if (!check_shrink(cmnd, page->shrink, text))
    v->refuse();
}

// The syntax of the command: its options into *o, its one operand the input file. An argument it
// does not know ends it with the usage text and status 1.
commandsyntax syntax(viewoptions* o) {
  pagesettings* page = &o->page;
  commandsyntax x{"plotview", {o->cmnd, usage}};
  x.match = MATCH_WHOLE;
  x.options = {
      customoption("s", [o, page](optionvalues* v) { take_shrink(o->cmnd, page, v); }),
      toggleoption("l|land|landscape", &page->landscape),
      toggleoption("rv|reverse", &page->reverse),
      toggleoption("c|color", &page->c_flg),
      toggleoption("m|mono", &page->mono_flg),
      customoption("fno",
                   [page](optionvalues* v) {
                     const char* text = v->text();
                     if (!v->ended()) page->fno = std::atoi(text);
                   }),
      customoption("b|bold", [page](optionvalues*) { page->fno += 4; }),
      textoption("fg", &page->fore_color),
      textoption("bg", &page->back_color),
      textoption("hl", &o->window.high_color),
      textoption("bd", &o->window.brdr_color),
      textoption("ms", &o->window.mous_color),
      textoption("g|geometry", &o->window.geometry),
      textoption("d|display", &o->dpy),
      textoption("t|title", &o->window.title),
      textoption("o|output", &o->output),
      helpoption("h|-|?"),
  };
  x.operand = [o](const char* arg) {
    if (o->infile != nullptr) return false;
    o->infile = arg;
    return true;
  };
  x.unknown = [o](const char*) -> commandend {
    usage(o->cmnd);
    return 1;
  };
  return x;
}

}  // namespace

bool parse_options(int argc, char** argv, viewoptions* o, int* status) {
  *o = viewoptions();
  o->cmnd = commandname(argv[0]);
  o->window.title = o->cmnd;
  if (const commandend end = parsecommandline(argc, argv, syntax(o))) {
    *status = *end;
    return false;
  }
  if (!check_output_type(o->cmnd, o->output)) {
    *status = 1;
    return false;
  }
  return true;
}
