// plotview: shows a plotter-command stream from a file or standard input in an X window, or
// draws it into a PNG, SVG or PDF picture without a display.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cmdline.h"
#include "picture.h"
#include "plot.h"
#include "viewopts.h"
#ifdef PLOTVIEW_HAVE_X11
#include "window.h"
#include "xsurface.h"
#endif

// The plotter stream: the named file or standard input.
static std::FILE* open_input() {
  if (infile == nullptr) return stdin;
  std::FILE* in = std::fopen(infile, "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "%s : Cannot open file '%s'!\n", cmnd, infile);
    std::exit(1);
  }
  return in;
}

// Refuses input that does not start like a plotter stream; the first byte is put back.
static void check_input(std::FILE* in) {
  const int c = std::getc(in);
  if (c == EOF || c == 0xFF) std::exit(255);
  if (c != '=') {
    std::fprintf(stderr, "%s : Unexpected data format!\n", cmnd);
    std::exit(255);
  }
  std::ungetc(c, in);
}

int main(int argc, char** argv) {
  standard_options(argc, argv, "plotview", [] { usage(0); });
  parse_options(argc, argv);
  std::FILE* in = open_input();
  check_input(in);
  if (output != nullptr) {
    std::string error;
    if (render_picture(output, in, nullptr, &error)) return 0;
    std::fprintf(stderr, "%s : Cannot write '%s': %s!\n", cmnd, output, error.c_str());
    return 1;
  }
#ifdef PLOTVIEW_HAVE_X11
  check_geometry(geometry);
  open_display(dpy);
  init_window(argc, argv);
  init_pixmap();
  XPixmapSurface surface;
  plot(in, &surface);
  XFlush(display);
  main_loop();
#else
  std::fprintf(stderr, "%s : Built without X; write a picture with -o FILE.png (or .svg, .pdf)!\n", cmnd);
  return 1;
#endif
}
