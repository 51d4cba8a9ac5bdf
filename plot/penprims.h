// Plotter primitives: each writes one plotter command (or a short group) to the stream of the
// plotting context pc. Coordinates are frame coordinates of pc and lengths are millimetres,
// converted by the coordinate module (plcoord). Routines with a result return 0 when the
// command was written and -1 for a rejected request, of which nothing is written.
#pragma once

#include <cstdint>

#include "plcoord.h"

namespace velk {

// Rotates the page by th degrees about the frame origin.
void rotate(plotcontext* pc, double th);
// Scales what follows by fx horizontally and fy vertically.
void factor(plotcontext* pc, double fx, double fy);
// Moves the page origin by (x, y) millimetres; always 0.
int offset(plotcontext* pc, double x, double y);
// Clipping window from the lower-left (xl, yl) to the upper-right (xh, yh) corner, frame
// coordinates.
void bound(plotcontext* pc, double xl, double yl, double xh, double yh);
// Clipping window reset to the figure of w x h pages at scale F.
void rstbnd(plotcontext* pc, double w, double h, double F);
// Hatches the polygon of the n > 2 points (ax[i], ay[i]) in style ip, lines d millimetres
// apart at t degrees; -1 for fewer points.
int hatch(plotcontext* pc, int32_t ip, const double* ax, const double* ay, int32_t n, double d, double t);
// Selects pen 1..10; -1 for another number.
int pen(plotcontext* pc, int32_t pen);
// Selects the line join 0..2; -1 for another code.
int join(plotcontext* pc, int32_t join);
// Selects the font 0..19; -1 for another number.
int font(plotcontext* pc, int32_t n);
// Selects the pen speed isp 0..10 of pen ip 0..10 (0: all pens); -1 outside those ranges.
int speed(plotcontext* pc, int32_t isp, int32_t ip);
// Draws mark mrk (0..15) of size f millimetres at n points (ax[i], ay[i]); a negative n draws
// -n points taking every m-th (m > 0) of the arrays. -1 for another mark, n = 0 or n < 0 with
// m <= 0.
int mark(plotcontext* pc, int32_t mrk, const double* ax, const double* ay, int32_t n, double f, int32_t m);
// Writes text at (x, y) with characters h high and s wide (millimetres) at th degrees; always 0.
int symbol(plotcontext* pc, double x, double y, const char* text, double h, double s, double th);
// Writes the number fval as symbol does, in a field of |m| <= 10 characters with n decimals
// (n <= 9; n = 0 an integer with a point, n < 0 the integer part divided by 10^(-n-1)); -1 when
// m or n is out of range or the text does not fit 31 characters or an int.
int number(plotcontext* pc, double x, double y, double fval, double h, double s, double th, int32_t m,
           int32_t n);
// Slants characters by th degrees; -1 when the slant's tangent times 256 exceeds 4000.
int italic(plotcontext* pc, double th);
// Draws the polyline of the n > 1 points (ax[i], ay[i]), in the line mode set by mode() when
// ip != 0; points that repeat or continue a horizontal or vertical run are left out. -1 for
// fewer points.
int line(plotcontext* pc, int32_t ip, const double* ax, const double* ay, int32_t n);
// Draws an arc about (x, y) from radius rs at angle ths to radius re at angle the (millimetres,
// degrees); -1 when both radii round to 0.
int circle(plotcontext* pc, double x, double y, double rs, double re, double ths, double the);
// Selects the paint style ip of the following circles; always 0.
int pntstyl(plotcontext* pc, int32_t ip);

}  // namespace velk
