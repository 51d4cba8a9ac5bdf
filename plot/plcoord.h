// Coordinate and output module of the graph command: the plotting context of a graph, and the
// conversion of figure lengths and frame coordinates (millimetres) into plotter units (0.1 mm)
// written as pen moves, line-mode switches and the stream header to the context's stream.
#pragma once

#include <cstdio>

namespace velk {

struct co_ord {
  double xo, yo;
};

// Everything one graph is drawn with: the stream and page placement of the plotter commands,
// the frame, text and mark settings (millimetres unless noted) and the settings a description
// may change. Made by its caller with the graph command's defaults, passed to the interpreter
// (graph) and to every pen primitive; nothing else holds drawing state.
struct plotcontext {
  std::FILE* out = stdout;       // stream the plotter commands are written to
  co_ord org = {0.0, 0.0};       // position of the frame origin on the page
  int linekind = 0;              // line type chosen by mode() (0 solid, 1..9 dashes)
  double linepitch = 0.0;        // and its pitch
  double xl = 120.0, yl = 80.0;  // frame width and height
  double x00 = 0.0, y00 = 0.0;   // frame offsets of the axis origins
  double h = 2.5, w = 3.4;       // character height and width
  double mh = 1.6, mw = 1.6;     // mark height and width
  double fct = 1.0;              // figure scale factor
  double wf = 1.0, hf = 1.0;     // figure width and height in pages (for rstbnd)
  double xclip0 = 0.0, yclip0 = 0.0, xclip1 = 120.0, yclip1 = 80.0;  // clipping rectangle
  int ltype = 0;  // line type index; negative: polylines are not drawn
  int type = 0;   // frame type: <0 axis lines always, 0 open, >0 boxed
  int is_t = 0;   // axes exchanged
  // Settings of the description language.
  char label[256] = "";            // mark or text drawn at every data point (mark command)
  double xfct = 1.0, yfct = 1.0;   // axis scales, mm per unit
  int is_xlog = 0, is_ylog = 0;    // logarithmic axes (-1: data values too)
  int ptyp = 1;                    // paint (hatch and circle) style
  double dhat = 1.0, that = 45.0;  // hatch spacing (mm) and angle (degrees)
};

// A length in millimetres as plotter units, rounded to nearest (limited to +-1e9).
int plnorm(double value);
// A frame coordinate of pc as a plotter coordinate.
int cordx(const plotcontext* pc, double x);
int cordy(const plotcontext* pc, double y);
// Mode 3 moves the pen to the frame point (x, y); mode 2 draws a line to it.
void plot(plotcontext* pc, int mode, double x, double y);
// Switches the line mode of the next polyline on (1: the type and pitch set by mode) or back to
// solid lines (0).
void chlnmod(plotcontext* pc, int on);
// Selects the line type (0 solid, 1..9 dashes) and its pitch in millimetres; writes nothing.
void mode(plotcontext* pc, int kind, double pitch);
// Writes the byte that opens a plotter stream.
void plstart(plotcontext* pc);

}  // namespace velk
