// Display, window, page pixmap and event handling of the plotter viewer.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "plot.h"
#include "windowlook.h"

namespace velk {

// The viewer's connection, window and page: made by open_display, init_window and init_pixmap,
// used by the pixmap surface and the event loop, released by close_window.
struct viewwindow {
  Display* display = nullptr;
  int screen = 0;
  Window main_window = 0;
  GC gc = nullptr;    // drawing context of the interpreter and of the window copies
  Pixmap pixmap = 0;  // the page, drawn by the interpreter and shown in the window
  GC pixmapGC = nullptr;
  int pixmap_w = 0, pixmap_h = 0;
  unsigned long forepix = 0, backpix = 0, highpix = 0, brdrpix = 0, mouspix = 0;
  XSizeHints xsh = XSizeHints();
  int window_x = 0, window_y = 0, window_w = 0, window_h = 0;
  int origin_x = 0, origin_y = 0;  // scroll origin of the view on the page
  Cursor watch_cur = 0;
  XFontStruct* loadedfont = nullptr;  // the font setgcfont loaded last
};

// 0 when the X geometry string (or null) asks for no window size of 0 or beyond the 16-bit
// sizes of X (kMaxPageSide), else -1.
int checkgeometry(const char* geometry);
// Opens the display of that name (null: the environment's) into v; -1 when it cannot be opened.
int open_display(viewwindow* v, const char* name);
// Creates and maps the window of the look for the page, its pixels and drawing context; on a
// colour display the pens of the page select colours from then on (page->c_flg set). argv and
// argc are the command line the window manager is told of.
void init_window(viewwindow* v, pagesettings* page, const windowlook& look, int argc, char** argv);
// Creates the page pixmap of page's size, filled with the background colour.
void init_pixmap(viewwindow* v, const pagesettings& page);
// Shows the page and serves exposures and keys until a quit key (q, ^C, ^D), then closes the
// window (close_window) and returns.
void main_loop(viewwindow* v);
// Releases the cursor, font, drawing contexts, pixmap and window of v and closes its display.
void close_window(viewwindow* v);
void realize_part(viewwindow* v, int src_x, int src_y, int width, int height, int dest_x, int dest_y);
void realize(viewwindow* v);
void set_all(viewwindow* v);
void get_window_size(viewwindow* v);
unsigned long get_color_pix(viewwindow* v, const char* color_name);
void beep(viewwindow* v);
// Loads a core font into v's gc, falling back to the server's "fixed" font when the server
// lacks it; the previously loaded font is released.
void setgcfont(viewwindow* v, const char* name);
// The font setgcfont loaded last, or null before any.
const XFontStruct* loadedgcfont(const viewwindow* v);

// New scroll origin for one key step along an axis, or -1 when the view cannot move
// that way (the bell rings instead). forward is true for l and j.
int scrollorigin(int origin, int page, int window, bool forward);

}  // namespace velk
