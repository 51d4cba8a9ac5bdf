// The viewer's page pixmap as a drawing surface.
#include "xsurface.h"

#include <X11/Xlib.h>

#include "plot.h"
#include "window.h"

namespace velk {

namespace {

const int kMaxPoints = 512;

// The points as Xlib points; at most the interpreter's 512.
int toxpoints(const pagepoint* p, int n, XPoint* out) {
  if (n > kMaxPoints) n = kMaxPoints;
  for (int i = 0; i < n; ++i) out[i] = XPoint{p[i].x, p[i].y};
  return n;
}

Pixmap bitmappixmap(const viewwindow* v, const unsigned char* bits, int w, int h) {
  return XCreatePixmapFromBitmapData(v->display, v->main_window,
                                     reinterpret_cast<char*>(const_cast<unsigned char*>(bits)), w, h,
                                     v->forepix, v->backpix, DefaultDepth(v->display, 0));
}

}  // namespace

xpixmapsurface::xpixmapsurface(viewwindow* v) : v_(v) {
  XSetForeground(v_->display, v_->gc, v_->forepix);
  XSetBackground(v_->display, v_->gc, v_->backpix);
  XSetFillStyle(v_->display, v_->gc, FillSolid);
  XSetLineAttributes(v_->display, v_->gc, 1, LineSolid, CapButt, JoinMiter);
  XSetClipMask(v_->display, v_->gc, None);
}

void xpixmapsurface::lines(const pagepoint* p, int n) {
  XPoint xp[kMaxPoints];
  XDrawLines(v_->display, v_->pixmap, v_->gc, xp, toxpoints(p, n, xp), CoordModeOrigin);
}

void xpixmapsurface::fill(const pagepoint* p, int n, const unsigned char* tile) {
  XPoint xp[kMaxPoints];
  const Pixmap t = bitmappixmap(v_, tile, 4, 4);
  XSetTile(v_->display, v_->gc, t);
  XSetFillStyle(v_->display, v_->gc, FillTiled);
  XFillPolygon(v_->display, v_->pixmap, v_->gc, xp, toxpoints(p, n, xp), Convex, CoordModeOrigin);
  // Lines keep their pen colour and stay unbroken after a fill.
  XSetFillStyle(v_->display, v_->gc, FillSolid);
  XFreePixmap(v_->display, t);
}

void xpixmapsurface::mark(int x, int y, const unsigned char* bits) {
  const Pixmap m = bitmappixmap(v_, bits, 9, 9);
  XCopyArea(v_->display, m, v_->pixmap, v_->gc, 0, 0, 9, 9, x, y);
  XFreePixmap(v_->display, m);
}

void xpixmapsurface::arc(int x, int y, int w, int h, int a1, int a2) {
  XDrawArc(v_->display, v_->pixmap, v_->gc, x, y, w, h, a1, a2);
}

void xpixmapsurface::font(int index) {
  setgcfont(v_, f_name[index]);
}

void xpixmapsurface::text(int x, int y, const char* s, int n) {
  XDrawString(v_->display, v_->pixmap, v_->gc, x, y, s, n);
}

int xpixmapsurface::textwidth(const char* s, int n) {
  const XFontStruct* f = loadedgcfont(v_);
  return f ? XTextWidth(const_cast<XFontStruct*>(f), s, n) : 0;
}

void xpixmapsurface::setlineattributes(const lineattributes& a) {
  static const int joins[3] = {JoinMiter, JoinRound, JoinBevel};
  XSetLineAttributes(v_->display, v_->gc, a.width, a.dashed ? LineOnOffDash : LineSolid, CapButt,
                     joins[a.join]);
  if (a.dashed) XSetDashes(v_->display, v_->gc, 0, a.dash, a.ndash);
}

void xpixmapsurface::colour(const char* name) {
  XSetForeground(v_->display, v_->gc, get_color_pix(v_, name));
}

void xpixmapsurface::clip(int x, int y, int w, int h) {
  XRectangle r = {static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(w),
                  static_cast<unsigned short>(h)};
  XSetClipRectangles(v_->display, v_->gc, 0, 0, &r, 1, Unsorted);
}

}  // namespace velk
