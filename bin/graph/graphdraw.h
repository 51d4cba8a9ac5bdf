// Interpreter of the graph description language: axes, scales, grids, texts, marks,
// circles, boxes and data polylines. Built on the plotter primitives (penprims), which
// write the plotter commands to standard output.
#ifndef GRAPH_GRAPHDRAW_H
#define GRAPH_GRAPHDRAW_H

#include <cstdint>
#include <cstdio>

// Reads the description from fp line by line to its end and writes the plotter commands,
// drawing what is still pending at the end. The graph command's settings (graphutil.h) must
// be in place; the character size h, w is multiplied by the scale fct at every call.
//   fp  in: the open graph description, read to its end and left open for the caller
void graph(FILE* fp);

// Sets the settings a description may change (the module settings below and the offsets, mark
// size, scale, line type and axis exchange of graphutil.h) back to their values at the start.
void reset_graph_settings();

// Draws n points (n != 0, lines on) inside the clipping rectangle.
void draw_graphdraw(double* x, double* y, int32_t n, double w, double h, double fct);
// Draws n > 1 pending points and keeps the last one as position 0; returns the new count.
int32_t flush(double* x, double* y, int32_t n, double w, double h, double fct);
// Hatches the polygon inside the clipping rectangle.
void polyg(double* x, double* y, int32_t n, double w, double h, double fct);
// 1 when (x, y) lies inside the frame.
int is_in(double x, double y);
// Exchanges x and y when the axes are exchanged.
void swap(double* x, double* y);

// Module settings.
extern char label[256];
extern double xfct, yfct;
extern int is_xlog, is_ylog;
extern int ptyp;
extern double dhat, that;

#endif
