// The drawing surface the plotter-command interpreter draws the page on. Coordinates are page
// pixels (x to the right, y down, as the interpreter converts them); a pixel (x, y) is centred
// on the integer point (x, y), so that a one-pixel line through row y lights row y.
#pragma once

namespace velk {

struct pagepoint {
  short x, y;
};

// Line settings of the interpreter's pen.
struct lineattributes {
  int width;         // pixels; 0 is the thinnest line the surface draws
  bool dashed;       // on-off dashes from dash[0..ndash-1], starting with a dash
  const char* dash;  // dash and gap lengths in pixels
  int ndash;         // their count (at most 8)
  int join;          // 0 miter, 1 round, 2 bevel
};

class drawsurface {
 public:
  virtual ~drawsurface() = default;
  // Polyline through n points in the current colour and line attributes.
  virtual void lines(const pagepoint* p, int n) = 0;
  // Convex polygon of n points filled opaquely with a 4 x 4 tile (one byte per row, bit 0 the
  // leftmost pixel): set bits in the foreground, clear bits in the background colour. The tile
  // is anchored at the page origin.
  virtual void fill(const pagepoint* p, int n, const unsigned char* tile) = 0;
  // 9 x 9 bitmap (two bytes per row, low byte first, bit 0 leftmost) copied opaquely in the
  // foreground and background colours with its top-left pixel at (x, y).
  virtual void mark(int x, int y, const unsigned char* bits) = 0;
  // Arc of the ellipse inscribed in the box (x, y, w, h), from angle a1 over a2 (1/64 degree,
  // counter-clockwise from three o'clock).
  virtual void arc(int x, int y, int w, int h, int a1, int a2) = 0;
  // Selects font index 0..12 of the interpreter's table (8..12 the symbol font).
  virtual void font(int index) = 0;
  // Draws n bytes of s with their baseline starting at (x, y) in the current font; symbol-font
  // bytes stand for the Greek letters of the symbol encoding.
  virtual void text(int x, int y, const char* s, int n) = 0;
  // Advance width in pixels of n bytes of s in the current font.
  virtual int textwidth(const char* s, int n) = 0;
  virtual void setlineattributes(const lineattributes& a) = 0;
  // Drawing colour by X colour name.
  virtual void colour(const char* name) = 0;
  // Later drawing is limited to the pixels x..x+w-1, y..y+h-1.
  virtual void clip(int x, int y, int w, int h) = 0;
};

// The declarations of every drawing request above, for the public part of a surface that draws
// them all.
#define VELK_DRAWSURFACE_REQUESTS                                           \
  void lines(const pagepoint* p, int n) override;                           \
  void fill(const pagepoint* p, int n, const unsigned char* tile) override; \
  void mark(int x, int y, const unsigned char* bits) override;              \
  void arc(int x, int y, int w, int h, int a1, int a2) override;            \
  void font(int index) override;                                            \
  void text(int x, int y, const char* s, int n) override;                   \
  int textwidth(const char* s, int n) override;                             \
  void setlineattributes(const lineattributes& a) override;                 \
  void colour(const char* name) override;                                   \
  void clip(int x, int y, int w, int h) override;

}  // namespace velk
