// plotview: shows a plotter-command stream from a file or standard input in an X window, or
// draws it into a PNG, SVG or PDF picture without a display.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cmdline.h"
#include "picture.h"
#include "plot.h"
#include "tempfiles.h"
#include "viewopts.h"
#ifdef PLOTVIEW_HAVE_X11
#include "window.h"
#include "xsurface.h"
#endif

using namespace velk;

namespace {

// What the viewer does with its plotter stream once it has looked at the first byte.
enum class streamstart { commands, empty, ended };

// The plotter stream: the named file or standard input; null, after the message, when the
// file cannot be opened.
std::FILE* open_input(const viewoptions& o) {
  if (o.infile == nullptr) return stdin;
  std::FILE* in = std::fopen(o.infile, "rb");
  if (in == nullptr) std::fprintf(stderr, "%s : Cannot open file '%s'!\n", o.cmnd, o.infile);
  return in;
}

// Refuses input that does not start like a plotter stream; the first byte is put back. A
// stream that ends before its first command (nothing, or the end byte 0xFF) ends the viewer
// silently with status 255; a picture of it is an empty page, said on standard error.
streamstart check_input(const viewoptions& o, std::FILE* in) {
  const int c = std::getc(in);
  if (c == EOF || c == 0xFF) {
    if (o.output == nullptr) return streamstart::ended;
    std::fprintf(stderr, "%s : The plotter stream is empty: the page is empty!\n", o.cmnd);
    return streamstart::empty;
  }
  if (c != '=') {
    std::fprintf(stderr, "%s : Unexpected data format!\n", o.cmnd);
    return streamstart::ended;
  }
  std::ungetc(c, in);
  return streamstart::commands;
}

// Draws the stream into the picture file of -o; the exit status.
int write_picture(const viewoptions& o, std::FILE* in) {
  std::string error;
  if (renderpicture(o.page, o.output, in, nullptr, &error)) return 0;
  std::fprintf(stderr, "%s : Cannot write '%s': %s!\n", o.cmnd, o.output, error.c_str());
  return 1;
}

#ifdef PLOTVIEW_HAVE_X11
// Shows the stream in a window until a quit key; the exit status.
int show_window(viewoptions* o, std::FILE* in, int argc, char** argv) {
  if (checkgeometry(o->window.geometry) != 0) {
    std::fprintf(stderr, "%s : Invalid geometry '%s': a window is 1 to %d pixels a side!\n", o->cmnd,
                 o->window.geometry, kMaxPageSide);
    return 1;
  }
  viewwindow v;
  if (open_display(&v, o->dpy) != 0) {
    std::fprintf(stderr, "%s: Can't open display '%s'\n", o->cmnd, XDisplayName(o->dpy));
    std::fprintf(stderr,
                 "%s: without a display, write the picture into a file: -o FILE.png (or .svg, .pdf)\n",
                 o->cmnd);
    return 2;
  }
  init_window(&v, &o->page, o->window, argc, argv);
  init_pixmap(&v, o->page);
  xpixmapsurface surface(&v);
  plot(o->page, in, &surface);
  XFlush(v.display);
  main_loop(&v);
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // A signal removes the picture's temporary; a write beyond the file-size limit fails instead.
  removetemporariesonsignals();
  viewoptions o;
  int status = 0;
  if (!parse_options(argc, argv, &o, &status)) return status;
  std::FILE* in = open_input(o);
  if (in == nullptr) return 1;
  const streamstart start = check_input(o, in);
  if (start == streamstart::ended) return 255;
  if (o.output != nullptr) return write_picture(o, start == streamstart::commands ? in : nullptr);
#ifdef PLOTVIEW_HAVE_X11
  return show_window(&o, in, argc, argv);
#else
  std::fprintf(stderr, "%s : Built without X; write a picture with -o FILE.png (or .svg, .pdf)!\n", o.cmnd);
  return 1;
#endif
}
