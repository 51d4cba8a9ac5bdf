// The viewer's page pixmap as a drawing surface: Xlib requests on the display, pixmap and
// drawing context that the window module has set up.
#pragma once

#include "surface.h"
#include "window.h"

namespace velk {

class xpixmapsurface : public drawsurface {
 public:
  // Draws on the page pixmap of v (kept for the surface's life). Starts from the initial pen:
  // the foreground colour, solid lines of width 1, no clip.
  explicit xpixmapsurface(viewwindow* v);
  VELK_DRAWSURFACE_REQUESTS

 private:
  viewwindow* v_;
};

}  // namespace velk
