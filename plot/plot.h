// Interpreter of the plotter command language: reads commands from a stream and draws them
// on a drawing surface (the viewer's window pixmap or a cairo picture).
#pragma once

#include <cstdio>

#include "surface.h"

namespace velk {

// How a page is drawn: its scale, orientation and colours and the pens' and text's choices.
// The viewer's options fill it; a picture of another program takes the defaults.
struct pagesettings {
  float shrink = 3.3866667f;         // plotter units per pixel
  int landscape = 0;                 // page orientation: 0 portrait, 1 landscape
  int reverse = 0;                   // swap foreground and background colours
  int c_flg = 0;                     // colour pens
  int mono_flg = 0;                  // pens set line widths even on a colour display
  int fno = 1;                       // font index for ordinary text
  const char* fore_color = "black";  // foreground colour
  const char* back_color = "white";  // background colour
};

// Interprets the stream to its end, drawing on the surface. The interpreter's state starts
// from its initial values and lives in the call.
//   page     in: the page's scale, orientation, pens and font
//   in       in: the plotter-command stream, read to its end (not closed); caller's
//   surface  in/out: where the page is drawn (its size is the page at the shrink and
//            orientation of page, in pixels); caller's, kept only for the call
// Returns nothing; the drawing is on the surface.
void plot(const pagesettings& page, std::FILE* in, drawsurface* surface);

// Largest side of a page or window in pixels (X sizes are 16-bit), and the largest page.
const int kMaxPageSide = 32767;
const double kMaxPagePixels = 268435456.0;

// Plotter to window coordinates for the shrink and orientation of page.
short normx(const pagesettings& page, int x);
short normy(const pagesettings& page, int y);

// Page size in pixels for the orientation and shrink of page.
int pagewidthpixels(const pagesettings& page);
int pageheightpixels(const pagesettings& page);

// Pure decisions of the interpreter, shared with its tests.
struct polygonpaint {
  int pattern;   // fill pattern index into the 4x4 tile table, or -1 for no fill
  bool outline;  // whether the closed outline is drawn
};
polygonpaint polygonstyle(int type);

// The pen a J command selects, and whether that pen has an entry in the width or colour table.
int pennumber(int n);
bool penintable(int pen, bool colourmode);
int penwidth(int pen);
const char* pencolour(int pen);

// Font index text() chooses for font fn and character size (cw, ch), given the index and
// size last loaded (cfn, ccw, cch); -1 keeps the loaded font. The result lies in 0..12.
int choosefont(int fn, int cw, int ch, int cfn, int ccw, int cch);

// Symbol-font character for a byte above 0xC0 of a P string.
char symbolchar(unsigned char c);

// Arc box half sizes (w, h) in pixels for a W command, and its angles in degrees.
struct arcbounds {
  int w, h, a1, a2;
};
arcbounds arcbox(const pagesettings& page, int r1, int r2, int a1, int a2);

extern const char* const f_name[13];
extern const unsigned char till_bits[17][4];
extern const unsigned char mark_bits[16][18];

}  // namespace velk
