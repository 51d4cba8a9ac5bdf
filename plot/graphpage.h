// Frames of the graph command's page: a graph description drawn in a frame placed on the
// plotter page, so that one stream can hold several graphs.
#pragma once

#include <cstdio>

#include "plcoord.h"

namespace velk {

// Placement and lettering of one frame, in millimetres on the page.
struct graphframe {
  double width = 120.0, height = 80.0;  // frame size
  double x = 40.0, y = 180.0;           // frame origin
  double charheight = 2.5, charwidth = 3.4;
  int type = 0;  // <0 axis lines always, 0 open frame, >0 boxed
};

// Draws the description read from fp to its end in the frame f with the plotting context pc:
// the interpreter starts from its initial settings, the clip window is the frame, and a boxed
// frame is outlined first. The line mode and the stream of pc carry over from frame to frame.
void drawgraphframe(plotcontext* pc, std::FILE* fp, const graphframe& f);

}  // namespace velk
