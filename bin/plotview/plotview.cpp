// plotview: shows a plotter-command stream from standard input in an X window.
#include <cstdio>
#include <cstdlib>

#include "plot.h"
#include "viewopts.h"
#include "window.h"

// Refuses input that does not start like a plotter stream; the first byte is put back.
static void check_input() {
  const int c = std::getchar();
  if (c == EOF || c == 0xFF) std::exit(255);
  if (c != '=') {
    std::fprintf(stderr, "%s : Unexpected data format!\n", cmnd);
    std::exit(255);
  }
  std::ungetc(c, stdin);
}

int main(int argc, char** argv) {
  parse_options(argc, argv);
  check_input();
  open_display(dpy);
  init_window(argc, argv);
  init_pixmap();
  plot();
  XFlush(display);
  main_loop();
}
