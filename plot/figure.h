// Figures drawn through cairo: panels stacked on a page of a size in points, each with its axes
// (ticks outward, labels centred on them, the y name turned upright), curves at fractional
// coordinates, an optional level image with its colour bar, an optional curve on its own right
// axis, and a legend of the labelled curves. Text in DejaVu Sans, sizes in points.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "describe.h"

namespace velk {

// Levels in dB over a rectangle of the axes: column c of `cols` covers x0 + c (x1 - x0) / cols,
// row r of `rows` (row 0 the lowest) y0 + r (y1 - y0) / rows. NaN cells are left blank.
struct levelimage {
  int cols = 0, rows = 0;
  std::vector<float> db;  // cols x rows, column after column
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  double top = 0, range = 70;  // the colour map spans top - range .. top dB
  bool grey = false;
  std::string barname;  // name of the colour bar
};

struct figurepanel {
  plotaxis x, y;
  std::string title, xname, yname;
  std::vector<plotcurve> curves;  // in the line colours, in order
  std::vector<plotcurve> behind;  // thin light grey curves under the others (a short-time spectrum)
  bool grid = true;               // light grid lines at the ticks
  bool thin = false;              // the curves are dense (a waveform): thinner lines
  bool hasimage = false;
  levelimage image;
  bool hasoverlay = false;  // a curve over the image
  plotcurve overlay;
  bool overlayownaxis = true;  // on its own axis at the right, else on y
  plotaxis overlayaxis;
  std::string overlayname;
};

struct figurepage {
  std::vector<figurepanel> panels;
  std::string title;
  double fontpt = 10;  // size of the axis names; tick labels 0.9, titles 1.1 and 1.25 times it
};

// Places the panels on a page of width x height points: false when they do not fit (each
// plot at least three times the font size high and six times wide). cr measures the text.
struct figurelayout {
  double left = 0, right = 0;       // the plots' left and right edges
  std::vector<double> top, bottom;  // each plot's upper and lower edge
};
bool layoutfigure(cairo_t* cr, const figurepage& f, double width, double height, figurelayout* layout);

// Draws the figure on cr (in points) over a white page of width x height.
void drawfigure(cairo_t* cr, const figurepage& f, const figurelayout& layout, double width, double height);

}  // namespace velk
