// Display, window, page pixmap and event handling of the plotter viewer.
#include "window.h"

#include <X11/cursorfont.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "plot.h"
#include "viewopts.h"

Display* display = nullptr;
int screen = 0;
Window main_window = 0;
GC gc = nullptr;
Pixmap pixmap = 0;
GC pixmapGC = nullptr;
int pixmap_w = 0, pixmap_h = 0;
unsigned long forepix, backpix, highpix, brdrpix, mouspix;
XSizeHints xsh;
int window_x, window_y, window_w, window_h;
int origin_x = 0, origin_y = 0;

static Cursor watch_cur = 0;
static XFontStruct* loaded_font = nullptr;
static const unsigned int bwidth = 2;

void check_geometry(const char* g) {
  if (g == nullptr) return;
  int x = 0, y = 0;
  unsigned int width = 1, height = 1;
  const int mask = XParseGeometry(g, &x, &y, &width, &height);
  const auto bad = [](unsigned int v) { return v == 0 || v > static_cast<unsigned int>(kMaxPageSide); };
  if (!((mask & WidthValue) && bad(width)) && !((mask & HeightValue) && bad(height))) return;
  std::fprintf(stderr, "%s : Invalid geometry '%s': a window is 1 to %d pixels a side!\n", cmnd, g,
               kMaxPageSide);
  std::exit(1);
}

void open_display(const char* name) {
  display = XOpenDisplay(name);
  if (display == nullptr) {
    std::fprintf(stderr, "%s: Can't open display '%s'\n", cmnd, XDisplayName(name));
    std::fprintf(stderr,
                 "%s: without a display, write the picture into a file: -o FILE.png (or .svg, .pdf)\n", cmnd);
    std::exit(2);
  }
}

unsigned long get_color_pix(const char* color_name) {
  XColor exact, shown;
  if (XAllocNamedColor(display, DefaultColormap(display, screen), color_name, &shown, &exact))
    return shown.pixel;
  return BlackPixel(display, screen);
}

void beep() {
  XBell(display, 100);
}

void set_gc_font(const char* name) {
  XFontStruct* font = XLoadQueryFont(display, name);
  if (font == nullptr) font = XLoadQueryFont(display, "fixed");
  if (font == nullptr) return;
  XSetFont(display, gc, font->fid);
  if (loaded_font) XFreeFont(display, loaded_font);
  loaded_font = font;
}

const XFontStruct* loaded_gc_font() {
  return loaded_font;
}

static void size_hints_from_geometry() {
  int x = 0, y = 0, width = 0, height = 0;
  const int mask = XGeometry(display, screen, geometry, nullptr, bwidth, 1, 1, 1, 1, &x, &y, &width, &height);
  xsh.x = x;
  xsh.y = y;
  if (mask & (XValue | YValue)) xsh.flags |= USPosition;
  if (mask & (WidthValue | HeightValue)) xsh.flags |= USSize;
  // A geometry that gives no size keeps the page size.
  xsh.width = (mask & WidthValue) ? width : page_width_pixels();
  xsh.height = (mask & HeightValue) ? height : page_height_pixels();
}

static void default_size_hints() {
  xsh.flags = USPosition | PSize;
  xsh.x = landscape ? 300 : 558;
  xsh.y = 1;
  xsh.width = page_width_pixels();
  xsh.height = page_height_pixels();
}

static void choose_pixels() {
  if (DefaultDepth(display, screen) <= 2) {
    const unsigned long black = BlackPixel(display, screen);
    const unsigned long white = WhitePixel(display, screen);
    backpix = reverse ? black : white;
    forepix = highpix = brdrpix = mouspix = reverse ? white : black;
    return;
  }
  c_flg = 1;
  forepix = get_color_pix(reverse ? back_color : fore_color);
  backpix = get_color_pix(reverse ? fore_color : back_color);
  highpix = get_color_pix(high_color);
  brdrpix = get_color_pix(brdr_color);
  mouspix = get_color_pix(mous_color);
}

static void map_and_wait() {
  XSelectInput(display, main_window, StructureNotifyMask);
  XMapWindow(display, main_window);
  XEvent ev;
  do XNextEvent(display, &ev);
  while (ev.type != MapNotify);
  XSelectInput(display, main_window, KeyPressMask | ButtonPressMask | PointerMotionMask | ExposureMask);
}

void init_window(int argc, char** argv) {
  screen = DefaultScreen(display);
  xsh = XSizeHints();
  if (geometry)
    size_hints_from_geometry();
  else
    default_size_hints();
  choose_pixels();
  main_window = XCreateSimpleWindow(display, RootWindow(display, screen), xsh.x, xsh.y, xsh.width, xsh.height,
                                    bwidth, brdrpix, backpix);
  XSetStandardProperties(display, main_window, windowtitle, windowtitle, None, argv, argc, &xsh);
  XSetWindowAttributes attrs;
  attrs.bit_gravity = ForgetGravity;
  XChangeWindowAttributes(display, main_window, CWBitGravity, &attrs);
  map_and_wait();

  watch_cur = XCreateFontCursor(display, XC_watch);
  XDefineCursor(display, main_window, watch_cur);

  XGCValues values;
  values.line_width = 1;
  values.function = GXcopy;
  values.graphics_exposures = False;
  values.foreground = forepix;
  values.background = backpix;
  gc = XCreateGC(display, main_window,
                 GCLineWidth | GCFunction | GCGraphicsExposures | GCForeground | GCBackground, &values);
  set_gc_font(f_name[std::clamp(fno, 0, 12)]);
  XFlush(display);
}

void init_pixmap() {
  pixmap_w = page_width_pixels();
  pixmap_h = page_height_pixels();
  pixmap = XCreatePixmap(display, main_window, pixmap_w, pixmap_h, DefaultDepth(display, screen));
  pixmapGC = XCreateGC(display, pixmap, 0, nullptr);
  // The interpreter draws into the pixmap, so the page starts in the background colour.
  XSetFunction(display, pixmapGC, GXcopy);
  XSetFillStyle(display, pixmapGC, FillSolid);
  XSetForeground(display, pixmapGC, backpix);
  XFillRectangle(display, pixmap, pixmapGC, 0, 0, pixmap_w, pixmap_h);
  XSetForeground(display, pixmapGC, forepix);
  XSetBackground(display, pixmapGC, backpix);
}

void get_window_size() {
  Window root;
  unsigned int w, h, border, depth;
  XGetGeometry(display, main_window, &root, &window_x, &window_y, &w, &h, &border, &depth);
  window_w = static_cast<int>(w);
  window_h = static_cast<int>(h);
}

void realize_part(int src_x, int src_y, int width, int height, int dest_x, int dest_y) {
  XDefineCursor(display, main_window, watch_cur);
  // Copies with the pixmap's own context, so that a clip rectangle left by the plot
  // stream does not cut the shown page.
  XCopyArea(display, pixmap, main_window, pixmapGC, src_x, src_y, width, height, dest_x, dest_y);
  XUndefineCursor(display, main_window);
}

void realize() {
  realize_part(origin_x, origin_y, xsh.width, xsh.height, 0, 0);
}

void set_all() {
  get_window_size();
  realize();
  XUndefineCursor(display, main_window);
  XFlush(display);
}

int scroll_origin(int origin, int page, int window, bool forward) {
  if (!forward) return origin > 0 ? std::max(0, origin - window / 4) : -1;
  if (origin >= page - window) return -1;
  return std::max(0, std::min(page - window, origin + window / 4));
}

// Moves the view one step for a scroll key; rings the bell when it cannot move.
static void scroll(char key) {
  const bool horizontal = (key == 'h' || key == 'l');
  const bool forward = (key == 'l' || key == 'j');
  int& origin = horizontal ? origin_x : origin_y;
  const int moved = horizontal ? scroll_origin(origin, pixmap_w, window_w, forward)
                               : scroll_origin(origin, pixmap_h, window_h, forward);
  if (moved < 0) {
    beep();
    return;
  }
  origin = moved;
  realize();
}

static void handle_key(XKeyEvent* event) {
  get_window_size();
  char c = 0;
  KeySym sym;
  if (XLookupString(event, &c, 1, &sym, nullptr) != 1) c = 0;
  switch (c) {
    case 'q':
    case 3:
    case 4:
      close_window();
    case 'h':
    case 'l':
    case 'k':
    case 'j':
      scroll(c);
      break;
    default:
      beep();
      break;
  }
}

void main_loop() {
  set_all();
  for (;;) {
    XEvent ev;
    XNextEvent(display, &ev);
    switch (ev.type) {
      case Expose:
        if (ev.xexpose.count == 0) get_window_size();
        // The exposed part of the window shows the page at the scroll origin.
        realize_part(ev.xexpose.x + origin_x, ev.xexpose.y + origin_y, ev.xexpose.width, ev.xexpose.height,
                     ev.xexpose.x, ev.xexpose.y);
        break;
      case MappingNotify:
        XRefreshKeyboardMapping(&ev.xmapping);
        break;
      case KeyPress:
        handle_key(&ev.xkey);
        break;
      default:
        break;
    }
  }
}

void close_window() {
  XFreeCursor(display, watch_cur);
  if (loaded_font) XFreeFont(display, loaded_font);
  XFreeGC(display, gc);
  XFreeGC(display, pixmapGC);
  XFreePixmap(display, pixmap);
  XDestroyWindow(display, main_window);
  XCloseDisplay(display);
  std::exit(0);
}
