// Coordinate and output module of the graph command: converts figure lengths and frame
// coordinates (millimetres) into plotter units (0.1 mm) and writes pen moves, line-mode
// switches and the stream header to standard output.
#ifndef GRAPH_PLCOORD_H
#define GRAPH_PLCOORD_H

#include <cstdio>

struct co_ord {
  double xo, yo;
};

// Position of the frame origin on the page, in millimetres.
extern co_ord _org;
// Stream the plotter commands are written to [standard output].
extern std::FILE* plout;

// A length in millimetres as plotter units, rounded to nearest (limited to +-1e9).
int _plnorm(double value);
// A frame coordinate as a plotter coordinate.
int _cordx(double x);
int _cordy(double y);
// Mode 3 moves the pen to the frame point (x, y); mode 2 draws a line to it.
void plot(int mode, double x, double y);
// Switches the line mode of the next polyline on (1) or back to solid lines (0).
void _chlnmod(int on);
// Selects the line type (0 solid, 1..9 dashes) and its pitch in millimetres.
void mode(int kind, double pitch);
// Writes the byte that opens a plotter stream.
void plstart();

#endif
