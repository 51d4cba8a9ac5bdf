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
#ifdef FUZZ_PLOT_X
#include "window.h"
#include "xsurface.h"
#endif

using namespace velk;

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

// The viewer's default page.
const pagesettings kPage;

void draw_on_cairo(const uint8_t* data, size_t size) {
  static cairo_surface_t* page =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, pagewidthpixels(kPage), pageheightpixels(kPage));
  std::FILE* in = open_stream(data, size);
  {
    cairosurface surface(page, pagewidthpixels(kPage), pageheightpixels(kPage), "black", "white");
    plot(kPage, in, &surface);
    fuzz_check(*surface.error() == '\0', "plot", "cairo accepts every drawing request");
  }
  std::fclose(in);
}

#ifdef FUZZ_PLOT_X
// The viewer's default page and window, opened once for the process of the fuzzer.
struct XPage {
  pagesettings page;
  viewwindow window;
};

// Opens the display, the window and the page pixmap once, as the viewer does before drawing;
// null when no display is named.
XPage* open_page() {
  static XPage* page = nullptr;
  static bool tried = false;
  if (tried) return page;
  tried = true;
  if (std::getenv("DISPLAY") == nullptr) return nullptr;
  static char name[] = "plotview";
  static char* argv[] = {name, nullptr};
  page = new XPage;
  if (open_display(&page->window, nullptr) != 0) {
    std::fprintf(stderr, "plot: cannot open the display of DISPLAY\n");
    std::abort();
  }
  init_window(&page->window, &page->page, windowlook(), 1, argv);
  init_pixmap(&page->window, page->page);
  return page;
}

void draw_on_x(const uint8_t* data, size_t size) {
  XPage* page = open_page();
  if (page == nullptr) return;
  std::FILE* in = open_stream(data, size);
  xpixmapsurface surface(&page->window);
  plot(page->page, in, &surface);
  XSync(page->window.display, False);
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
