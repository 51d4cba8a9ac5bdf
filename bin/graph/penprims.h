// Plotter primitives: each writes one plotter command (or a short group) to standard
// output. Coordinates are frame coordinates and lengths are millimetres, converted by the
// coordinate module. Routines with a result return 1 for a rejected request (nothing is
// written) and 0 otherwise.
#ifndef GRAPH_PENPRIMS_H
#define GRAPH_PENPRIMS_H

#include <cstdint>

void rotate(double th);
void factor(double fx, double fy);
int offset(double x, double y);
// Clipping window from the lower-left (xl, yl) to the upper-right (xh, yh) corner.
void bound(double xl, double yl, double xh, double yh);
// Clipping window reset to the figure of w x h pages at scale F.
void rstbnd(double w, double h, double F);
int hatch(int32_t ip, const double* ax, const double* ay, int32_t n, double d, double t);
int pen(int32_t pen);
int join(int32_t join);
int font(int32_t n);
int speed(int32_t isp, int32_t ip);
int mark(int32_t mrk, const double* ax, const double* ay, int32_t n, double f, int32_t m);
int symbol(double x, double y, const char* text, double h, double s, double th);
int number(double x, double y, double fval, double h, double s, double th, int32_t m, int32_t n);
int italic(double th);
int line(int32_t ip, const double* ax, const double* ay, int32_t n);
int circle(double x, double y, double rs, double re, double ths, double the);
int pntstyl(int32_t ip);

#endif
