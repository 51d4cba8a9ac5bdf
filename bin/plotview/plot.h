// Interpreter of the plotter command language: reads commands from a stream and draws them
// on a drawing surface (the viewer's window pixmap or a cairo picture).
#ifndef PLOTVIEW_PLOT_H
#define PLOTVIEW_PLOT_H

#include <cstdio>

#include "surface.h"

// Interprets the stream to its end, drawing on the surface. The interpreter's state starts
// from its initial values.
//   in       in: the plotter-command stream, read to its end (not closed); caller's
//   surface  in/out: where the page is drawn (its size is the page at the viewer's shrink and
//            orientation, in pixels); caller's, kept only for the call
// Returns nothing; the drawing is on the surface.
void plot(std::FILE* in, Surface* surface);
// Draws the buffered polyline and keeps its last point as the current point.
void _flush();
// Draws n characters of s at the current point with font index fn (of the stream being drawn).
void text(const char* s, int n, int fn);
// Reads one zero-terminated string of a P command and draws it.
void get_str();

// Plotter to window coordinates for the current shrink and orientation.
short normx(int x);
short normy(int y);

// Pure decisions of the interpreter, shared with its tests.
struct PolygonStyle {
  int pattern;   // fill pattern index into the 4x4 tile table, or -1 for no fill
  bool outline;  // whether the closed outline is drawn
};
PolygonStyle polygon_style(int type);

// The pen a J command selects, and whether that pen has an entry in the width or colour table.
int pen_number(int n);
bool pen_in_table(int pen, bool colour_mode);
int pen_width(int pen);
const char* pen_colour(int pen);

// Font index text() chooses for font fn and character size (cw, ch), given the index and
// size last loaded (cfn, ccw, cch); -1 keeps the loaded font. The result lies in 0..12.
int choose_font(int fn, int cw, int ch, int cfn, int ccw, int cch);

// Symbol-font character for a byte above 0xC0 of a P string.
char symbol_char(unsigned char c);

// Arc box half sizes (w, h) in pixels for a W command, and its angles in degrees.
struct ArcBox {
  int w, h, a1, a2;
};
ArcBox arc_box(int r1, int r2, int a1, int a2);

extern const char* const f_name[13];
extern const unsigned char till_bits[17][4];
extern const unsigned char mark_bits[16][18];

#endif
