// Graph descriptions of velkplot's panels: automatic scales and the description text that
// the graph command draws.
#pragma once

#include <string>
#include <vector>

#include "graphpage.h"

namespace velk {

// A linear axis from min to max with ticks at the multiples of step.
struct Axis {
  double min, max, step;
  int decimals;  // decimals of the tick labels
};

// An axis over lo..hi with about five ticks at 1, 2 or 5 times a power of ten; with round_ends
// its ends move out to the ticks around lo and hi. A range that is empty or not finite is
// widened to one that is.
Axis nice_axis(double lo, double hi, bool round_ends);

// The ticks of the axis (the multiples of step from min to max), in order; at most 100.
std::vector<double> axis_ticks(const Axis& a);

// Tick label of the value v on the axis.
std::string axis_label(double v, const Axis& a);

struct PanelText {
  std::string title, xname, yname;
};

// A curve through (xs[i], ys[i]), broken where a value is not finite.
struct Curve {
  std::vector<double> xs, ys;
  std::string label;  // its legend entry; unlabelled curves have none
};

// Description of one frame: the axes with their scales and (with grid) dotted grid lines,
// the axis names and the title (centred above the frame f), then each curve as polylines
// broken where a value is not finite.
std::string describe_panel(const Axis& x, const Axis& y, const std::vector<Curve>& curves,
                           const PanelText& text, bool grid, const GraphFrame& f);

}  // namespace velk
