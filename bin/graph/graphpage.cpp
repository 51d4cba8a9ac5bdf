// Frames of the graph command's page.
#include "graphpage.h"

#include "graphdraw.h"
#include "graphutil.h"
#include "plcoord.h"

namespace {

void draw_frame_box() {
  plot(3, 0.0, 0.0);
  plot(2, xl, 0.0);
  plot(2, xl, yl);
  plot(2, 0.0, yl);
  plot(2, 0.0, 0.0);
}

}  // namespace

void draw_graph_frame(std::FILE* fp, const GraphFrame& f) {
  reset_graph_settings();
  _org = {f.x, f.y};
  xl = f.width;
  yl = f.height;
  h = f.char_height;
  w = f.char_width;
  type = f.type;
  xclip0 = yclip0 = 0.0;
  xclip1 = xl;
  yclip1 = yl;
  if (type > 0) draw_frame_box();
  graph(fp);
}
