// The plotter-command interpreter of the viewer on any stream, drawing into the viewer's page
// pixmap on the display named by DISPLAY (an Xvfb server in fuzz/run and in the replay test).
// Nothing is compared: the checks are the sanitizers', that every input ends, and that the X
// server accepted every request (an X error ends the process through Xlib's handler).
#include <cstdio>
#include <cstdlib>

#include "fuzzcheck.h"
#include "plot.h"
#include "window.h"
#include "xsurface.h"

namespace {

// Opens the display, the window and the page pixmap once, as the viewer does before drawing.
void open_page() {
  static bool opened = false;
  if (opened) return;
  opened = true;
  static char name[] = "plotview";
  static char* argv[] = {name, nullptr};
  open_display(nullptr);
  init_window(1, argv);
  init_pixmap();
}

}  // namespace

int fuzz_plot(const uint8_t* data, size_t size) {
  open_page();
  ScratchFile input(data, size);
  if (std::freopen(input.path(), "rb", stdin) == nullptr) {
    std::perror("freopen");
    std::abort();
  }
  XPixmapSurface surface;
  plot(stdin, &surface);
  XSync(display, False);
  return 0;
}
