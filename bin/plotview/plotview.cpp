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

// The plotter stream: the named file or standard input.
static std::FILE* open_input(const viewoptions& o) {
  if (o.infile == nullptr) return stdin;
  std::FILE* in = std::fopen(o.infile, "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "%s : Cannot open file '%s'!\n", o.cmnd, o.infile);
    std::exit(1);
  }
  return in;
}

// Refuses input that does not start like a plotter stream; the first byte is put back. A
// stream that ends before its first command (nothing, or the end byte 0xFF) ends the viewer
// silently with status 255; a picture of it is an empty page, said on standard error. True when
// the stream holds commands.
static bool check_input(const viewoptions& o, std::FILE* in) {
  const int c = std::getc(in);
  if (c == EOF || c == 0xFF) {
    if (o.output == nullptr) std::exit(255);
    std::fprintf(stderr, "%s : The plotter stream is empty: the page is empty!\n", o.cmnd);
    return false;
  }
  if (c != '=') {
    std::fprintf(stderr, "%s : Unexpected data format!\n", o.cmnd);
    std::exit(255);
  }
  std::ungetc(c, in);
  return true;
}

int main(int argc, char** argv) {
  if (const CommandEnd end =
          standard_options(argc, argv, "plotview", [argv] { usage(command_name(argv[0]), 0); }))
    return *end;
  // A signal removes the picture's temporary; a write beyond the file-size limit fails instead.
  velk::removetemporariesonsignals();
  viewoptions o = parse_options(argc, argv);
  std::FILE* in = open_input(o);
  const bool commands = check_input(o, in);
  if (o.output != nullptr) {
    std::string error;
    if (render_picture(o.page, o.output, commands ? in : nullptr, nullptr, &error)) return 0;
    std::fprintf(stderr, "%s : Cannot write '%s': %s!\n", o.cmnd, o.output, error.c_str());
    return 1;
  }
#ifdef PLOTVIEW_HAVE_X11
  check_geometry(o.cmnd, o.geometry);
  viewwindow v;
  open_display(&v, o.cmnd, o.dpy);
  init_window(&v, &o, argc, argv);
  init_pixmap(&v, o.page);
  XPixmapSurface surface(&v);
  plot(o.page, in, &surface);
  XFlush(v.display);
  main_loop(&v);
#else
  std::fprintf(stderr, "%s : Built without X; write a picture with -o FILE.png (or .svg, .pdf)!\n", o.cmnd);
  return 1;
#endif
}
