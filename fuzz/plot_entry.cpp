// The plotter-command interpreter of the viewer on any stream, drawn on both of its surfaces:
// a cairo picture of the page, and, when the target has X and a display is named by DISPLAY
// (an Xvfb server in fuzz/run and in the replay test), the viewer's page pixmap. Nothing is
// compared: the checks are the sanitizers', that every input ends, that cairo accepted every
// drawing request, and that the X server did (an X error ends the process through Xlib's
// handler).
#include <cairo.h>

#include <cstdio>
#include <cstdlib>

#include "cairosurface.h"
#include "fuzzcheck.h"
#include "plot.h"
#include "viewopts.h"
#ifdef FUZZ_PLOT_X
#include "window.h"
#include "xsurface.h"
#endif

namespace {

std::FILE* open_stream(const uint8_t* data, size_t size) {
  // fmemopen refuses an empty buffer: an empty stream is a stream of one NUL byte.
  static const uint8_t nul = 0;
  std::FILE* in =
      size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : fmemopen(const_cast<uint8_t*>(&nul), 1, "rb");
  if (in == nullptr) {
    std::perror("fmemopen");
    std::abort();
  }
  return in;
}

void draw_on_cairo(const uint8_t* data, size_t size) {
  static cairo_surface_t* page =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, page_width_pixels(), page_height_pixels());
  std::FILE* in = open_stream(data, size);
  {
    CairoSurface surface(page, page_width_pixels(), page_height_pixels(), "black", "white");
    plot(in, &surface);
    fuzz_check(*surface.error() == '\0', "plot", "cairo accepts every drawing request");
  }
  std::fclose(in);
}

#ifdef FUZZ_PLOT_X
// Opens the display, the window and the page pixmap once, as the viewer does before drawing;
// false when no display is named.
bool open_page() {
  static int opened = -1;
  if (opened >= 0) return opened == 1;
  opened = std::getenv("DISPLAY") != nullptr;
  if (!opened) return false;
  static char name[] = "plotview";
  static char* argv[] = {name, nullptr};
  open_display(nullptr);
  init_window(1, argv);
  init_pixmap();
  return true;
}

void draw_on_x(const uint8_t* data, size_t size) {
  if (!open_page()) return;
  std::FILE* in = open_stream(data, size);
  XPixmapSurface surface;
  plot(in, &surface);
  XSync(display, False);
  std::fclose(in);
}
#endif

}  // namespace

int fuzz_plot(const uint8_t* data, size_t size) {
  draw_on_cairo(data, size);
#ifdef FUZZ_PLOT_X
  draw_on_x(data, size);
#endif
  return 0;
}
