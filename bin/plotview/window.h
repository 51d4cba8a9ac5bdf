// Display, window, page pixmap and event handling of the plotter viewer.
#ifndef PLOTVIEW_WINDOW_H
#define PLOTVIEW_WINDOW_H

#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern Display* display;
extern int screen;
extern Window main_window;
extern GC gc;          // drawing context of the interpreter and of the window copies
extern Pixmap pixmap;  // the page, drawn by the interpreter and shown in the window
extern GC pixmapGC;
extern int pixmap_w, pixmap_h;
extern unsigned long forepix, backpix, highpix, brdrpix, mouspix;
extern XSizeHints xsh;
extern int window_x, window_y, window_w, window_h;
extern int origin_x, origin_y;

// Exits with a message and status 1 when the geometry option asks for a window size of 0 or
// beyond the 16-bit sizes of X.
void check_geometry(const char* geometry);
// Opens the display or exits with status 2 and a message.
void open_display(const char* name);
void init_window(int argc, char** argv);
void init_pixmap();
// Shows the page and serves exposures and keys until a quit key; never returns.
[[noreturn]] void main_loop();
[[noreturn]] void close_window();
void realize_part(int src_x, int src_y, int width, int height, int dest_x, int dest_y);
void realize();
void set_all();
void get_window_size();
unsigned long get_color_pix(const char* color_name);
void beep();
// Loads a core font into gc, falling back to the server's "fixed" font when the server
// lacks it; the previously loaded font is released.
void set_gc_font(const char* name);
// The font set_gc_font loaded last, or null before any.
const XFontStruct* loaded_gc_font();

// New scroll origin for one key step along an axis, or -1 when the view cannot move
// that way (the bell rings instead). forward is true for l and j.
int scroll_origin(int origin, int page, int window, bool forward);

#endif
