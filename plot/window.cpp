// Display, window, page pixmap and event handling of the plotter viewer.
#include "window.h"

#include <X11/cursorfont.h>

#include <algorithm>

#include "plot.h"

namespace velk {

namespace {

const unsigned int bwidth = 2;

void sizehintsfromgeometry(viewwindow* v, const pagesettings& page, const char* geometry) {
  int x = 0, y = 0, width = 0, height = 0;
  const int mask =
      XGeometry(v->display, v->screen, geometry, nullptr, bwidth, 1, 1, 1, 1, &x, &y, &width, &height);
  v->xsh.x = x;
  v->xsh.y = y;
  if (mask & (XValue | YValue)) v->xsh.flags |= USPosition;
  if (mask & (WidthValue | HeightValue)) v->xsh.flags |= USSize;
  // A geometry that gives no size keeps the page size.
  v->xsh.width = (mask & WidthValue) ? width : pagewidthpixels(page);
  v->xsh.height = (mask & HeightValue) ? height : pageheightpixels(page);
}

void defaultsizehints(viewwindow* v, const pagesettings& page) {
  v->xsh.flags = USPosition | PSize;
  v->xsh.x = page.landscape ? 300 : 558;
  v->xsh.y = 1;
  v->xsh.width = pagewidthpixels(page);
  v->xsh.height = pageheightpixels(page);
}

void choosepixels(viewwindow* v, pagesettings& page, const windowlook& look) {
  if (DefaultDepth(v->display, v->screen) <= 2) {
    const unsigned long black = BlackPixel(v->display, v->screen);
    const unsigned long white = WhitePixel(v->display, v->screen);
    v->backpix = page.reverse ? black : white;
    v->forepix = v->highpix = v->brdrpix = v->mouspix = page.reverse ? white : black;
    return;
  }
  page.c_flg = 1;
  v->forepix = get_color_pix(v, page.reverse ? page.back_color : page.fore_color);
  v->backpix = get_color_pix(v, page.reverse ? page.fore_color : page.back_color);
  v->highpix = get_color_pix(v, look.high_color);
  v->brdrpix = get_color_pix(v, look.brdr_color);
  v->mouspix = get_color_pix(v, look.mous_color);
}

void mapandwait(viewwindow* v) {
  XSelectInput(v->display, v->main_window, StructureNotifyMask);
  XMapWindow(v->display, v->main_window);
  XEvent ev;
  do XNextEvent(v->display, &ev);
  while (ev.type != MapNotify);
  XSelectInput(v->display, v->main_window, KeyPressMask | ButtonPressMask | PointerMotionMask | ExposureMask);
}

// Moves the view one step for a scroll key; rings the bell when it cannot move.
void scroll(viewwindow* v, char key) {
  const bool horizontal = (key == 'h' || key == 'l');
  const bool forward = (key == 'l' || key == 'j');
  int& origin = horizontal ? v->origin_x : v->origin_y;
  const int moved = horizontal ? scrollorigin(origin, v->pixmap_w, v->window_w, forward)
                               : scrollorigin(origin, v->pixmap_h, v->window_h, forward);
  if (moved < 0) {
    beep(v);
    return;
  }
  origin = moved;
  realize(v);
}

// Serves a key: a scroll key moves the view, another rings the bell; true for a quit key.
bool handlekey(viewwindow* v, XKeyEvent* event) {
  get_window_size(v);
  char c = 0;
  KeySym sym;
  if (XLookupString(event, &c, 1, &sym, nullptr) != 1) c = 0;
  switch (c) {
    case 'q':
    case 3:
    case 4:
      return true;
    case 'h':
    case 'l':
    case 'k':
    case 'j':
      scroll(v, c);
      break;
    default:
      beep(v);
      break;
  }
  return false;
}

}  // namespace

int checkgeometry(const char* g) {
  if (g == nullptr) return 0;
  int x = 0, y = 0;
  unsigned int width = 1, height = 1;
  const int mask = XParseGeometry(g, &x, &y, &width, &height);
  const auto bad = [](unsigned int v) { return v == 0 || v > static_cast<unsigned int>(kMaxPageSide); };
  return ((mask & WidthValue) && bad(width)) || ((mask & HeightValue) && bad(height)) ? -1 : 0;
}

int open_display(viewwindow* v, const char* name) {
  v->display = XOpenDisplay(name);
  return v->display != nullptr ? 0 : -1;
}

unsigned long get_color_pix(viewwindow* v, const char* color_name) {
  XColor exact, shown;
  if (XAllocNamedColor(v->display, DefaultColormap(v->display, v->screen), color_name, &shown, &exact))
    return shown.pixel;
  return BlackPixel(v->display, v->screen);
}

void beep(viewwindow* v) {
  XBell(v->display, 100);
}

void setgcfont(viewwindow* v, const char* name) {
  XFontStruct* font = XLoadQueryFont(v->display, name);
  if (font == nullptr) font = XLoadQueryFont(v->display, "fixed");
  if (font == nullptr) return;
  XSetFont(v->display, v->gc, font->fid);
  if (v->loadedfont) XFreeFont(v->display, v->loadedfont);
  v->loadedfont = font;
}

const XFontStruct* loadedgcfont(const viewwindow* v) {
  return v->loadedfont;
}

void init_window(viewwindow* v, pagesettings* page, const windowlook& look, int argc, char** argv) {
  v->screen = DefaultScreen(v->display);
  v->xsh = XSizeHints();
  if (look.geometry)
    sizehintsfromgeometry(v, *page, look.geometry);
  else
    defaultsizehints(v, *page);
  choosepixels(v, *page, look);
  v->main_window = XCreateSimpleWindow(v->display, RootWindow(v->display, v->screen), v->xsh.x, v->xsh.y,
                                       v->xsh.width, v->xsh.height, bwidth, v->brdrpix, v->backpix);
  XSetStandardProperties(v->display, v->main_window, look.title, look.title, None, argv, argc, &v->xsh);
  XSetWindowAttributes attrs;
  attrs.bit_gravity = ForgetGravity;
  XChangeWindowAttributes(v->display, v->main_window, CWBitGravity, &attrs);
  mapandwait(v);

  v->watch_cur = XCreateFontCursor(v->display, XC_watch);
  XDefineCursor(v->display, v->main_window, v->watch_cur);

  XGCValues values;
  values.line_width = 1;
  values.function = GXcopy;
  values.graphics_exposures = False;
  values.foreground = v->forepix;
  values.background = v->backpix;
  v->gc = XCreateGC(v->display, v->main_window,
                    GCLineWidth | GCFunction | GCGraphicsExposures | GCForeground | GCBackground, &values);
  setgcfont(v, f_name[std::clamp(page->fno, 0, 12)]);
  XFlush(v->display);
}

void init_pixmap(viewwindow* v, const pagesettings& page) {
  v->pixmap_w = pagewidthpixels(page);
  v->pixmap_h = pageheightpixels(page);
  v->pixmap = XCreatePixmap(v->display, v->main_window, v->pixmap_w, v->pixmap_h,
                            DefaultDepth(v->display, v->screen));
  v->pixmapGC = XCreateGC(v->display, v->pixmap, 0, nullptr);
  // The interpreter draws into the pixmap, so the page starts in the background colour.
  XSetFunction(v->display, v->pixmapGC, GXcopy);
  XSetFillStyle(v->display, v->pixmapGC, FillSolid);
  XSetForeground(v->display, v->pixmapGC, v->backpix);
  XFillRectangle(v->display, v->pixmap, v->pixmapGC, 0, 0, v->pixmap_w, v->pixmap_h);
  XSetForeground(v->display, v->pixmapGC, v->forepix);
  XSetBackground(v->display, v->pixmapGC, v->backpix);
}

void get_window_size(viewwindow* v) {
  Window root;
  unsigned int w, h, border, depth;
  XGetGeometry(v->display, v->main_window, &root, &v->window_x, &v->window_y, &w, &h, &border, &depth);
  v->window_w = static_cast<int>(w);
  v->window_h = static_cast<int>(h);
}

void realize_part(viewwindow* v, int src_x, int src_y, int width, int height, int dest_x, int dest_y) {
  XDefineCursor(v->display, v->main_window, v->watch_cur);
  // Copies with the pixmap's own context, so that a clip rectangle left by the plot
  // stream does not cut the shown page.
  XCopyArea(v->display, v->pixmap, v->main_window, v->pixmapGC, src_x, src_y, width, height, dest_x, dest_y);
  XUndefineCursor(v->display, v->main_window);
}

void realize(viewwindow* v) {
  realize_part(v, v->origin_x, v->origin_y, v->xsh.width, v->xsh.height, 0, 0);
}

void set_all(viewwindow* v) {
  get_window_size(v);
  realize(v);
  XUndefineCursor(v->display, v->main_window);
  XFlush(v->display);
}

int scrollorigin(int origin, int page, int window, bool forward) {
  if (!forward) return origin > 0 ? std::max(0, origin - window / 4) : -1;
  if (origin >= page - window) return -1;
  return std::max(0, std::min(page - window, origin + window / 4));
}

void main_loop(viewwindow* v) {
  set_all(v);
  for (;;) {
    XEvent ev;
    XNextEvent(v->display, &ev);
    switch (ev.type) {
      case Expose:
        if (ev.xexpose.count == 0) get_window_size(v);
        // The exposed part of the window shows the page at the scroll origin.
        realize_part(v, ev.xexpose.x + v->origin_x, ev.xexpose.y + v->origin_y, ev.xexpose.width,
                     ev.xexpose.height, ev.xexpose.x, ev.xexpose.y);
        break;
      case MappingNotify:
        XRefreshKeyboardMapping(&ev.xmapping);
        break;
      case KeyPress:
        if (handlekey(v, &ev.xkey)) {
          close_window(v);
          return;
        }
        break;
      default:
        break;
    }
  }
}

void close_window(viewwindow* v) {
  XFreeCursor(v->display, v->watch_cur);
  if (v->loadedfont) XFreeFont(v->display, v->loadedfont);
  XFreeGC(v->display, v->gc);
  XFreeGC(v->display, v->pixmapGC);
  XFreePixmap(v->display, v->pixmap);
  XDestroyWindow(v->display, v->main_window);
  XCloseDisplay(v->display);
}

}  // namespace velk
