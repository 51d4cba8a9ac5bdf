// Interpreter of the graph description language: axes, scales, grids, texts, marks,
// circles, boxes and data polylines. Built on the plotter primitives (penprims), which
// write the plotter commands to the stream of the plotting context.
#pragma once

#include <cstdint>
#include <cstdio>

#include "plcoord.h"

namespace velk {

// Reads the description from fp line by line to its end and writes the plotter commands,
// drawing what is still pending at the end.
//   pc  in/out: the plotting context, its frame and settings in place; the description changes
//       its settings, and the character size h, w is multiplied by the scale fct at every call
//   fp  in: the open graph description, read to its end and left open for the caller
void graph(plotcontext* pc, FILE* fp);

// Sets the settings of pc a description may change (those of the description language and the
// offsets, mark size, scale, line type and axis exchange) back to their values at the start.
void resetgraphsettings(plotcontext* pc);

// Draws the n points (x[i], y[i]) (n != 0, lines on) inside the clipping rectangle of pc, then
// resets the clipping window to the figure of w x h pages at scale fct.
void draw_graphdraw(plotcontext* pc, double* x, double* y, int32_t n, double w, double h, double fct);
// Draws n > 1 pending points as draw_graphdraw does and keeps the last one as position 0;
// returns the new count (n itself when n <= 1).
int32_t flush(plotcontext* pc, double* x, double* y, int32_t n, double w, double h, double fct);
// Hatches the polygon of n points inside the clipping rectangle of pc with its paint settings.
void polyg(plotcontext* pc, double* x, double* y, int32_t n, double w, double h, double fct);
// 1 when (x, y) lies inside the frame of pc, else 0.
int is_in(const plotcontext* pc, double x, double y);
// Exchanges *x and *y when the axes of pc are exchanged.
void swap(const plotcontext* pc, double* x, double* y);

}  // namespace velk
