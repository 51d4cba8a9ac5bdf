// A cairo picture as a drawing surface: the page drawn without a display, for PNG, SVG and
// PDF files. Lines and fills are drawn without anti-aliasing and on the same pixel grid as
// the X server draws them, so that a PNG matches the viewer's window.
#pragma once

#include <cairo.h>

#include "surface.h"

namespace velk {

// Red, green and blue (0..1) of an X colour name ("medium sea green", "#rrggbb", "#rgb");
// false for an unknown name.
bool colourrgb(const char* name, double rgb[3]);

class cairosurface : public drawsurface {
 public:
  // Draws on the target (which the caller owns and finishes): the page of w x h pixels is
  // filled with the background colour first. Unknown colour names give black, as on screen.
  cairosurface(cairo_surface_t* target, int w, int h, const char* foreground, const char* background);
  ~cairosurface() override;
  cairosurface(const cairosurface&) = delete;
  cairosurface& operator=(const cairosurface&) = delete;

  VELK_DRAWSURFACE_REQUESTS

  // Empty when every drawing request succeeded, else cairo's description of the failure.
  const char* error() const;

 private:
  void strokepath();
  void dashedsegments(const pagepoint* p, int n, double x0, double y0, double x1, double y1);
  void setrgb(const double* rgb);
  cairo_t* cr_;
  double fore_[3], back_[3], pen_[3];
  int fontindex_ = 1;
  bool thin_ = false;
  double dash_[8] = {};
  int ndash_ = 0;
};

}  // namespace velk
