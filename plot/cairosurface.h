// A cairo picture as a drawing surface: the page drawn without a display, for PNG, SVG and
// PDF files. Lines and fills are drawn without anti-aliasing and on the same pixel grid as
// the X server draws them, so that a PNG matches the viewer's window.
#pragma once

#include <cairo.h>

#include "surface.h"

namespace velk {

// Red, green and blue (0..1) of an X colour name ("medium sea green", "#rrggbb", "#rgb");
// false for an unknown name.
bool colour_rgb(const char* name, double rgb[3]);

class CairoSurface : public Surface {
 public:
  // Draws on the target (which the caller owns and finishes): the page of w x h pixels is
  // filled with the background colour first. Unknown colour names give black, as on screen.
  CairoSurface(cairo_surface_t* target, int w, int h, const char* foreground, const char* background);
  ~CairoSurface() override;
  CairoSurface(const CairoSurface&) = delete;
  CairoSurface& operator=(const CairoSurface&) = delete;

  void lines(const PagePoint* p, int n) override;
  void fill(const PagePoint* p, int n, const unsigned char* tile) override;
  void mark(int x, int y, const unsigned char* bits) override;
  void arc(int x, int y, int w, int h, int a1, int a2) override;
  void font(int index) override;
  void text(int x, int y, const char* s, int n) override;
  int text_width(const char* s, int n) override;
  void line_attributes(const LineAttributes& a) override;
  void colour(const char* name) override;
  void clip(int x, int y, int w, int h) override;

  // Empty when every drawing request succeeded, else cairo's description of the failure.
  const char* error() const;

 private:
  void stroke_path();
  void dashed_segments(const PagePoint* p, int n, double x0, double y0, double x1, double y1);
  void set_rgb(const double* rgb);
  cairo_t* cr_;
  double fore_[3], back_[3], pen_[3];
  int font_index_ = 1;
  bool thin_ = false;
  double dash_[8] = {};
  int ndash_ = 0;
};

}  // namespace velk
