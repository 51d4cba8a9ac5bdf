// Graph descriptions of velkplot's panels: automatic scales and the description text that
// the graph command draws.
#pragma once

#include <string>
#include <vector>

#include "graphpage.h"

namespace velk {

// A linear axis from min to max with ticks at the multiples of step.
struct plotaxis {
  double min, max, step;
  int decimals;  // decimals of the tick labels
};

// An axis over lo..hi with about five ticks at 1, 2 or 5 times a power of ten; with roundends
// its ends move out to the ticks around lo and hi. A range that is empty or not finite is
// widened to one that is.
plotaxis niceaxis(double lo, double hi, bool roundends);

// The ticks of the axis (the multiples of step from min to max), in order; at most 100.
std::vector<double> axisticks(const plotaxis& a);

// Tick label of the value v on the axis.
std::string axislabel(double v, const plotaxis& a);

struct paneltext {
  std::string title, xname, yname;
};

// A curve through (xs[i], ys[i]), broken where a value is not finite.
struct plotcurve {
  std::vector<double> xs, ys;
  std::string label;  // its legend entry; unlabelled curves have none
};

// Description of one frame: the axes with their scales and (with grid) dotted grid lines,
// the axis names and the title (centred above the frame f), then each curve as polylines
// broken where a value is not finite.
std::string describepanel(const plotaxis& x, const plotaxis& y, const std::vector<plotcurve>& curves,
                          const paneltext& text, bool grid, const graphframe& f);

}  // namespace velk
