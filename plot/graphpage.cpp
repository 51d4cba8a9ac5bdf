// Frames of the graph command's page.
#include "graphpage.h"

#include "graphdraw.h"
#include "plcoord.h"

namespace velk {

namespace {

void draw_frame_box(plotcontext* pc) {
  plot(pc, 3, 0.0, 0.0);
  plot(pc, 2, pc->xl, 0.0);
  plot(pc, 2, pc->xl, pc->yl);
  plot(pc, 2, 0.0, pc->yl);
  plot(pc, 2, 0.0, 0.0);
}

}  // namespace

void draw_graph_frame(plotcontext* pc, std::FILE* fp, const GraphFrame& f) {
  reset_graph_settings(pc);
  pc->org = {f.x, f.y};
  pc->xl = f.width;
  pc->yl = f.height;
  pc->h = f.char_height;
  pc->w = f.char_width;
  pc->type = f.type;
  pc->xclip0 = pc->yclip0 = 0.0;
  pc->xclip1 = pc->xl;
  pc->yclip1 = pc->yl;
  if (pc->type > 0) draw_frame_box(pc);
  graph(pc, fp);
}

}  // namespace velk
