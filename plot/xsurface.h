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
  void lines(const pagepoint* p, int n) override;
  void fill(const pagepoint* p, int n, const unsigned char* tile) override;
  void mark(int x, int y, const unsigned char* bits) override;
  void arc(int x, int y, int w, int h, int a1, int a2) override;
  void font(int index) override;
  void text(int x, int y, const char* s, int n) override;
  int textwidth(const char* s, int n) override;
  void setlineattributes(const lineattributes& a) override;
  void colour(const char* name) override;
  void clip(int x, int y, int w, int h) override;

 private:
  viewwindow* v_;
};

}  // namespace velk
